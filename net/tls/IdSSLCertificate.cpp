#include "IdSSLCertificate.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

struct TBioFree {
    void operator()(OpenSsl::BIO* ABio) const { TlsFunctions().BIO_free(ABio); }
};

std::string NameText(const OpenSsl::X509_NAME* AName) {
    const TTlsFunctions& F = TlsFunctions();
    if (AName == nullptr) {
        return {};
    }
    const std::unique_ptr<OpenSsl::BIO, TBioFree> Bio(F.BIO_new(F.BIO_s_mem()));
    if (Bio == nullptr || F.X509_NAME_print_ex(Bio.get(), AName, 0, OpenSsl::NamePrintFlags) < 0) {
        return {};
    }
    char* Data = nullptr;
    const long Length = F.BIO_ctrl(Bio.get(), OpenSsl::BioCtrlInfo, 0, &Data);
    return Data != nullptr && Length > 0 ? std::string(Data, static_cast<std::size_t>(Length))
                                         : std::string();
}

std::string TimeText(const OpenSsl::ASN1_TIME* ATime) {
    std::tm Time{};
    if (ATime == nullptr || TlsFunctions().ASN1_TIME_to_tm(ATime, &Time) != 1) {
        return {};
    }
    char Buffer[32];
    std::strftime(Buffer, sizeof Buffer, "%Y-%m-%d %H:%M:%S UTC", &Time);
    return Buffer;
}

} // namespace

std::string IdFingerprintText(const unsigned char* ADigest, unsigned int ALength) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string Result = "sha256:";
    for (unsigned int I = 0; I < ALength; ++I) {
        Result.push_back(Digits[ADigest[I] >> 4]);
        Result.push_back(Digits[ADigest[I] & 0x0F]);
    }
    return Result;
}

void IdDescribeCertificate(const OpenSsl::X509* ACertificate, TIdPeerCertificate& AResult) {
    const TTlsFunctions& F = TlsFunctions();
    AResult.Subject = NameText(F.X509_get_subject_name(ACertificate));
    AResult.Issuer = NameText(F.X509_get_issuer_name(ACertificate));
    AResult.NotBefore = TimeText(F.X509_get0_notBefore(ACertificate));
    AResult.NotAfter = TimeText(F.X509_get0_notAfter(ACertificate));
    std::array<unsigned char, OpenSsl::MaxDigestSize> Digest{};
    unsigned int Length = 0;
    if (F.X509_digest(ACertificate, F.EVP_sha256(), Digest.data(), &Length) == 1) {
        AResult.Fingerprint = IdFingerprintText(Digest.data(), Length);
    }
    if (F.X509_get_X509_PUBKEY && F.i2d_X509_PUBKEY && F.EVP_Digest) {
        const OpenSsl::X509_PUBKEY* Key = F.X509_get_X509_PUBKEY(ACertificate);
        const int KeyLength = Key ? F.i2d_X509_PUBKEY(Key, nullptr) : 0;
        if (KeyLength > 0) {
            std::vector<unsigned char> Der(static_cast<std::size_t>(KeyLength));
            unsigned char* Out = Der.data();
            if (F.i2d_X509_PUBKEY(Key, &Out) == KeyLength &&
                F.EVP_Digest(Der.data(), Der.size(), Digest.data(), &Length, F.EVP_sha256(),
                             nullptr) == 1)
                AResult.PublicKeyFingerprint = IdFingerprintText(Digest.data(), Length);
        }
    }
    F.ERR_clear_error();
}
