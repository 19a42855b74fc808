#pragma once

#include <QString>
#include <QStringList>

#include <stdexcept>

// A failure of the settings store, carrying the message shown to the user.
class ESettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The settings file is there but is not read or written: it is no regular file (a pipe nobody
// writes would hold the reader for ever) or larger than any settings file.
class ESettingsFileRefused : public ESettingsError {
public:
    using ESettingsError::ESettingsError;
};

// Creates the settings file, readable and writable by its owner only, when there is none yet, for
// the parts kept in it beside the store's own values; throws ESettingsError "Failed to create key
// VLCallbench" when it cannot.
void MakePrivateSettingsFile(const QString& AFileName);

// The connection values kept between runs.
struct TConnectionSettings {
    QString Version;
    QString IP;
    QString Port;
    QString Path;
    bool RememberPW = false;
    QString Password;
    // The password is kept in the keyring: Save removes the value from the file.
    bool PasswordInKeyring = false;
    bool KeepHistory = true; // record each call in the call history
    QString ResultsView;     // "Raw" or "Pretty"
    // How the window was left, kept beside the connection values; the window reads them
    // leniently, as a text that is not what it wrote gives its default.
    QString WindowSize;    // "784x562"
    QString SplitterShare; // the command tree's share of the width, in thousandths
    QString LastCommand;   // the command focused last
    QString ResultFormat;  // "JSON" or "Legacy"
};

// The per-user store: an INI file named after the key ("Tessarine.conf") in the user's
// configuration folder, with the values in the section [VLCallbench]. The file may hold the API
// password in plain text, so it is created readable and writable by its owner only.
//
// A new value needs a field above, one line in Load and one entry in Save's table; the reading,
// the handling of unreadable values and the writing are shared.
class TSettingsStore {
public:
    // AFileName empty: the file in the user's configuration folder.
    explicit TSettingsStore(QString AFileName = {});

    const QString& FileName() const { return FFileName; }
    // Where Save keeps the file as it was when it had lines it could not read.
    QString BackupFileName() const { return FFileName + QStringLiteral(".bak"); }

    // What Load does when there is no file yet: the window creates it with its section, a tool
    // that only reads the settings reads it as empty and leaves nothing behind.
    enum class TMissingFile { Create, ReadAsEmpty };

    // Creates the file with its section when there is none yet (unless AMissing says otherwise),
    // then reads every value on its own into ASettings: an absent value gives its default, a value
    // that is not plain text leaves its field empty (or unticked) and is remembered, so that Save
    // leaves it as stored unless its field was changed. After reading all, throws ESettingsError
    // "Invalid data type for '<name>'" (one line per such value) when any could not be read.
    // Throws ESettingsFileRefused, reading nothing, when the file is not a regular file or is
    // larger than MaxFileSize.
    void Load(TConnectionSettings& ASettings, TMissingFile AMissing = TMissingFile::Create);

    // Writes the values in order; the password only when RememberPW is set, else an empty text.
    // A file with lines that cannot be read is first copied to BackupFileName() and rewritten
    // with what could be read; the result is then a notice saying so, otherwise empty.
    // Throws ESettingsError "Failed to create key VLCallbench" when the file cannot be created
    // and "Failed to set data for '<name>'" naming the first value that could not be written;
    // ESettingsFileRefused, writing nothing, for a pipe, socket or device, or a file larger than
    // MaxFileSize.
    QString Save(const TConnectionSettings& ASettings);

    static QString DefaultFileName();

    // A few values and the trusted certificates' pins take a few KiB.
    static constexpr qint64 MaxFileSize = qint64(1) << 20;

private:
    // The value names Load could not read, with the text it gave their fields.
    struct TUnread {
        QString Name;
        QString Shown;
    };
    bool IsUnread(const QString& AName, const QString& AText) const;
    QString Repair() const;

    QString FFileName;
    std::vector<TUnread> FUnread;
};
