#pragma once

#include "ServerProfiles.h"
#include "SettingsStore.h"

#include <QString>

#include <optional>
#include <string>

// The window's settings as the call tool's defaults. The settings file is read only when one of
// its values is needed, and then once.
class TCallDefaults {
public:
    // Throws ECallUsage naming the file when it cannot be read.
    const TConnectionSettings& Get();
    // The remembered password (see RememberedPassword).
    QString Password();
    // "Keep call history"; a settings file that cannot be read in full still says it when it
    // can, and a history kept by mistake is better than a call refused for it. A file refused
    // whole (see ESettingsFileRefused) is named on standard error.
    bool KeepHistory();

    // --profile: Get gives that profile's connection values and Password its remembered
    // password; without it, the current profile's (those the settings file holds anyway).
    void UseProfile(std::optional<std::string> AName) { FProfileName = std::move(AName); }
    // The profile a call goes to: the named one, else the current one unless AServerGiven (the
    // call goes elsewhere). Throws ECallUsage as Get does.
    std::optional<TServerProfile> CallProfile(bool AServerGiven);

private:
    std::optional<std::string> FProfileName;
    std::optional<TServerProfile> FProfile;
    // Finds the profile of the call and puts its values into FSettings.
    void ApplyProfile();
    TConnectionSettings FSettings;
    bool FLoaded = false;
    bool FRefused = false;
};

// The remembered password as the window's start-up reads it: from the keyring when the window
// keeps it there, else from the settings file.
QString RememberedPassword(const TConnectionSettings& ASettings,
                           const QString& AProfile = TServerProfiles::DefaultName);
