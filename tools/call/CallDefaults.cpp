#include "CallDefaults.h"

#include "CallArguments.h"
#include "ErrorOutput.h"
#include "PasswordKeeper.h"

const TConnectionSettings& TCallDefaults::Get() {
    if (!FLoaded) {
        try {
            TSettingsStore().Load(FSettings, TSettingsStore::TMissingFile::ReadAsEmpty);
        } catch (const ESettingsFileRefused& error) {
            FRefused = true;
            throw ECallUsage(error.what()); // names the file and what it is
        } catch (const ESettingsError& error) {
            throw ECallUsage("Cannot read the window's settings (" +
                             TSettingsStore::DefaultFileName().toStdString() +
                             "): " + error.what());
        }
        ApplyProfile();
        FLoaded = true;
    }
    return FSettings;
}

void TCallDefaults::ApplyProfile() {
    TServerProfiles profiles;
    if (!FProfileName) {
        FProfile = profiles.List(FSettings).front();
        return;
    }
    FProfile = profiles.Find(QString::fromStdString(*FProfileName), FSettings);
    if (!FProfile) {
        std::vector<std::string> names;
        for (const TServerProfile& profile : profiles.List(FSettings))
            names.push_back(profile.Name.toStdString());
        throw ECallUsage(UnknownNameMessage("profile", *FProfileName, "", names) +
                         " --profiles lists them.");
    }
    FSettings.Version = FProfile->Version;
    FSettings.IP = FProfile->IP;
    FSettings.Port = FProfile->Port;
    FSettings.Path = FProfile->Path;
    FSettings.RememberPW = FProfile->RememberPW;
    FSettings.Password = FProfile->Password;
}

std::optional<TServerProfile> TCallDefaults::CallProfile(bool AServerGiven) {
    if (AServerGiven && !FProfileName)
        return std::nullopt;
    Get();
    return FProfile;
}

QString TCallDefaults::Password() {
    const TConnectionSettings& settings = Get();
    return RememberedPassword(settings, FProfile ? FProfile->Name : TServerProfiles::DefaultName);
}

bool TCallDefaults::KeepHistory() {
    try {
        return Get().KeepHistory;
    } catch (const ECallUsage& error) {
        // Nothing of a refused file was read, not even this: the default holds, and is said.
        if (FRefused)
            WriteError(std::string(error.what()) + " The call is kept in the history.");
        return FSettings.KeepHistory;
    }
}

QString RememberedPassword(const TConnectionSettings& ASettings, const QString& AProfile) {
    // The password the window remembers, found as the window finds it.
    return TPasswordKeeper(
               TSettingsStore::DefaultFileName(),
               std::make_unique<TPasswordKeyring>(TServerProfiles::KeyringKey(AProfile)))
        .Read(ASettings.RememberPW, ASettings.Password);
}
