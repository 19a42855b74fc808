#pragma once

// The certificate options of the command-line tools, with one meaning and one wording for all of
// them: --insecure, --cacert FILE and --pin sha256:HEX.

#include <string>
#include <string_view>
#include <vector>

class EIdOSSLCertificateRejected;
class TIdSSLIOHandlerSocketOpenSSL;

struct TTlsCommandLine {
    // No check of the server's certificate.
    bool Insecure = false;
    // Trust the certificates in this file instead of the system's.
    std::string CaCertFile;
    // Certificates trusted whatever the check says, as "sha256:" and 64 lower-case digits.
    std::vector<std::string> Pins;

    // The help of each option, as the tools print it.
    static constexpr std::string_view InsecureHelp = "do not check the server's certificate";
    static constexpr std::string_view CaCertHelp =
        "trust the certificates in FILE instead of the system's";
    static constexpr std::string_view PinHelp = "trust exactly this certificate (may be repeated)";
    static constexpr std::string_view PinValue = "sha256:HEX";
};

// AValue as a pin ("sha256:" and 64 hexadecimal digits, in lower case). Throws
// std::invalid_argument with the message for the user when it is not one.
std::string PinOptionValue(std::string_view AValue);

// Sets up AHandler as the options say: the check on unless --insecure, the CA file, and a
// certificate that fails the check trusted when given with --pin or pinned in the window. The
// request, and with it the password, is written only after the certificate is trusted.
void ApplyTlsCommandLine(const TTlsCommandLine& AOptions, TIdSSLIOHandlerSocketOpenSSL& AHandler);

// The message for a certificate that was refused: why, what it is, and the --pin option that
// trusts it, with AWhere saying where the option goes (" before the URL"); ends with a newline.
std::string RefusedCertificateMessage(const EIdOSSLCertificateRejected& AError,
                                      std::string_view AWhere);
