#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString Section = QStringLiteral("VLCallbench");

// A value that exists must be plain text: lists, numbers or byte arrays written by other tools
// cannot be read.
bool ReadText(const QSettings& AStore, const QString& AName, QString& AText) {
    const QString key = Section + u'/' + AName;
    if (!AStore.contains(key))
        return false;
    const QVariant value = AStore.value(key);
    if (value.typeId() != QMetaType::QString)
        throw ESettingsError(QStringLiteral("Invalid data type for '%1'").arg(AName).toStdString());
    AText = value.toString();
    const qsizetype null = AText.indexOf(QChar(0));
    if (null >= 0)
        AText.truncate(null);
    return true;
}

// Reads a whole number as the settings have always been read: optional sign, decimal digits,
// or hexadecimal after "$" or "0x"; anything else is not a number.
bool ToWholeNumber(const QString& AText, long long& AValue) {
    QString text = AText.trimmed();
    bool negative = false;
    if (text.startsWith(u'-') || text.startsWith(u'+')) {
        negative = text.startsWith(u'-');
        text.remove(0, 1);
    }
    bool ok = false;
    if (text.startsWith(u'$'))
        AValue = text.mid(1).toLongLong(&ok, 16);
    else if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        AValue = text.mid(2).toLongLong(&ok, 16);
    else if (!text.isEmpty() && text.front().isDigit())
        AValue = text.toLongLong(&ok, 10);
    if (negative)
        AValue = -AValue;
    return ok;
}

bool CreatePrivateFile(const QByteArray& APath) {
    const int fd = ::open(APath.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace

TSettingsStore::TSettingsStore(QString AFileName)
    : FileName_(AFileName.isEmpty() ? DefaultFileName() : std::move(AFileName)) {}

QString TSettingsStore::DefaultFileName() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tessarine.conf");
}

void TSettingsStore::Load(TConnectionSettings& ASettings) const {
    const QSettings store(FileName_, QSettings::IniFormat);
    const auto read = [&store](const char* AName, const QString& ADefault) {
        QString text;
        return ReadText(store, QLatin1String(AName), text) ? text : ADefault;
    };
    ASettings.Version = read("Version", {});
    ASettings.IP = read("IP", QStringLiteral("http://127.0.0.1"));
    ASettings.Port = read("Port", QStringLiteral("8087"));
    ASettings.Path = read("Path", QStringLiteral("api"));
    long long remember = 0;
    ASettings.RememberPW = ToWholeNumber(read("RememberPW", {}), remember) && remember != 0;
    ASettings.Password = read("Password", {});
}

void TSettingsStore::Save(const TConnectionSettings& ASettings) const {
    const QFileInfo info(FileName_);
    const QByteArray path = QFile::encodeName(FileName_);
    // Create the file owner-only before any password is written into it; the settings writer
    // replaces the file but keeps its permissions.
    if (!QDir().mkpath(info.absolutePath()) || (!info.exists() && !CreatePrivateFile(path)))
        throw ESettingsError("Failed to create key VLCallbench");

    QSettings store(FileName_, QSettings::IniFormat);
    const std::pair<const char*, QString> values[] = {
        {"Version", ASettings.Version},
        {"IP", ASettings.IP},
        {"Port", ASettings.Port},
        {"Path", ASettings.Path},
        {"RememberPW", ASettings.RememberPW ? QStringLiteral("1") : QStringLiteral("0")},
        {"Password", ASettings.RememberPW ? ASettings.Password : QString()},
    };
    for (const auto& [name, text] : values)
        store.setValue(Section + u'/' + QLatin1String(name), text);
    store.sync();
    if (store.status() != QSettings::NoError)
        throw ESettingsError("Failed to set data for 'Version'");
    QFile::setPermissions(FileName_, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}
