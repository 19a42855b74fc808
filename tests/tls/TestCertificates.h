#pragma once

#include <string>

// A certificate and its key in PEM files, with the certificate's SHA-256 fingerprint as
// "sha256:" and lower-case hexadecimal digits.
struct TTestCertificate {
    std::string CertFile;
    std::string KeyFile;
    std::string Fingerprint;
    // A self-signed certificate for the name "wrong.example".
    static const TTestCertificate& Get();
};

// A small public key infrastructure made once per process in a temporary folder, removed at exit:
// a test CA and server certificates for the loopback address.
struct TTestPki {
    std::string CaFile;           // the test CA's certificate
    TTestCertificate Leaf;        // from the CA, for 127.0.0.1, ::1 and localhost
    TTestCertificate Expired;     // from the CA, for 127.0.0.1, expired a day ago
    TTestCertificate WrongName;   // from the CA, for wrong.example only
    TTestCertificate SelfSigned;  // self-signed, for 127.0.0.1
    TTestCertificate SelfSigned2; // another self-signed one for 127.0.0.1 (a changed certificate)
    static const TTestPki& Get();
};
