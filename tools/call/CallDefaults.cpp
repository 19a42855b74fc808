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
        FLoaded = true;
    }
    return FSettings;
}

QString TCallDefaults::Password() {
    return RememberedPassword(Get());
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

QString RememberedPassword(const TConnectionSettings& ASettings) {
    // The password the window remembers, found as the window finds it.
    return TPasswordKeeper(TSettingsStore::DefaultFileName())
        .Read(ASettings.RememberPW, ASettings.Password);
}
