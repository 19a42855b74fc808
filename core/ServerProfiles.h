#pragma once

#include "SettingsStore.h"

#include <QString>

#include <optional>
#include <vector>

// One server the user calls: its connection values, the remembered password and whether it is a
// production server, on which anything but a read asks before it is sent.
struct TServerProfile {
    QString Name;
    QString Version;
    QString IP;
    QString Port;
    QString Path;
    bool RememberPW = false;
    // The password as the settings file keeps it (where no keyring takes it).
    QString Password;
    bool Production = false;
    // Whether a change is preceded by the read that keeps what it alters (a before copy); unset
    // means the default, on production profiles only (see TakesBeforeCopy).
    std::optional<bool> BeforeCopies;
};

// The server profiles in the settings file. The current profile's connection values are the
// settings store's own ([VLCallbench]: Version, IP, Port, Path, RememberPW, Password), so a file
// written before there were profiles opens as the one profile "Default". The group [Profiles]
// names the current profile ("Current") and holds every other profile's values under its name,
// and each profile's production mark and before copy choice:
//
//   [Profiles]
//   Current=live
//   live\Production=1
//   live\BeforeCopies=0
//   test\IP=http://10.0.0.5
//
// Every method reads the file afresh; writes throw ESettingsError naming what failed.
class TServerProfiles {
public:
    // AFileName empty: the settings store's default file.
    explicit TServerProfiles(QString AFileName = {});

    static const QString DefaultName; // "Default"

    // Why AName cannot name a profile ("A profile name cannot be empty.", ...), or empty.
    static QString NameProblem(const QString& AName);
    // Where the keyring keeps a profile's password: the default profile keeps the entry it had
    // before there were profiles.
    static QString KeyringKey(const QString& AName);

    QString CurrentName() const;
    // Every profile, the current one first with its values from ACurrent (the settings as
    // loaded), the others in the order of their names.
    std::vector<TServerProfile> List(const TConnectionSettings& ACurrent) const;
    // The profile named AName (in any case), or none.
    std::optional<TServerProfile> Find(const QString& AName,
                                       const TConnectionSettings& ACurrent) const;

    // Adds a profile that is not the current one; throws when the name is taken or not allowed.
    void Add(const TServerProfile& AProfile, const TConnectionSettings& ACurrent);
    // Writes a profile that is not the current one (its group replaced), or only the production
    // mark and the before copy choice of the current one (its values are the settings store's).
    void Store(const TServerProfile& AProfile);
    // Removes a profile other than the current one; throws for the current one or an unknown
    // name.
    void Remove(const QString& AName, const TConnectionSettings& ACurrent);
    // Makes AProfile current: AOutgoing (the current profile with the values as they are now) is
    // kept in its group, AProfile's group loses its connection values and AProfile's values are
    // returned in ASettings for the settings store to save.
    void Switch(const TServerProfile& AOutgoing, const TServerProfile& AProfile,
                TConnectionSettings& ASettings);
    // Renames the current profile.
    void RenameCurrent(const QString& ANewName, const TConnectionSettings& ACurrent);

private:
    QString FFileName;
};
