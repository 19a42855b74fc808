#include "TlsLibrary.h"

#include "IdText.h"

#include <dlfcn.h>

#include <array>
#include <cstdio>
#include <mutex>
#include <string_view>
#include <utility>

namespace {

enum class TTlsLib { Crypto, Ssl };

struct TEntryPoint {
    const char* Name;
    const char* AltName; // older name of the same function, or null
    TTlsLib Lib;
    bool Required;
    void (*Assign)(TTlsFunctions&, void*);
};

#define VL_TLS_ENTRY(field, alt, lib, required)                                                    \
    TEntryPoint {                                                                                  \
#field, alt, lib, required,                                                                \
            [](TTlsFunctions & F, void* P) { F.field = reinterpret_cast<decltype(F.field)>(P); }   \
    }

constexpr auto Crypto = TTlsLib::Crypto;
constexpr auto Ssl = TTlsLib::Ssl;

// The version functions are bound first, before the version check.
const std::array VersionEntryPoints{
    VL_TLS_ENTRY(OpenSSL_version, "SSLeay_version", Crypto, true),
    VL_TLS_ENTRY(OpenSSL_version_num, "SSLeay", Crypto, true),
};

// SSL_pending, SSL_set_ex_data and the error queue functions are called on every TLS connection,
// so a library without them is refused rather than failing mid-transfer.
const std::array EntryPoints{
    VL_TLS_ENTRY(ERR_get_error, nullptr, Crypto, true),
    VL_TLS_ENTRY(ERR_error_string_n, nullptr, Crypto, true),
    VL_TLS_ENTRY(ERR_clear_error, nullptr, Crypto, true),
    VL_TLS_ENTRY(X509_free, nullptr, Crypto, true),
    VL_TLS_ENTRY(X509_digest, nullptr, Crypto, true),
    VL_TLS_ENTRY(EVP_sha256, nullptr, Crypto, true),
    VL_TLS_ENTRY(X509_get_X509_PUBKEY, nullptr, Crypto, false),
    VL_TLS_ENTRY(i2d_X509_PUBKEY, nullptr, Crypto, false),
    VL_TLS_ENTRY(EVP_Digest, nullptr, Crypto, false),
    VL_TLS_ENTRY(X509_get_subject_name, nullptr, Crypto, true),
    VL_TLS_ENTRY(X509_get_issuer_name, nullptr, Crypto, true),
    VL_TLS_ENTRY(X509_NAME_print_ex, nullptr, Crypto, true),
    VL_TLS_ENTRY(X509_get0_notBefore, nullptr, Crypto, true),
    VL_TLS_ENTRY(X509_get0_notAfter, nullptr, Crypto, true),
    VL_TLS_ENTRY(ASN1_TIME_to_tm, nullptr, Crypto, true),
    VL_TLS_ENTRY(X509_verify_cert_error_string, nullptr, Crypto, true),
    VL_TLS_ENTRY(X509_VERIFY_PARAM_set1_host, nullptr, Crypto, true),
    VL_TLS_ENTRY(X509_VERIFY_PARAM_set1_ip_asc, nullptr, Crypto, true),
    VL_TLS_ENTRY(BIO_new, nullptr, Crypto, true),
    VL_TLS_ENTRY(BIO_s_mem, nullptr, Crypto, true),
    VL_TLS_ENTRY(BIO_ctrl, nullptr, Crypto, true),
    VL_TLS_ENTRY(BIO_free, nullptr, Crypto, true),
    VL_TLS_ENTRY(OPENSSL_init_ssl, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSL_library_init, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSL_load_error_strings, nullptr, Ssl, false),
    VL_TLS_ENTRY(TLS_method, "SSLv23_method", Ssl, false),
    VL_TLS_ENTRY(TLS_server_method, "SSLv23_server_method", Ssl, false),
    VL_TLS_ENTRY(TLS_client_method, "SSLv23_client_method", Ssl, false),
    VL_TLS_ENTRY(SSLv2_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSLv2_server_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSLv2_client_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSLv3_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSLv3_server_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSLv3_client_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(TLSv1_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(TLSv1_server_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(TLSv1_client_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(TLSv1_1_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(TLSv1_1_server_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(TLSv1_1_client_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(TLSv1_2_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(TLSv1_2_server_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(TLSv1_2_client_method, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSL_CTX_new, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_CTX_free, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_CTX_ctrl, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_CTX_set_options, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSL_CTX_clear_options, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSL_CTX_set_default_passwd_cb, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_CTX_set_default_passwd_cb_userdata, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_CTX_set_default_verify_paths, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_CTX_set_cipher_list, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSL_CTX_set_verify, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSL_CTX_set_verify_depth, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSL_CTX_load_verify_locations, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_CTX_use_certificate_file, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSL_CTX_use_PrivateKey_file, nullptr, Ssl, false),
    VL_TLS_ENTRY(SSL_new, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_free, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_set_ex_data, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_set_fd, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_ctrl, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_connect, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_read, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_write, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_pending, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_get_error, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_shutdown, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_get0_param, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_get_verify_result, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_get1_peer_certificate, "SSL_get_peer_certificate", Ssl, true),
    VL_TLS_ENTRY(SSL_get_current_cipher, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_CIPHER_get_name, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_CIPHER_description, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_CIPHER_get_bits, nullptr, Ssl, true),
    VL_TLS_ENTRY(SSL_CIPHER_get_version, nullptr, Ssl, true),
};

#undef VL_TLS_ENTRY

// Library file names in order of preference. The SSL library is opened under the same suffix as
// the crypto library, so that the two always come from one release.
constexpr std::array<std::string_view, 3> LibrarySuffixes{".so.3", ".so.1.1", ".so"};

// Version numbers below this (OpenSSL 1.1.1) lack the entry points bound here.
constexpr unsigned long MinimumVersionNumber = 0x10101000UL;

struct TTlsState {
    std::mutex Lock; // the TlsLoaded lock: guards everything below
    bool Loaded = false;
    void* CryptoHandle = nullptr;
    void* SslHandle = nullptr;
    std::size_t SuffixIndex = 0;
    std::string Folder;
    std::vector<std::string> Failures;
    TTlsFunctions Functions;
};

TTlsState& State() {
    static TTlsState Instance;
    return Instance;
}

std::string DlErrorText() {
    const char* Text = dlerror();
    return Text != nullptr ? Text : "unknown error";
}

bool OpenCryptoLibrary(TTlsState& S) {
    if (S.CryptoHandle != nullptr) {
        return true;
    }
    std::string LastError;
    for (std::size_t I = 0; I < LibrarySuffixes.size(); ++I) {
        const std::string File = S.Folder + "libcrypto" + std::string(LibrarySuffixes[I]);
        S.CryptoHandle = dlopen(File.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (S.CryptoHandle != nullptr) {
            S.SuffixIndex = I;
            return true;
        }
        LastError = DlErrorText();
    }
    S.Failures.push_back("Failed to load " + S.Folder + "libcrypto" +
                         std::string(LibrarySuffixes[0]) + " (error #" + LastError + ").");
    return false;
}

bool OpenSslLibrary(TTlsState& S) {
    if (S.SslHandle != nullptr) {
        return true;
    }
    const std::string File = S.Folder + "libssl" + std::string(LibrarySuffixes[S.SuffixIndex]);
    S.SslHandle = dlopen(File.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (S.SslHandle == nullptr) {
        S.Failures.push_back("Failed to load " + File + " (error #" + DlErrorText() + ").");
        return false;
    }
    return true;
}

void BindEntryPoint(TTlsState& S, const TEntryPoint& AEntry) {
    void* Handle = AEntry.Lib == TTlsLib::Crypto ? S.CryptoHandle : S.SslHandle;
    void* Address = dlsym(Handle, AEntry.Name);
    if (Address == nullptr && AEntry.AltName != nullptr) {
        Address = dlsym(Handle, AEntry.AltName);
    }
    AEntry.Assign(S.Functions, Address);
    if (Address == nullptr && AEntry.Required) {
        S.Failures.emplace_back(AEntry.Name);
    }
}

// Version rule: LibreSSL passes whatever its number; OpenSSL must be 1.1.1 or later.
bool CheckVersion(TTlsState& S) {
    const TTlsFunctions& F = S.Functions;
    const std::string Text = TlsText(F.OpenSSL_version != nullptr ? F.OpenSSL_version(0) : nullptr);
    if (Text.starts_with("LibreSSL")) {
        return true;
    }
    if (!Text.empty() && !Text.starts_with("OpenSSL")) {
        S.Failures.push_back("Unsupported SSL Library: " + Text + ".");
        return false;
    }
    if (F.OpenSSL_version_num != nullptr) {
        const auto Number = static_cast<std::uint32_t>(F.OpenSSL_version_num());
        if (Number < MinimumVersionNumber) {
            char Buffer[64];
            std::snprintf(Buffer, sizeof Buffer, "Unsupported SSL Library version: %.8x.",
                          static_cast<unsigned>(Number));
            S.Failures.emplace_back(Buffer);
            return false;
        }
    }
    return true;
}

bool BindTlsFunctions(TTlsState& S) {
    if (S.CryptoHandle != nullptr && S.SslHandle != nullptr && S.Failures.empty()) {
        return true;
    }
    S.Failures.clear();
    S.Functions = TTlsFunctions{};
    if (!OpenCryptoLibrary(S) || !OpenSslLibrary(S)) {
        return false;
    }
    for (const TEntryPoint& Entry : VersionEntryPoints) {
        BindEntryPoint(S, Entry);
    }
    if (!CheckVersion(S)) {
        return false;
    }
    for (const TEntryPoint& Entry : EntryPoints) {
        BindEntryPoint(S, Entry);
    }
    if (S.Functions.OPENSSL_init_ssl == nullptr && S.Functions.SSL_library_init == nullptr) {
        S.Failures.emplace_back("OPENSSL_init_ssl");
    }
    if (S.Failures.empty() && S.Functions.OpenSSL_version_num != nullptr) {
        S.Functions.VersionNumber = S.Functions.OpenSSL_version_num();
    }
    return S.Failures.empty();
}

bool InitialiseLibrary(const TTlsFunctions& F) {
    if (F.OPENSSL_init_ssl != nullptr) {
        return F.OPENSSL_init_ssl(OpenSsl::InitLoadSslStrings | OpenSsl::InitLoadCryptoStrings |
                                      OpenSsl::InitAddAllCiphers | OpenSsl::InitAddAllDigests,
                                  nullptr) > 0;
    }
    if (F.SSL_load_error_strings != nullptr) {
        F.SSL_load_error_strings();
    }
    return F.SSL_library_init() > 0;
}

// Releases the libraries at process exit.
struct TUnloadAtExit {
    TUnloadAtExit() { State(); }
    ~TUnloadAtExit() { UnloadTlsLibraries(); }
    TUnloadAtExit(const TUnloadAtExit&) = delete;
    TUnloadAtExit& operator=(const TUnloadAtExit&) = delete;
};
const TUnloadAtExit UnloadAtExit;

} // namespace

std::string TlsLibraryFolder() {
    TTlsState& S = State();
    std::lock_guard Guard(S.Lock);
    return S.Folder;
}

void SetTlsLibraryFolder(std::string AFolder) {
    TTlsState& S = State();
    std::lock_guard Guard(S.Lock);
    S.Folder = std::move(AFolder);
}

bool LoadTlsLibraries() {
    TTlsState& S = State();
    std::lock_guard Guard(S.Lock);
    if (S.Loaded) {
        return true;
    }
    if (!BindTlsFunctions(S)) {
        return false;
    }
    // OpenSSL 1.1.0 and later lock their shared tables themselves and need no seeding from the
    // screen, so initialisation is all that is left to do.
    if (!InitialiseLibrary(S.Functions)) {
        S.Failures.emplace_back("OPENSSL_init_ssl failed.");
        return false;
    }
    S.Loaded = true;
    return true;
}

void UnloadTlsLibraries() {
    TTlsState& S = State();
    std::lock_guard Guard(S.Lock);
    // The libraries free their own global tables at exit (they keep themselves loaded until
    // then), so closing our handles is all that is needed here.
    if (S.SslHandle != nullptr) {
        dlclose(S.SslHandle);
        S.SslHandle = nullptr;
    }
    if (S.CryptoHandle != nullptr) {
        dlclose(S.CryptoHandle);
        S.CryptoHandle = nullptr;
    }
    S.Functions = TTlsFunctions{};
    S.Loaded = false;
}

bool TlsLoaded() {
    TTlsState& S = State();
    std::lock_guard Guard(S.Lock);
    return S.Loaded;
}

std::vector<std::string> LoadFailures() {
    TTlsState& S = State();
    std::lock_guard Guard(S.Lock);
    return S.Failures;
}

const TTlsFunctions& TlsFunctions() {
    return State().Functions;
}

std::string TlsText(const char* AText) {
    return AText == nullptr ? std::string() : IdText::Latin1ToUTF8(AText);
}

namespace {

// From 3.0 on the option functions take 64-bit options; before, an unsigned long.
constexpr unsigned long WideOptionsVersion = 0x30000000UL;

void ApplyOptions(OpenSsl::SSL_CTX* AContext, std::uint64_t AOptions, void* AFunction, int ACtrl) {
    const TTlsFunctions& F = TlsFunctions();
    if (AFunction == nullptr) {
        // A library with neither function made no context to set options on.
        if (F.SSL_CTX_ctrl == nullptr)
            return;
        F.SSL_CTX_ctrl(AContext, ACtrl, static_cast<long>(AOptions), nullptr);
    } else if (F.VersionNumber >= WideOptionsVersion) {
        using Wide = std::uint64_t (*)(OpenSsl::SSL_CTX*, std::uint64_t);
        reinterpret_cast<Wide>(AFunction)(AContext, AOptions);
    } else {
        using Narrow = unsigned long (*)(OpenSsl::SSL_CTX*, unsigned long);
        reinterpret_cast<Narrow>(AFunction)(AContext, static_cast<unsigned long>(AOptions));
    }
}

} // namespace

void TlsSetContextOptions(OpenSsl::SSL_CTX* AContext, std::uint64_t AOptions) {
    ApplyOptions(AContext, AOptions, TlsFunctions().SSL_CTX_set_options, OpenSsl::CtrlOptions);
}

void TlsClearContextOptions(OpenSsl::SSL_CTX* AContext, std::uint64_t AOptions) {
    ApplyOptions(AContext, AOptions, TlsFunctions().SSL_CTX_clear_options,
                 OpenSsl::CtrlClearOptions);
}
