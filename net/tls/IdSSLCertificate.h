#pragma once

#include "IdSSLExceptions.h"
#include "TlsLibrary.h"

#include <cstdint>
#include <string>

// What a client is shown about a server certificate that did not pass the check.
struct TIdPeerCertificate {
    std::string Host; // as typed, without IPv6 brackets
    uint16_t Port = 0;
    std::string VerifyError; // OpenSSL's text for why the check failed
    std::string Subject;
    std::string Issuer;
    std::string NotBefore; // "YYYY-MM-DD HH:MM:SS UTC"
    std::string NotAfter;
    std::string Fingerprint; // "sha256:" and 64 lower-case hexadecimal digits
    // The same of the DER SubjectPublicKeyInfo alone; empty when the library cannot tell.
    std::string PublicKeyFingerprint;
};

// "sha256:" followed by the lower-case hexadecimal digits of ADigest.
std::string IdFingerprintText(const unsigned char* ADigest, unsigned int ALength);

// Fills everything of ACertificate that the certificate itself tells; empty texts where the
// library cannot render a field.
void IdDescribeCertificate(const OpenSsl::X509* ACertificate, TIdPeerCertificate& AResult);

// The server's certificate failed the check and nobody accepted it. The connection is closed
// before any byte of the request went out.
class EIdOSSLCertificateRejected : public EIdOpenSSLError {
public:
    EIdOSSLCertificateRejected(const std::string& AMessage, TIdPeerCertificate ACertificate)
        : EIdOpenSSLError(AMessage), Certificate(std::move(ACertificate)) {}
    TIdPeerCertificate Certificate;
};
