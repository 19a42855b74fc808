#pragma once

#include "PasswordKeyring.h"

#include <QString>

#include <memory>
#include <optional>

// Where the remembered API password lives and what the user is told of it: the desktop's keyring
// where one answers, else the settings file (readable by its owner only). The settings file
// itself is read and written by its user; this class says which password it should hold. Every
// call is synchronous (see TPasswordKeyring); it needs a QCoreApplication.
class TPasswordKeeper {
public:
    // ASettingsFile: the settings file, named in the tip as the password's place without a
    // keyring. AKeyring: where the keyring is asked.
    explicit TPasswordKeeper(QString ASettingsFile, std::unique_ptr<TPasswordKeyring> AKeyring =
                                                        std::make_unique<TPasswordKeyring>());

    // The remembered password, from the ticked box (ARememberPW) and the settings file's password
    // (AFilePassword): the file's when it has one (newer than the keyring's, or not yet moved
    // there), else the keyring's. Unticked, the keyring is not asked and the file's is returned.
    QString Read(bool ARememberPW, const QString& AFilePassword);

    // Keeps APassword while ARememberPW, else forgets what the keyring holds. True when the
    // keyring now holds the password, so that the settings file must not.
    bool Keep(bool ARememberPW, const QString& APassword);

    // The keyring entry of another server profile from now on; what was said of the last one's
    // is forgotten.
    void UseKey(const QString& AKey);

    // Where the password is kept, as the tip of the "Remember API Password" box says it.
    QString Tip() const;

private:
    QString FSettingsFile;
    std::unique_ptr<TPasswordKeyring> FKeyring;
    // What the keyring last said; unknown until the password was first read or kept.
    std::optional<TPasswordKeyring::TResult> FAnswer;
    // The keyring may hold the password: the box was ticked at start or at a save.
    bool FKeyringMayHold = false;
    // The remembered password is in the settings file (not yet moved, or no keyring took it).
    bool FInFile = false;
};
