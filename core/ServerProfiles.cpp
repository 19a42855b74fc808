#include "ServerProfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <utility>

const QString TServerProfiles::DefaultName = QStringLiteral("Default");

namespace {

const QString Group = QStringLiteral("Profiles");
const QString CurrentKey = QStringLiteral("Profiles/Current");

QString ProfileKey(const QString& AName, const char* AValue) {
    return Group + u'/' + AName + u'/' + QLatin1String(AValue);
}

// A stored text, or ADefault when absent or not text.
QString Text(const QSettings& AStore, const QString& AKey, const QString& ADefault = {}) {
    const QVariant value = AStore.value(AKey);
    return value.typeId() == QMetaType::QString ? value.toString() : ADefault;
}

bool Ticked(const QSettings& AStore, const QString& AKey) {
    return Text(AStore, AKey).trimmed() == QLatin1String("1");
}

void Check(QSettings& AStore, const QString& AWhat) {
    AStore.sync();
    if (AStore.status() != QSettings::NoError)
        throw ESettingsError(
            QStringLiteral("Failed to set data for '%1'").arg(AWhat).toStdString());
}

// The marks a profile keeps in its group even while current: production and before copies.
void ReadMarks(const QSettings& AStore, TServerProfile& AProfile) {
    AProfile.Production = Ticked(AStore, ProfileKey(AProfile.Name, "Production"));
    const QString before = Text(AStore, ProfileKey(AProfile.Name, "BeforeCopies")).trimmed();
    AProfile.BeforeCopies.reset();
    if (before == QLatin1String("1") || before == QLatin1String("0"))
        AProfile.BeforeCopies = before == QLatin1String("1");
}

void WriteMarks(QSettings& AStore, const QString& AName, const TServerProfile& AMarks) {
    AStore.setValue(ProfileKey(AName, "Production"),
                    AMarks.Production ? QStringLiteral("1") : QStringLiteral("0"));
    if (AMarks.BeforeCopies)
        AStore.setValue(ProfileKey(AName, "BeforeCopies"),
                        *AMarks.BeforeCopies ? QStringLiteral("1") : QStringLiteral("0"));
    else
        AStore.remove(ProfileKey(AName, "BeforeCopies"));
}

TServerProfile ReadProfile(const QSettings& AStore, const QString& AName) {
    TServerProfile profile;
    profile.Name = AName;
    profile.Version = Text(AStore, ProfileKey(AName, "Version"));
    profile.IP = Text(AStore, ProfileKey(AName, "IP"), QStringLiteral("http://127.0.0.1"));
    profile.Port = Text(AStore, ProfileKey(AName, "Port"), QStringLiteral("8087"));
    profile.Path = Text(AStore, ProfileKey(AName, "Path"), QStringLiteral("api"));
    profile.RememberPW = Ticked(AStore, ProfileKey(AName, "RememberPW"));
    profile.Password = profile.RememberPW ? Text(AStore, ProfileKey(AName, "Password")) : QString();
    ReadMarks(AStore, profile);
    return profile;
}

void WriteProfile(QSettings& AStore, const TServerProfile& AProfile) {
    AStore.remove(Group + u'/' + AProfile.Name);
    AStore.setValue(ProfileKey(AProfile.Name, "Version"), AProfile.Version);
    AStore.setValue(ProfileKey(AProfile.Name, "IP"), AProfile.IP);
    AStore.setValue(ProfileKey(AProfile.Name, "Port"), AProfile.Port);
    AStore.setValue(ProfileKey(AProfile.Name, "Path"), AProfile.Path);
    AStore.setValue(ProfileKey(AProfile.Name, "RememberPW"),
                    AProfile.RememberPW ? QStringLiteral("1") : QStringLiteral("0"));
    if (AProfile.RememberPW && !AProfile.Password.isEmpty())
        AStore.setValue(ProfileKey(AProfile.Name, "Password"), AProfile.Password);
    WriteMarks(AStore, AProfile.Name, AProfile);
}

bool SameName(const QString& AOne, const QString& AOther) {
    return AOne.compare(AOther, Qt::CaseInsensitive) == 0;
}

// The connection values a profile and the settings store's section both hold.
template <typename TFrom, typename TTo> void CopyConnection(const TFrom& AFrom, TTo& ATo) {
    ATo.Version = AFrom.Version;
    ATo.IP = AFrom.IP;
    ATo.Port = AFrom.Port;
    ATo.Path = AFrom.Path;
    ATo.RememberPW = AFrom.RememberPW;
    ATo.Password = AFrom.Password;
}

} // namespace

TServerProfiles::TServerProfiles(QString AFileName)
    : FFileName(AFileName.isEmpty() ? TSettingsStore::DefaultFileName() : std::move(AFileName)) {}

QString TServerProfiles::NameProblem(const QString& AName) {
    if (AName.trimmed().isEmpty())
        return QStringLiteral("A profile name cannot be empty.");
    if (AName != AName.trimmed())
        return QStringLiteral("A profile name cannot begin or end with a space.");
    if (AName.size() > 64)
        return QStringLiteral("A profile name has at most 64 characters.");
    // The settings file nests its groups with these.
    for (const QChar c : AName)
        if (c == u'/' || c == u'\\' || c.category() == QChar::Other_Control)
            return QStringLiteral("A profile name cannot hold '/', '\\' or control characters.");
    if (AName == QLatin1String("Current"))
        return QStringLiteral("'Current' cannot name a profile.");
    return {};
}

QString TServerProfiles::KeyringKey(const QString& AName) {
    if (AName == DefaultName)
        return QStringLiteral("API password");
    return QStringLiteral("API password: ") + AName;
}

QString TServerProfiles::CurrentName() const {
    const QSettings store(FFileName, QSettings::IniFormat);
    const QString name = Text(store, CurrentKey);
    return NameProblem(name).isEmpty() ? name : DefaultName;
}

std::vector<TServerProfile> TServerProfiles::List(const TConnectionSettings& ACurrent) const {
    QSettings store(FFileName, QSettings::IniFormat);
    const QString current = CurrentName();
    std::vector<TServerProfile> profiles;
    TServerProfile first;
    first.Name = current;
    CopyConnection(ACurrent, first);
    ReadMarks(store, first);
    profiles.push_back(first);

    store.beginGroup(Group);
    QStringList names = store.childGroups();
    store.endGroup();
    std::sort(names.begin(), names.end(), [](const QString& AOne, const QString& AOther) {
        return AOne.compare(AOther, Qt::CaseInsensitive) < 0;
    });
    for (const QString& name : names)
        if (name != current && NameProblem(name).isEmpty())
            profiles.push_back(ReadProfile(store, name));
    return profiles;
}

std::optional<TServerProfile> TServerProfiles::Find(const QString& AName,
                                                    const TConnectionSettings& ACurrent) const {
    for (TServerProfile& profile : List(ACurrent))
        if (SameName(profile.Name, AName))
            return std::move(profile);
    return std::nullopt;
}

void TServerProfiles::Add(const TServerProfile& AProfile, const TConnectionSettings& ACurrent) {
    if (const QString problem = NameProblem(AProfile.Name); !problem.isEmpty())
        throw ESettingsError(problem.toStdString());
    if (const auto existing = Find(AProfile.Name, ACurrent))
        throw ESettingsError(QStringLiteral("A profile named '%1' exists already.")
                                 .arg(existing->Name)
                                 .toStdString());
    Store(AProfile);
}

void TServerProfiles::Store(const TServerProfile& AProfile) {
    MakePrivateSettingsFile(FFileName);
    {
        QSettings store(FFileName, QSettings::IniFormat);
        if (AProfile.Name == CurrentName()) {
            WriteMarks(store, AProfile.Name, AProfile);
        } else {
            WriteProfile(store, AProfile);
        }
        Check(store, Group + u'/' + AProfile.Name);
    }
    QFile::setPermissions(FFileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void TServerProfiles::Remove(const QString& AName, const TConnectionSettings& ACurrent) {
    const auto profile = Find(AName, ACurrent);
    if (!profile)
        throw ESettingsError(QStringLiteral("No profile is named '%1'.").arg(AName).toStdString());
    if (profile->Name == CurrentName())
        throw ESettingsError(QStringLiteral("'%1' is the current profile; choose another one "
                                            "before removing it.")
                                 .arg(profile->Name)
                                 .toStdString());
    QSettings store(FFileName, QSettings::IniFormat);
    store.remove(Group + u'/' + profile->Name);
    Check(store, Group + u'/' + profile->Name);
}

void TServerProfiles::Switch(const TServerProfile& AOutgoing, const TServerProfile& AProfile,
                             TConnectionSettings& ASettings) {
    MakePrivateSettingsFile(FFileName);
    {
        QSettings store(FFileName, QSettings::IniFormat);
        WriteProfile(store, AOutgoing);
        // The incoming profile's values move into the settings store's section; only its mark
        // stays in its group.
        store.remove(Group + u'/' + AProfile.Name);
        WriteMarks(store, AProfile.Name, AProfile);
        store.setValue(CurrentKey, AProfile.Name);
        Check(store, CurrentKey);
    }
    CopyConnection(AProfile, ASettings);
}

void TServerProfiles::RenameCurrent(const QString& ANewName, const TConnectionSettings& ACurrent) {
    if (const QString problem = NameProblem(ANewName); !problem.isEmpty())
        throw ESettingsError(problem.toStdString());
    const QString current = CurrentName();
    if (const auto existing = Find(ANewName, ACurrent); existing && existing->Name != current)
        throw ESettingsError(QStringLiteral("A profile named '%1' exists already.")
                                 .arg(existing->Name)
                                 .toStdString());
    MakePrivateSettingsFile(FFileName);
    QSettings store(FFileName, QSettings::IniFormat);
    TServerProfile marks;
    marks.Name = current;
    ReadMarks(store, marks);
    store.remove(Group + u'/' + current);
    WriteMarks(store, ANewName, marks);
    store.setValue(CurrentKey, ANewName);
    Check(store, CurrentKey);
}
