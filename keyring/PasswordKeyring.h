#pragma once

#include <QString>

#include <optional>
#include <utility>

// The API password in the desktop's keyring (the Secret Service of GNOME Keyring or KWallet),
// under the service "vlcallbench" as one entry. Each call waits for the keyring's answer, a
// bounded time; it needs a QCoreApplication. Read, Write and Remove are virtual so that a test can
// stand in for the desktop's keyring.
class TPasswordKeyring {
public:
    TPasswordKeyring() = default;
    // AKey: the entry under the service, one per server profile (see TServerProfiles::KeyringKey).
    explicit TPasswordKeyring(QString AKey) : FKey(std::move(AKey)) {}
    void SetKey(QString AKey) { FKey = std::move(AKey); }
    TPasswordKeyring(const TPasswordKeyring&) = default;
    TPasswordKeyring& operator=(const TPasswordKeyring&) = default;
    virtual ~TPasswordKeyring() = default;

    enum class TState {
        Available,   // the keyring answered
        Unavailable, // no keyring service answers
        Refused,     // a keyring answered but refused, or is locked
    };
    struct TResult {
        TState State = TState::Unavailable;
        bool Found = false; // Read: an entry exists
        QString Password;
        QString Error; // the keyring's own words when it did not answer as asked
    };

    virtual TResult Read() const;
    virtual TResult Write(const QString& APassword) const;
    // Deleting an entry that does not exist succeeds.
    virtual TResult Remove() const;

    // The remembered password as the window keeps it: with ARememberPW, a password found in the
    // settings file (AFilePassword) is newer than the keyring's (kept there while no keyring
    // answered) or not yet moved, so the keyring's fills APassword only when the file has none.
    // Without ARememberPW the keyring is not asked and nothing is returned.
    std::optional<TResult> ReadRemembered(bool ARememberPW, QString& APassword) const;

    static const QString Service;
    static const QString Key;
    static constexpr int WaitMs = 10000;

private:
    QString FKey = Key;
};
