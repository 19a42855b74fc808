#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

struct TIdPeerCertificate;

// The certificates the user chose to trust although they fail the check, one SHA-256 fingerprint
// per host and port, in the settings file's section [TrustedCertificates]. Every call reads or
// writes the file itself, so the window and the tools see each other's pins at once.
class TPinStore {
public:
    explicit TPinStore(QString AFileName) : FFileName(std::move(AFileName)) {}

    // The window's settings file in the user's configuration folder.
    static QString DefaultFileName();

    std::optional<std::string> Find(const std::string& AHost, uint16_t APort) const;
    // Pins AFingerprint for the host and port, replacing an earlier pin. False when the file
    // cannot be written.
    bool Pin(const std::string& AHost, uint16_t APort, const std::string& AFingerprint) const;
    // Pins APeer's certificate for its host and port, and keeps its public key's fingerprint
    // beside it (in [TrustedKeys]) for the command lines that repeat a call.
    bool Pin(const TIdPeerCertificate& APeer) const;
    // The public key's fingerprint kept with the pin; none for pins made before keys were kept.
    std::optional<std::string> FindKey(const std::string& AHost, uint16_t APort) const;

    // "host:port", the host in lower case and an IPv6 address in brackets.
    static QString Key(const std::string& AHost, uint16_t APort);

private:
    QString FFileName;
};

// What to do with a certificate that failed the check.
enum class TTrustVerdict {
    Trusted,  // it is the pinned certificate
    FirstUse, // nothing pinned for the host and port: ask
    Changed,  // another certificate is pinned: ask again, showing both
};
TTrustVerdict DecideTrust(const std::optional<std::string>& APin, const TIdPeerCertificate& APeer);
