#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <utility>
#include <vector>

namespace {

const QString Section = QStringLiteral("VLCallbench");

QString Key(const QString& AName) {
    return Section + u'/' + AName;
}

// The texts Save writes for ASettings, in the order they are written.
std::vector<std::pair<QString, QString>> StoredTexts(const TConnectionSettings& ASettings) {
    return {
        {QStringLiteral("Version"), ASettings.Version},
        {QStringLiteral("IP"), ASettings.IP},
        {QStringLiteral("Port"), ASettings.Port},
        {QStringLiteral("Path"), ASettings.Path},
        {QStringLiteral("RememberPW"),
         ASettings.RememberPW ? QStringLiteral("1") : QStringLiteral("0")},
        {QStringLiteral("Password"), ASettings.RememberPW ? ASettings.Password : QString()},
        {QStringLiteral("KeepHistory"),
         ASettings.KeepHistory ? QStringLiteral("1") : QStringLiteral("0")},
        {QStringLiteral("ResultsView"), ASettings.ResultsView},
        {QStringLiteral("WindowSize"), ASettings.WindowSize},
        {QStringLiteral("SplitterShare"), ASettings.SplitterShare},
        {QStringLiteral("LastCommand"), ASettings.LastCommand},
        {QStringLiteral("ResultFormat"), ASettings.ResultFormat},
    };
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

bool CreatePrivateFile(const QString& AFileName, const QByteArray& AContents = {}) {
    const int fd =
        ::open(QFile::encodeName(AFileName).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool written =
        ::write(fd, AContents.constData(), static_cast<size_t>(AContents.size())) ==
        static_cast<ssize_t>(AContents.size());
    ::close(fd);
    return written;
}

// Whether the settings reader understands every line of AContents, so that rewriting the file
// loses nothing: UTF-8 text whose lines are blank, a "[section]", a ";" comment or hold a "=".
bool EveryLineReadable(const QByteArray& AContents) {
    if (AContents.contains('\0'))
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(AContents);
    if (decoder.hasError())
        return false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (!line.isEmpty() && !line.startsWith(u';') && !line.contains(u'=') &&
            !(line.startsWith(u'[') && line.endsWith(u']')))
            return false;
    }
    return true;
}

// Whether the settings file, read afresh, holds AText for AName. The settings writer may report
// success for a file it could write only in part (a full disk), and its reader answers from what
// it wrote; so the file is read through a second name of its own, a hard link.
bool ReadsBack(const QString& AFileName, const QString& AName, const QString& AText) {
    static std::atomic<unsigned> probes{0};
    const QString probe = AFileName + QStringLiteral(".check%1").arg(probes++);
    QFile::remove(probe);
    if (::link(QFile::encodeName(AFileName).constData(), QFile::encodeName(probe).constData()) != 0)
        return true; // no second name to be had: the writer's word is all there is
    bool same = false;
    {
        const QSettings check(probe, QSettings::IniFormat);
        same = check.status() == QSettings::NoError && check.value(Key(AName)) == AText;
    }
    QFile::remove(probe);
    return same;
}

// What stands at AFileName when it is no settings file to open: a pipe nobody writes would hold
// the settings reader for ever, a device feed it without end. Nothing there, or a file that
// cannot be looked at, is left to the reader as before.
struct TFileCheck {
    QString Refused; // "is a pipe, not a file", or empty
    bool Folder = false;
};
TFileCheck CheckFile(const QString& AFileName) {
    struct stat info {};
    if (::stat(QFile::encodeName(AFileName).constData(), &info) != 0)
        return {};
    if (S_ISREG(info.st_mode)) {
        if (info.st_size > TSettingsStore::MaxFileSize)
            return {QStringLiteral("is larger than %1 MiB").arg(TSettingsStore::MaxFileSize >> 20)};
        return {};
    }
    const QString kind = S_ISDIR(info.st_mode)    ? QStringLiteral("a folder")
                         : S_ISFIFO(info.st_mode) ? QStringLiteral("a pipe")
                         : S_ISSOCK(info.st_mode) ? QStringLiteral("a socket")
                                                  : QStringLiteral("a device");
    return {QStringLiteral("is %1, not a file").arg(kind), S_ISDIR(info.st_mode)};
}

ESettingsFileRefused Refusal(const QString& AFileName, const QString& AReason,
                             const char* AConsequence) {
    return ESettingsFileRefused(QStringLiteral("The settings file %1 %2; %3.")
                                    .arg(AFileName, AReason, QLatin1String(AConsequence))
                                    .toStdString());
}

} // namespace

void MakePrivateSettingsFile(const QString& AFileName) {
    if (QFileInfo::exists(AFileName))
        return;
    if (!QDir().mkpath(QFileInfo(AFileName).absolutePath()) || !CreatePrivateFile(AFileName))
        throw ESettingsError("Failed to create key VLCallbench");
}

TSettingsStore::TSettingsStore(QString AFileName)
    : FFileName(AFileName.isEmpty() ? DefaultFileName() : std::move(AFileName)) {}

QString TSettingsStore::DefaultFileName() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tessarine.conf");
}

void TSettingsStore::Load(TConnectionSettings& ASettings, TMissingFile AMissing) {
    FUnread.clear();
    if (const TFileCheck check = CheckFile(FFileName); !check.Refused.isEmpty())
        throw Refusal(FFileName, check.Refused, "it was not read");
    // The store exists from the first start on, even if the window is never closed normally;
    // a store that cannot be created is reported only when saving.
    if (AMissing == TMissingFile::Create && !QFileInfo::exists(FFileName) &&
        QDir().mkpath(QFileInfo(FFileName).absolutePath()))
        CreatePrivateFile(FFileName, "[" + Section.toLatin1() + "]\n");

    QStringList errors;
    const QSettings store(FFileName, QSettings::IniFormat);
    const auto read = [&](const char* AName, const QString& ADefault) {
        const QString name = QLatin1String(AName);
        if (!store.contains(Key(name)))
            return ADefault;
        // Lists, numbers or byte arrays written by other tools cannot be read.
        const QVariant value = store.value(Key(name));
        if (value.typeId() != QMetaType::QString) {
            FUnread.push_back({name, {}});
            errors << QStringLiteral("Invalid data type for '%1'").arg(name);
            return QString();
        }
        QString text = value.toString();
        const qsizetype null = text.indexOf(QChar(0));
        if (null >= 0)
            text.truncate(null);
        return text;
    };
    ASettings.Version = read("Version", {});
    ASettings.IP = read("IP", QStringLiteral("http://127.0.0.1"));
    ASettings.Port = read("Port", QStringLiteral("8087"));
    ASettings.Path = read("Path", QStringLiteral("api"));
    long long remember = 0;
    ASettings.RememberPW = ToWholeNumber(read("RememberPW", {}), remember) && remember != 0;
    ASettings.Password = read("Password", {});
    long long keep = 1;
    // Anything but a number keeps the history on, as it is by default.
    ASettings.KeepHistory = !ToWholeNumber(read("KeepHistory", {}), keep) || keep != 0;
    ASettings.ResultsView = read("ResultsView", QStringLiteral("Raw"));
    ASettings.WindowSize = read("WindowSize", {});
    ASettings.SplitterShare = read("SplitterShare", {});
    ASettings.LastCommand = read("LastCommand", {});
    ASettings.ResultFormat = read("ResultFormat", QStringLiteral("JSON"));

    // What saving the fields unchanged would write for an unread value.
    for (const auto& [name, text] : StoredTexts(ASettings))
        for (TUnread& unread : FUnread)
            if (unread.Name == name)
                unread.Shown = text;
    if (!errors.isEmpty())
        throw ESettingsError(errors.join(u'\n').toStdString());
}

bool TSettingsStore::IsUnread(const QString& AName, const QString& AText) const {
    for (const TUnread& unread : FUnread)
        if (unread.Name == AName && unread.Shown == AText)
            return true;
    return false;
}

QString TSettingsStore::Repair() const {
    QFile file(FFileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray contents = file.readAll();
    file.close();
    std::vector<std::pair<QString, QVariant>> values;
    {
        const QSettings store(FFileName, QSettings::IniFormat);
        for (const QString& key : store.allKeys())
            values.emplace_back(key, store.value(key));
        if (store.status() == QSettings::NoError && EveryLineReadable(contents))
            return {};
    }

    const QString name = QFileInfo(FFileName).fileName();
    const QString backup = BackupFileName();
    QFile::remove(backup);
    if (!QFile::copy(FFileName, backup))
        throw ESettingsError(QStringLiteral("Could not keep a copy of %1 as %2; the settings "
                                            "were not saved.")
                                 .arg(name, QFileInfo(backup).fileName())
                                 .toStdString());
    QFile::setPermissions(backup, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    // The reader refuses nothing but drops what it does not understand: write what it read
    // into a fresh file.
    if (!QFile::remove(FFileName) || !CreatePrivateFile(FFileName))
        throw ESettingsError("Failed to create key VLCallbench");
    QSettings store(FFileName, QSettings::IniFormat);
    for (const auto& [key, value] : values)
        store.setValue(key, value);
    store.sync();
    return QStringLiteral("Some lines of %1 could not be read and were left out when the "
                          "settings were saved. The file as it was is kept as %2.")
        .arg(name, QFileInfo(backup).fileName());
}

QString TSettingsStore::Save(const TConnectionSettings& ASettings) {
    // A folder fails at its first value, as any file that cannot be written.
    if (const TFileCheck check = CheckFile(FFileName); !check.Refused.isEmpty() && !check.Folder)
        throw Refusal(FFileName, check.Refused, "the settings were not saved");
    const QFileInfo info(FFileName);
    // Create the file owner-only before any password is written into it; the settings writer
    // replaces the file but keeps its permissions.
    if (!QDir().mkpath(info.absolutePath()) || (!info.exists() && !CreatePrivateFile(FFileName)))
        throw ESettingsError("Failed to create key VLCallbench");
    QString notice = Repair();

    // The file as it was, under a second name: a value that cannot be written puts it back
    // whole, so a failed save loses nothing.
    const QByteArray path = QFile::encodeName(FFileName);
    const QByteArray kept = QFile::encodeName(FFileName + QStringLiteral(".saving"));
    ::unlink(kept.constData());
    const bool canRestore = ::link(path.constData(), kept.constData()) == 0;
    const auto fail = [&](const QString& AName) {
        if (canRestore)
            ::rename(kept.constData(), path.constData());
        throw ESettingsError(
            QStringLiteral("Failed to set data for '%1'").arg(AName).toStdString());
    };

    QSettings store(FFileName, QSettings::IniFormat);
    std::vector<TUnread> stillUnread;
    for (const auto& [name, text] : StoredTexts(ASettings)) {
        if (name == QLatin1String("Password") && ASettings.PasswordInKeyring) {
            store.remove(Key(name));
            store.sync();
            continue;
        }
        if (IsUnread(name, text)) {
            stillUnread.push_back({name, text});
            continue;
        }
        // One value at a time, so that a failure names the value it happened at.
        store.setValue(Key(name), text);
        store.sync();
        if (store.status() != QSettings::NoError || !ReadsBack(FFileName, name, text))
            fail(name);
    }
    if (canRestore)
        ::unlink(kept.constData());
    FUnread = std::move(stillUnread);
    QFile::setPermissions(FFileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return notice;
}
