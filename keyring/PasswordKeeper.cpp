#include "PasswordKeeper.h"

#include <QDir>

#include <utility>

using TState = TPasswordKeyring::TState;

TPasswordKeeper::TPasswordKeeper(QString ASettingsFile, std::unique_ptr<TPasswordKeyring> AKeyring)
    : FSettingsFile(std::move(ASettingsFile)), FKeyring(std::move(AKeyring)) {}

QString TPasswordKeeper::Read(bool ARememberPW, const QString& AFilePassword) {
    FKeyringMayHold = ARememberPW;
    FInFile = ARememberPW && !AFilePassword.isEmpty();
    // A password still in the file moves to the keyring at the next Keep.
    QString password = AFilePassword;
    if (auto answer = FKeyring->ReadRemembered(ARememberPW, password))
        FAnswer = std::move(answer);
    return password;
}

bool TPasswordKeeper::Keep(bool ARememberPW, const QString& APassword) {
    if (ARememberPW) {
        FAnswer = FKeyring->Write(APassword);
        const bool inKeyring = FAnswer->State == TState::Available;
        FInFile = !inKeyring;
        FKeyringMayHold = true;
        return inKeyring;
    }
    if (FKeyringMayHold) {
        // Unticked: the keyring forgets the password; the file never keeps it.
        FAnswer = FKeyring->Remove();
        FKeyringMayHold = FAnswer->State != TState::Available;
        FInFile = false;
    }
    return false;
}

QString TPasswordKeeper::Tip() const {
    const QString file = QDir::toNativeSeparators(FSettingsFile);
    if (!FAnswer)
        return QStringLiteral("When ticked, the password is kept in the desktop's keyring, or in "
                              "the settings file %1 (readable by you only) where no keyring "
                              "service answers.")
            .arg(file);
    if (FAnswer->State == TState::Available && FInFile)
        return QStringLiteral("The password is kept in the settings file %1, readable by you "
                              "only, until the desktop's keyring takes it when the window closes.")
            .arg(file);
    if (FAnswer->State == TState::Available)
        return QStringLiteral("The password is kept in the desktop's keyring, not in the settings "
                              "file.");
    if (FAnswer->State == TState::Unavailable)
        return QStringLiteral("No keyring service answers, so the password is kept in the "
                              "settings file %1, readable by you only.")
            .arg(file);
    return QStringLiteral("The keyring refused access (%1), so the password is kept in the "
                          "settings file %2, readable by you only.")
        .arg(FAnswer->Error, file);
}

void TPasswordKeeper::UseKey(const QString& AKey) {
    FKeyring->SetKey(AKey);
    FAnswer.reset();
    FKeyringMayHold = false;
    FInFile = false;
}
