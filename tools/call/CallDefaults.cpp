#include "CallDefaults.h"

#include "CallArguments.h"
#include "PasswordKeeper.h"

const TConnectionSettings& TCallDefaults::Get() {
    if (!FLoaded) {
        try {
            TSettingsStore().Load(FSettings, TSettingsStore::TMissingFile::ReadAsEmpty);
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
    } catch (const ECallUsage&) {
        return FSettings.KeepHistory;
    }
}

QString RememberedPassword(const TConnectionSettings& ASettings) {
    // The password the window remembers, found as the window finds it.
    return TPasswordKeeper(TSettingsStore::DefaultFileName())
        .Read(ASettings.RememberPW, ASettings.Password);
}
