#include "PinStore.h"

#include "IdSSLCertificate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString Section = QStringLiteral("TrustedCertificates");
const QString KeySection = QStringLiteral("TrustedKeys");

std::optional<std::string> FindIn(const QString& AFileName, const QString& AKey) {
    const QSettings store(AFileName, QSettings::IniFormat);
    const QVariant value = store.value(AKey);
    if (value.typeId() != QMetaType::QString || value.toString().isEmpty())
        return std::nullopt;
    return value.toString().toStdString();
}

// The settings file may hold the API password, so one that does not exist yet is made
// owner-only before anything is written to it.
bool EnsurePrivateFile(const QString& AFileName) {
    const QFileInfo info(AFileName);
    if (info.exists())
        return true;
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    const int fd =
        ::open(QFile::encodeName(AFileName).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace

QString TPinStore::DefaultFileName() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tessarine.conf");
}

QString TPinStore::Key(const std::string& AHost, uint16_t APort) {
    QString host = QString::fromStdString(AHost).toLower();
    if (host.contains(u':'))
        host = u'[' + host + u']';
    return host + u':' + QString::number(APort);
}

std::optional<std::string> TPinStore::Find(const std::string& AHost, uint16_t APort) const {
    return FindIn(FFileName, Section + u'/' + Key(AHost, APort));
}

std::optional<std::string> TPinStore::FindKey(const std::string& AHost, uint16_t APort) const {
    // Kept as "certificate/key": a key kept for another certificate than the one pinned now (the
    // pin replaced by an older program) would pin the wrong one.
    const std::optional<std::string> kept =
        FindIn(FFileName, KeySection + u'/' + Key(AHost, APort));
    const std::optional<std::string> pin = Find(AHost, APort);
    if (!kept || !pin || kept->size() <= pin->size() + 1 ||
        kept->compare(0, pin->size(), *pin) != 0 || (*kept)[pin->size()] != '/')
        return std::nullopt;
    return kept->substr(pin->size() + 1);
}

bool TPinStore::Pin(const TIdPeerCertificate& APeer) const {
    if (!Pin(APeer.Host, APeer.Port, APeer.Fingerprint))
        return false;
    QSettings store(FFileName, QSettings::IniFormat);
    const QString name = KeySection + u'/' + Key(APeer.Host, APeer.Port);
    if (APeer.PublicKeyFingerprint.empty())
        store.remove(name);
    else
        store.setValue(
            name, QString::fromStdString(APeer.Fingerprint + '/' + APeer.PublicKeyFingerprint));
    store.sync();
    return store.status() == QSettings::NoError;
}

bool TPinStore::Pin(const std::string& AHost, uint16_t APort,
                    const std::string& AFingerprint) const {
    if (!EnsurePrivateFile(FFileName))
        return false;
    QSettings store(FFileName, QSettings::IniFormat);
    store.setValue(Section + u'/' + Key(AHost, APort), QString::fromStdString(AFingerprint));
    store.sync();
    return store.status() == QSettings::NoError;
}

TTrustVerdict DecideTrust(const std::optional<std::string>& APin, const TIdPeerCertificate& APeer) {
    if (!APin)
        return TTrustVerdict::FirstUse;
    return *APin == APeer.Fingerprint ? TTrustVerdict::Trusted : TTrustVerdict::Changed;
}
