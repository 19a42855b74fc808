#pragma once

#include <QString>

#include <stdexcept>

// A failure of the settings store, carrying the message shown to the user.
class ESettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The six connection values kept between runs.
struct TConnectionSettings {
    QString Version;
    QString IP;
    QString Port;
    QString Path;
    bool RememberPW = false;
    QString Password;
};

// The per-user store: an INI file named after the key ("Tessarine.conf") in the user's
// configuration folder, with the values in the section [VLCallbench]. The file may hold the API
// password in plain text, so it is created readable and writable by its owner only.
class TSettingsStore {
public:
    // AFileName empty: the file in the user's configuration folder.
    explicit TSettingsStore(QString AFileName = {});

    const QString& FileName() const { return FileName_; }

    // Reads the values in order into ASettings, an absent value giving its default. Throws
    // ESettingsError "Invalid data type for '<name>'" at a value that is not plain text; the
    // values before it are set in ASettings, the later ones are left as they were.
    void Load(TConnectionSettings& ASettings) const;

    // Writes all six values; the password only when RememberPW is set, else an empty text.
    // Throws ESettingsError "Failed to create key VLCallbench" when the file cannot be created
    // and "Failed to set data for '<name>'" when the values cannot be written.
    void Save(const TConnectionSettings& ASettings) const;

    static QString DefaultFileName();

private:
    QString FileName_;
};
