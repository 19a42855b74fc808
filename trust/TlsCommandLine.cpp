#include "TlsCommandLine.h"

#include "IdSSLCertificate.h"
#include "IdSSLIOHandlerSocketOpenSSL.h"
#include "PinStore.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

std::string PinOptionValue(std::string_view AValue) {
    constexpr std::string_view Prefix = "sha256:";
    std::string pin(AValue);
    std::transform(pin.begin(), pin.end(), pin.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool ok = pin.size() == Prefix.size() + 64 && pin.starts_with(Prefix) &&
                    pin.find_first_not_of("0123456789abcdef", Prefix.size()) == std::string::npos;
    if (!ok)
        throw std::invalid_argument(
            "option '--pin' needs sha256: and 64 hexadecimal digits, not '" + std::string(AValue) +
            "'");
    return pin;
}

void ApplyTlsCommandLine(const TTlsCommandLine& AOptions, TIdSSLIOHandlerSocketOpenSSL& AHandler) {
    AHandler.VerifyPeer = !AOptions.Insecure;
    AHandler.SSLOptions().RootCertFile = AOptions.CaCertFile;
    AHandler.OnVerifyPeer = [Pins = AOptions.Pins](const TIdPeerCertificate& APeer) {
        if (std::find(Pins.begin(), Pins.end(), APeer.Fingerprint) != Pins.end())
            return true;
        // The pins are read when asked, so a certificate trusted in the window meanwhile counts.
        const TPinStore pins(TPinStore::DefaultFileName());
        return DecideTrust(pins.Find(APeer.Host, APeer.Port), APeer) == TTrustVerdict::Trusted;
    };
}

std::string RefusedCertificateMessage(const EIdOSSLCertificateRejected& AError,
                                      std::string_view AWhere) {
    return std::string(AError.what()) + "\nTo trust this certificate, pass --pin " +
           AError.Certificate.Fingerprint + std::string(AWhere) + ".\n";
}
