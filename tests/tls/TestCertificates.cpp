#include "TestCertificates.h"
#include "TempFolder.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

constexpr long Day = 24 * 60 * 60;

using TKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using TCert = std::unique_ptr<X509, decltype(&X509_free)>;

// Removes the folder at process exit.

TTempFolder& Folder() {
    static TTempFolder Instance("vltlspki-");
    return Instance;
}

void Check(bool AOk, const char* AWhat) {
    if (!AOk) {
        throw std::runtime_error(std::string("test certificate: ") + AWhat);
    }
}

TKey NewKey() {
    TKey Key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    Check(Key != nullptr, "key");
    return Key;
}

void AddExtension(X509* ACert, X509* AIssuer, int ANid, const char* AValue) {
    X509V3_CTX Context;
    X509V3_set_ctx_nodb(&Context);
    X509V3_set_ctx(&Context, AIssuer, ACert, nullptr, nullptr, 0);
    X509_EXTENSION* Extension = X509V3_EXT_conf_nid(nullptr, &Context, ANid, AValue);
    Check(Extension != nullptr && X509_add_ext(ACert, Extension, -1) == 1, "extension");
    X509_EXTENSION_free(Extension);
}

// What a certificate says: its common name, its subject alternative names ("IP:..., DNS:...",
// none when null), and its validity from From to To seconds from now.
struct TCertContents {
    const char* CommonName;
    const char* Names;
    long From;
    long To;
};

// Who signs a certificate: null for a self-signed one.
struct TSigner {
    X509* Cert = nullptr;
    EVP_PKEY* Key = nullptr;
};
const TSigner BySelf{};

// A certificate for AKey saying AContents, signed by AIssuer; ACa makes it a certificate authority.
TCert NewCertificate(EVP_PKEY* AKey, const TCertContents& AContents, const TSigner& AIssuer,
                     bool ACa) {
    static long Serial = 1000;
    TCert Cert(X509_new(), &X509_free);
    Check(Cert != nullptr, "new");
    X509_set_version(Cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(Cert.get()), ++Serial);
    X509_gmtime_adj(X509_getm_notBefore(Cert.get()), AContents.From);
    X509_gmtime_adj(X509_getm_notAfter(Cert.get()), AContents.To);
    X509_set_pubkey(Cert.get(), AKey);
    X509_NAME* Name = X509_get_subject_name(Cert.get());
    X509_NAME_add_entry_by_txt(Name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("VL Test"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(Name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(AContents.CommonName), -1, -1,
                               0);
    X509* Issuer = AIssuer.Cert != nullptr ? AIssuer.Cert : Cert.get();
    X509_set_issuer_name(Cert.get(), X509_get_subject_name(Issuer));
    AddExtension(Cert.get(), Issuer, NID_basic_constraints, ACa ? "critical,CA:TRUE" : "CA:FALSE");
    if (AContents.Names != nullptr) {
        AddExtension(Cert.get(), Issuer, NID_subject_alt_name, AContents.Names);
    }
    Check(X509_sign(Cert.get(), AIssuer.Key != nullptr ? AIssuer.Key : AKey, EVP_sha256()) > 0,
          "sign");
    return Cert;
}

std::string Fingerprint(X509* ACert) {
    unsigned char Digest[EVP_MAX_MD_SIZE];
    unsigned int Length = 0;
    Check(X509_digest(ACert, EVP_sha256(), Digest, &Length) == 1, "digest");
    std::string Result = "sha256:";
    char Hex[3];
    for (unsigned int I = 0; I < Length; ++I) {
        std::snprintf(Hex, sizeof Hex, "%02x", Digest[I]);
        Result += Hex;
    }
    return Result;
}

std::string WriteCertificate(X509* ACert, const std::string& AName) {
    std::string File = (Folder().Path() / (AName + ".pem")).string();
    std::FILE* Out = std::fopen(File.c_str(), "w");
    Check(Out != nullptr && PEM_write_X509(Out, ACert) == 1, "write certificate");
    std::fclose(Out);
    return File;
}

TTestCertificate Save(X509* ACert, EVP_PKEY* AKey, const std::string& AName) {
    TTestCertificate Result;
    Result.CertFile = WriteCertificate(ACert, AName);
    Result.KeyFile = (Folder().Path() / (AName + "-key.pem")).string();
    std::FILE* Out = std::fopen(Result.KeyFile.c_str(), "w");
    Check(Out != nullptr &&
              PEM_write_PrivateKey(Out, AKey, nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "write key");
    std::fclose(Out);
    Result.Fingerprint = Fingerprint(ACert);
    return Result;
}

TTestCertificate ServerCertificate(const char* AName, const TCertContents& AContents,
                                   const TSigner& AIssuer) {
    const TKey Key = NewKey();
    const TCert Cert = NewCertificate(Key.get(), AContents, AIssuer, false);
    return Save(Cert.get(), Key.get(), AName);
}

} // namespace

const TTestCertificate& TTestCertificate::Get() {
    static const TTestCertificate Certificate = ServerCertificate(
        "wrong-self", {"wrong.example", "DNS:wrong.example", -Day, 2 * Day}, BySelf);
    return Certificate;
}

const TTestPki& TTestPki::Get() {
    static const TTestPki Pki = [] {
        TTestPki Result;
        const TKey CaKey = NewKey();
        const TCert Ca =
            NewCertificate(CaKey.get(), {"VL Test CA", nullptr, -Day, 30 * Day}, BySelf, true);
        Result.CaFile = WriteCertificate(Ca.get(), "ca");
        const TSigner ByCa{Ca.get(), CaKey.get()};
        const char* Loopback = "IP:127.0.0.1,IP:::1,DNS:localhost";
        Result.Leaf = ServerCertificate("leaf", {"localhost", Loopback, -Day, 30 * Day}, ByCa);
        Result.Expired =
            ServerCertificate("expired", {"localhost", Loopback, -30 * Day, -Day}, ByCa);
        Result.WrongName = ServerCertificate(
            "wrong", {"wrong.example", "DNS:wrong.example", -Day, 30 * Day}, ByCa);
        Result.SelfSigned =
            ServerCertificate("self", {"localhost", Loopback, -Day, 30 * Day}, BySelf);
        Result.SelfSigned2 =
            ServerCertificate("self2", {"localhost", Loopback, -Day, 30 * Day}, BySelf);
        return Result;
    }();
    return Pki;
}
