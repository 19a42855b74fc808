#pragma once

#include <QString>

// The API password in the desktop's keyring (the Secret Service of GNOME Keyring or KWallet),
// under the service "vlcallbench" as one entry. Each call waits for the keyring's answer, a
// bounded time.
class TPasswordKeyring {
public:
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

    TResult Read() const;
    TResult Write(const QString& APassword) const;
    // Deleting an entry that does not exist succeeds.
    TResult Remove() const;

    static const QString Service;
    static const QString Key;
    static constexpr int WaitMs = 10000;
};
