#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// OpenSSL is not linked: its crypto and SSL libraries are opened by file name at run time and the
// entry points below are bound by name. Only pointers to these opaque types cross the boundary.
namespace OpenSsl {
struct SSL;
struct SSL_CTX;
struct SSL_METHOD;
struct SSL_CIPHER;
struct INIT_SETTINGS;
struct X509;
struct X509_NAME;
struct X509_PUBKEY;
struct ENGINE;
struct X509_VERIFY_PARAM;
struct ASN1_TIME;
struct EVP_MD;
struct BIO;
struct BIO_METHOD;

using MethodFunction = const SSL_METHOD* (*)();
using PasswordCallback = int (*)(char*, int, int, void*);

// Numbers of the OpenSSL interface that the TLS layer passes through.
inline constexpr int CtrlOptions = 32;
inline constexpr int CtrlClearOptions = 77;
inline constexpr int CtrlMode = 33;
inline constexpr int CtrlSetTlsExtHostName = 55;
inline constexpr long TlsExtNameTypeHostName = 0;
inline constexpr long ModeAutoRetry = 4;

inline constexpr int ErrorNone = 0;
inline constexpr int ErrorSsl = 1;
inline constexpr int ErrorWantRead = 2;
inline constexpr int ErrorWantWrite = 3;
inline constexpr int ErrorSyscall = 5;
inline constexpr int ErrorZeroReturn = 6;

inline constexpr long VerifyOk = 0; // X509_V_OK
inline constexpr int BioCtrlInfo = 3;
// X509_NAME_print_ex flags: RFC 2253 without escaping non-ASCII characters, so names come out in
// UTF-8.
inline constexpr unsigned long NamePrintFlags = 0x0113UL | (1UL << 16) | (1UL << 20) | (1UL << 24);
inline constexpr int MaxDigestSize = 64;

inline constexpr std::uint64_t InitLoadCryptoStrings = 0x00000002;
inline constexpr std::uint64_t InitAddAllCiphers = 0x00000004;
inline constexpr std::uint64_t InitAddAllDigests = 0x00000008;
inline constexpr std::uint64_t InitLoadSslStrings = 0x00200000;
} // namespace OpenSsl

// The bound entry points. A member is null while unbound; optional members may stay null after a
// successful load.
struct TTlsFunctions {
    // Crypto library.
    const char* (*OpenSSL_version)(int) = nullptr;
    unsigned long (*OpenSSL_version_num)() = nullptr;
    unsigned long (*ERR_get_error)() = nullptr;
    void (*ERR_clear_error)() = nullptr;
    void (*ERR_error_string_n)(unsigned long, char*, std::size_t) = nullptr;

    // Crypto library: the server certificate, its check and its description.
    void (*X509_free)(OpenSsl::X509*) = nullptr;
    int (*X509_digest)(const OpenSsl::X509*, const OpenSsl::EVP_MD*, unsigned char*,
                       unsigned int*) = nullptr;
    const OpenSsl::EVP_MD* (*EVP_sha256)() = nullptr;
    // The certificate's public key, for the digest curl pins a key by.
    OpenSsl::X509_PUBKEY* (*X509_get_X509_PUBKEY)(const OpenSsl::X509*) = nullptr;
    int (*i2d_X509_PUBKEY)(const OpenSsl::X509_PUBKEY*, unsigned char**) = nullptr;
    int (*EVP_Digest)(const void*, std::size_t, unsigned char*, unsigned int*,
                      const OpenSsl::EVP_MD*, OpenSsl::ENGINE*) = nullptr;
    OpenSsl::X509_NAME* (*X509_get_subject_name)(const OpenSsl::X509*) = nullptr;
    OpenSsl::X509_NAME* (*X509_get_issuer_name)(const OpenSsl::X509*) = nullptr;
    int (*X509_NAME_print_ex)(OpenSsl::BIO*, const OpenSsl::X509_NAME*, int,
                              unsigned long) = nullptr;
    const OpenSsl::ASN1_TIME* (*X509_get0_notBefore)(const OpenSsl::X509*) = nullptr;
    const OpenSsl::ASN1_TIME* (*X509_get0_notAfter)(const OpenSsl::X509*) = nullptr;
    int (*ASN1_TIME_to_tm)(const OpenSsl::ASN1_TIME*, struct tm*) = nullptr;
    const char* (*X509_verify_cert_error_string)(long) = nullptr;
    int (*X509_VERIFY_PARAM_set1_host)(OpenSsl::X509_VERIFY_PARAM*, const char*,
                                       std::size_t) = nullptr;
    int (*X509_VERIFY_PARAM_set1_ip_asc)(OpenSsl::X509_VERIFY_PARAM*, const char*) = nullptr;
    OpenSsl::BIO* (*BIO_new)(const OpenSsl::BIO_METHOD*) = nullptr;
    const OpenSsl::BIO_METHOD* (*BIO_s_mem)() = nullptr;
    long (*BIO_ctrl)(OpenSsl::BIO*, int, long, void*) = nullptr;
    int (*BIO_free)(OpenSsl::BIO*) = nullptr;

    // SSL library: initialisation (one of the two is needed).
    int (*OPENSSL_init_ssl)(std::uint64_t, const OpenSsl::INIT_SETTINGS*) = nullptr;
    int (*SSL_library_init)() = nullptr;
    void (*SSL_load_error_strings)() = nullptr;

    // Methods: the version-flexible ones and the per-version ones, which are only tested for
    // presence. All optional.
    OpenSsl::MethodFunction TLS_method = nullptr; // SSLv23_method before 1.1.0
    OpenSsl::MethodFunction TLS_server_method = nullptr;
    OpenSsl::MethodFunction TLS_client_method = nullptr;
    OpenSsl::MethodFunction SSLv2_method = nullptr;
    OpenSsl::MethodFunction SSLv2_server_method = nullptr;
    OpenSsl::MethodFunction SSLv2_client_method = nullptr;
    OpenSsl::MethodFunction SSLv3_method = nullptr;
    OpenSsl::MethodFunction SSLv3_server_method = nullptr;
    OpenSsl::MethodFunction SSLv3_client_method = nullptr;
    OpenSsl::MethodFunction TLSv1_method = nullptr;
    OpenSsl::MethodFunction TLSv1_server_method = nullptr;
    OpenSsl::MethodFunction TLSv1_client_method = nullptr;
    OpenSsl::MethodFunction TLSv1_1_method = nullptr;
    OpenSsl::MethodFunction TLSv1_1_server_method = nullptr;
    OpenSsl::MethodFunction TLSv1_1_client_method = nullptr;
    OpenSsl::MethodFunction TLSv1_2_method = nullptr;
    OpenSsl::MethodFunction TLSv1_2_server_method = nullptr;
    OpenSsl::MethodFunction TLSv1_2_client_method = nullptr;

    // Contexts.
    OpenSsl::SSL_CTX* (*SSL_CTX_new)(const OpenSsl::SSL_METHOD*) = nullptr;
    void (*SSL_CTX_free)(OpenSsl::SSL_CTX*) = nullptr;
    long (*SSL_CTX_ctrl)(OpenSsl::SSL_CTX*, int, long, void*) = nullptr;
    void* SSL_CTX_set_options = nullptr;   // optional; see TlsSetContextOptions
    void* SSL_CTX_clear_options = nullptr; // optional; see TlsClearContextOptions
    void (*SSL_CTX_set_default_passwd_cb)(OpenSsl::SSL_CTX*, OpenSsl::PasswordCallback) = nullptr;
    void (*SSL_CTX_set_default_passwd_cb_userdata)(OpenSsl::SSL_CTX*, void*) = nullptr;
    int (*SSL_CTX_set_default_verify_paths)(OpenSsl::SSL_CTX*) = nullptr;
    // Optional: only used when the options ask for them.
    int (*SSL_CTX_set_cipher_list)(OpenSsl::SSL_CTX*, const char*) = nullptr;
    void (*SSL_CTX_set_verify)(OpenSsl::SSL_CTX*, int, void*) = nullptr;
    void (*SSL_CTX_set_verify_depth)(OpenSsl::SSL_CTX*, int) = nullptr;
    int (*SSL_CTX_load_verify_locations)(OpenSsl::SSL_CTX*, const char*, const char*) = nullptr;
    int (*SSL_CTX_use_certificate_file)(OpenSsl::SSL_CTX*, const char*, int) = nullptr;
    int (*SSL_CTX_use_PrivateKey_file)(OpenSsl::SSL_CTX*, const char*, int) = nullptr;

    // Connections.
    OpenSsl::SSL* (*SSL_new)(OpenSsl::SSL_CTX*) = nullptr;
    void (*SSL_free)(OpenSsl::SSL*) = nullptr;
    int (*SSL_set_ex_data)(OpenSsl::SSL*, int, void*) = nullptr;
    int (*SSL_set_fd)(OpenSsl::SSL*, int) = nullptr;
    long (*SSL_ctrl)(OpenSsl::SSL*, int, long, void*) = nullptr;
    int (*SSL_connect)(OpenSsl::SSL*) = nullptr;
    int (*SSL_read)(OpenSsl::SSL*, void*, int) = nullptr;
    int (*SSL_write)(OpenSsl::SSL*, const void*, int) = nullptr;
    int (*SSL_pending)(const OpenSsl::SSL*) = nullptr;
    int (*SSL_get_error)(const OpenSsl::SSL*, int) = nullptr;
    int (*SSL_shutdown)(OpenSsl::SSL*) = nullptr;
    OpenSsl::X509_VERIFY_PARAM* (*SSL_get0_param)(OpenSsl::SSL*) = nullptr;
    long (*SSL_get_verify_result)(const OpenSsl::SSL*) = nullptr;
    // SSL_get_peer_certificate before 3.0; either way the caller owns the result.
    OpenSsl::X509* (*SSL_get1_peer_certificate)(const OpenSsl::SSL*) = nullptr;

    // Cipher of a connection.
    const OpenSsl::SSL_CIPHER* (*SSL_get_current_cipher)(const OpenSsl::SSL*) = nullptr;
    const char* (*SSL_CIPHER_get_name)(const OpenSsl::SSL_CIPHER*) = nullptr;
    char* (*SSL_CIPHER_description)(const OpenSsl::SSL_CIPHER*, char*, int) = nullptr;
    int (*SSL_CIPHER_get_bits)(const OpenSsl::SSL_CIPHER*, int*) = nullptr;
    const char* (*SSL_CIPHER_get_version)(const OpenSsl::SSL_CIPHER*) = nullptr;

    // Version number of the loaded crypto library (0 while none is loaded).
    unsigned long VersionNumber = 0;
};

// Text put in front of the library file names; empty leaves the search to the dynamic loader.
// A folder must therefore end with "/".
std::string TlsLibraryFolder();
void SetTlsLibraryFolder(std::string AFolder);

// Loads and initialises OpenSSL once per process; true when it is usable. A failed attempt is
// retried by the next call; LoadFailures() then tells why the last attempt failed.
bool LoadTlsLibraries();

// Releases the libraries and forgets every bound entry point; the next LoadTlsLibraries() starts
// afresh. Runs by itself at process exit.
void UnloadTlsLibraries();

bool TlsLoaded();
std::vector<std::string> LoadFailures();

// The bound entry points; only meaningful after LoadTlsLibraries() returned true.
const TTlsFunctions& TlsFunctions();

// An 8-bit text of the library (null: empty) as UTF-8, one character per byte.
std::string TlsText(const char* AText);

// SSL_CTX_set_options / SSL_CTX_clear_options where the library has them as functions (their
// width differs between library versions), SSL_CTX_ctrl otherwise.
void TlsSetContextOptions(OpenSsl::SSL_CTX* AContext, std::uint64_t AOptions);
void TlsClearContextOptions(OpenSsl::SSL_CTX* AContext, std::uint64_t AOptions);
