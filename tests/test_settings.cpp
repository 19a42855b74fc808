#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    QTemporaryDir FFolder;
    QString FileName() const { return FFolder.filePath(QStringLiteral("Tessarine.conf")); }
    TSettingsStore FStore{FileName()};

    void WriteFile(const QByteArray& AContents) const {
        QFile file(FileName());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(AContents);
    }
    TConnectionSettings Loaded() {
        TConnectionSettings settings;
        FStore.Load(settings);
        return settings;
    }
};

TEST_F(SettingsTest, FirstRunGivesTheDefaultsAndSavingWritesEveryValue) {
    TConnectionSettings settings = Loaded();
    EXPECT_EQ(settings.Version, QString());
    EXPECT_EQ(settings.IP, QStringLiteral("http://127.0.0.1"));
    EXPECT_EQ(settings.Port, QStringLiteral("8087"));
    EXPECT_EQ(settings.Path, QStringLiteral("api"));
    EXPECT_FALSE(settings.RememberPW);
    EXPECT_EQ(settings.Password, QString());
    EXPECT_TRUE(settings.KeepHistory);
    EXPECT_EQ(settings.ResultsView, QStringLiteral("Raw"));
    EXPECT_EQ(settings.ResultFormat, QStringLiteral("JSON"));
    EXPECT_EQ(settings.WindowSize + settings.SplitterShare + settings.LastCommand, QString());

    FStore.Save(settings);
    QSettings file(FileName(), QSettings::IniFormat);
    file.beginGroup(QStringLiteral("VLCallbench"));
    EXPECT_EQ(file.childKeys().size(), 12);
    EXPECT_EQ(file.value(QStringLiteral("KeepHistory")).toString(), QStringLiteral("1"));
    EXPECT_EQ(file.value(QStringLiteral("ResultsView")).toString(), QStringLiteral("Raw"));
    EXPECT_EQ(file.value(QStringLiteral("RememberPW")).toString(), QStringLiteral("0"));
    EXPECT_TRUE(file.contains(QStringLiteral("Password")));
    EXPECT_EQ(file.value(QStringLiteral("Password")).toString(), QString());
    EXPECT_EQ(file.value(QStringLiteral("IP")).toString(), QStringLiteral("http://127.0.0.1"));
}

TEST_F(SettingsTest, PasswordIsKeptOnlyWhileRemembered) {
    TConnectionSettings settings = Loaded();
    settings.RememberPW = true;
    settings.Password = QStringLiteral(" secret, with=signs ");
    settings.Version = QStringLiteral(" 7.09 ");
    FStore.Save(settings);
    TConnectionSettings again = Loaded();
    EXPECT_TRUE(again.RememberPW);
    EXPECT_EQ(again.Password, QStringLiteral(" secret, with=signs "));
    EXPECT_EQ(again.Version, QStringLiteral(" 7.09 ")); // stored as typed

    again.RememberPW = false;
    FStore.Save(again);
    const TConnectionSettings forgotten = Loaded();
    EXPECT_FALSE(forgotten.RememberPW);
    EXPECT_EQ(forgotten.Password, QString());
}

TEST_F(SettingsTest, KeepHistoryIsOnUnlessTurnedOff) {
    TConnectionSettings settings = Loaded();
    settings.KeepHistory = false;
    FStore.Save(settings);
    EXPECT_FALSE(Loaded().KeepHistory);
    settings.KeepHistory = true;
    FStore.Save(settings);
    EXPECT_TRUE(Loaded().KeepHistory);
    // Files of different sizes: the settings reader may take a file of the same size and time
    // for the one it read before.
    const std::pair<const char*, bool> stored[] = {{"[VLCallbench]\nKeepHistory=0\n", false},
                                                   {"[VLCallbench]\nKeepHistory=$0\n", false},
                                                   {"[VLCallbench]\nKeepHistory=never\n", true},
                                                   {"[VLCallbench]\nIP=x\n", true}};
    for (const auto& [file, keep] : stored) {
        WriteFile(file);
        EXPECT_EQ(Loaded().KeepHistory, keep) << file;
    }
}

TEST_F(SettingsTest, StoredTextsAreReadByTheirRules) {
    struct Case {
        const char* File;
        const char* IP;
        bool Remember;
    };
    const Case cases[] = {
        {"[VLCallbench]\nIP=\n", "", false}, // an empty stored address is not the default
        {"[VLCallbench]\nRememberPW=yes\n", "http://127.0.0.1", false},
        {"[VLCallbench]\nRememberPW=2\n", "http://127.0.0.1", true},
        {"[VLCallbench]\nRememberPW=-1\n", "http://127.0.0.1", true},
        {"[VLCallbench]\nRememberPW=0\n", "http://127.0.0.1", false},
        {"[VLCallbench]\nRememberPW=\n", "http://127.0.0.1", false},
        {"[Other]\nIP=x\n", "http://127.0.0.1", false}, // no section: defaults
    };
    for (const Case& c : cases) {
        WriteFile(c.File);
        const TConnectionSettings settings = Loaded();
        EXPECT_EQ(settings.IP, QString::fromUtf8(c.IP)) << c.File;
        EXPECT_EQ(settings.RememberPW, c.Remember) << c.File;
    }
}

TEST_F(SettingsTest, RememberedTwoIsRewrittenAsOne) {
    WriteFile("[VLCallbench]\nRememberPW=2\n");
    FStore.Save(Loaded());
    QSettings file(FileName(), QSettings::IniFormat);
    EXPECT_EQ(file.value(QStringLiteral("VLCallbench/RememberPW")).toString(), QStringLiteral("1"));
}

TEST_F(SettingsTest, ValueThatIsNotTextIsReportedAndLeftAsStored) {
    // A list and a typed number are what other tools may leave in the file.
    WriteFile("[VLCallbench]\nVersion=7.00\nIP=10.0.0.5\nPort=80, 81\nPath=x\n"
              "RememberPW=1\nPassword=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\a)\n");
    TConnectionSettings settings;
    try {
        FStore.Load(settings);
        FAIL() << "no error";
    } catch (const ESettingsError& error) {
        EXPECT_STREQ(error.what(),
                     "Invalid data type for 'Port'\nInvalid data type for 'Password'");
    }
    EXPECT_EQ(settings.Version, QStringLiteral("7.00"));
    EXPECT_EQ(settings.IP, QStringLiteral("10.0.0.5"));
    EXPECT_EQ(settings.Port, QString()); // the unreadable ones start empty, the others as read
    EXPECT_EQ(settings.Path, QStringLiteral("x"));
    EXPECT_TRUE(settings.RememberPW);
    EXPECT_EQ(settings.Password, QString());

    // Saved untouched, the unreadable values stay as stored; a changed field is written.
    settings.Version = QStringLiteral("7.01");
    settings.Password = QStringLiteral("new");
    EXPECT_EQ(FStore.Save(settings), QString());
    const QSettings file(FileName(), QSettings::IniFormat);
    EXPECT_EQ(file.value(QStringLiteral("VLCallbench/Port")).toStringList(),
              QStringList({QStringLiteral("80"), QStringLiteral("81")}));
    EXPECT_EQ(file.value(QStringLiteral("VLCallbench/Password")).toString(), QStringLiteral("new"));
    EXPECT_EQ(file.value(QStringLiteral("VLCallbench/Version")).toString(), QStringLiteral("7.01"));
    EXPECT_EQ(file.value(QStringLiteral("VLCallbench/Path")).toString(), QStringLiteral("x"));
}

TEST_F(SettingsTest, FirstStartCreatesTheStore) {
    Loaded();
    QFile file(FileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("[VLCallbench]\n"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(FileName()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(SettingsTest, LinesThatCannotBeReadAreKeptInACopyAndTheRestIsSaved) {
    const QByteArray cases[] = {
        "[Other]\nKept=yes\n[VLCallbench]\n# comment\nIP=10.0.0.5\n",
        "[Other]\nKept=yes\n[VLCallbench]\nIP=10.0.0.5\nstray\n",
        QByteArrayLiteral("[Other]\nKept=yes\n[VLCallbench]\nIP=10.0.0.5\n\x01\xff\0\x7f\n"),
    };
    for (const QByteArray& contents : cases) {
        QFile::remove(FStore.BackupFileName());
        WriteFile(contents);
        TConnectionSettings settings = Loaded();
        EXPECT_EQ(settings.IP, QStringLiteral("10.0.0.5")) << contents.toStdString();
        settings.Port = QStringLiteral("81");
        EXPECT_NE(FStore.Save(settings).indexOf(QStringLiteral("Tessarine.conf.bak")), -1);
        EXPECT_EQ(FStore.Save(Loaded()), QString()); // said once: the file is clean now

        QFile backup(FStore.BackupFileName());
        ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
        EXPECT_EQ(backup.readAll(), contents);
        EXPECT_EQ(backup.permissions() & 0x0077, 0);
        const TConnectionSettings again = Loaded();
        EXPECT_EQ(again.IP, QStringLiteral("10.0.0.5"));
        EXPECT_EQ(again.Port, QStringLiteral("81"));
        const QSettings file(FileName(), QSettings::IniFormat);
        EXPECT_EQ(file.value(QStringLiteral("Other/Kept")).toString(), QStringLiteral("yes"));
    }
}

TEST_F(SettingsTest, FileIsPrivateToItsOwner) {
    TConnectionSettings settings = Loaded();
    settings.RememberPW = true;
    settings.Password = QStringLiteral("secret");
    FStore.Save(settings);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(FileName()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(SettingsTest, WriteFailuresAreReported) {
    // A plain file where the folder should be: the file cannot be created, even by the
    // superuser. A folder where the file should be: the values cannot be written.
    QFile blocker(FFolder.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TSettingsStore noFolder(FFolder.filePath(QStringLiteral("blocker/Tessarine.conf")));
    try {
        noFolder.Save(Loaded());
        FAIL() << "no error";
    } catch (const ESettingsError& error) {
        EXPECT_STREQ(error.what(), "Failed to create key VLCallbench");
    }
    ASSERT_TRUE(QDir(FFolder.path()).mkdir(QStringLiteral("taken.conf")));
    TSettingsStore noFile(FFolder.filePath(QStringLiteral("taken.conf")));
    try {
        noFile.Save(Loaded());
        FAIL() << "no error";
    } catch (const ESettingsError& error) {
        EXPECT_STREQ(error.what(), "Failed to set data for 'Version'");
    }
}

TEST_F(SettingsTest, WriteFailureNamesTheValueItHappenedAt) {
    // The file may grow only so far: the short values fit, the long path does not. Past the
    // limit a write fails with EFBIG (the signal that would end the process is ignored here).
    TConnectionSettings settings = Loaded();
    settings.Version = QStringLiteral("7.2");
    FStore.Save(settings);
    settings.Version = QStringLiteral("7.3");
    settings.Path = QString(64 * 1024, u'p');
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit oldLimit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
    rlimit limit = oldLimit;
    limit.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    QString message = QStringLiteral("no error");
    try {
        FStore.Save(settings);
    } catch (const ESettingsError& error) {
        message = QString::fromStdString(error.what());
    }
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(message, QStringLiteral("Failed to set data for 'Path'"));
    // The writer replaced the file with the part it could write and called that a success: the
    // file is put back as it was before the save, and nothing is lost.
    const TConnectionSettings stored = Loaded();
    EXPECT_EQ(stored.Version, QStringLiteral("7.2"));
    EXPECT_EQ(stored.Path, QStringLiteral("api"));
    EXPECT_EQ(stored.Port, QStringLiteral("8087"));
    EXPECT_EQ(stored.ResultsView, QStringLiteral("Raw"));
    EXPECT_EQ(QDir(FFolder.path()).entryList(QDir::Files), QStringList{"Tessarine.conf"})
        << "no working copies are left behind";
}

// A pipe, folder or device where the settings file should be is not read: a pipe nobody writes
// would hold the reader for ever. Nor is a file larger than any settings file. Saving leaves a
// pipe, a device or such a file as it is; a folder fails as before, at its first value.
TEST_F(SettingsTest, WhatIsNoSettingsFileIsNeitherReadNorWritten) {
    const QString pipe = FFolder.filePath(QStringLiteral("pipe.conf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    // Should the pipe be opened after all, a writer that comes and goes ends the read.
    std::promise<void> done;
    const auto release = std::async(std::launch::async, [&pipe, finished = done.get_future()] {
        if (finished.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
            const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
    });
    const QString folder = FFolder.filePath(QStringLiteral("folder.conf"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString device = FFolder.filePath(QStringLiteral("device.conf"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), device));
    const QString large = FFolder.filePath(QStringLiteral("large.conf"));
    {
        QFile file(large);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[VLCallbench]\nIP=10.0.0.5\n");
        ASSERT_TRUE(file.resize(TSettingsStore::MaxFileSize + 1));
    }
    const struct {
        QString File, What;
        bool SaveRefused;
    } cases[] = {
        {pipe, QStringLiteral("is a pipe, not a file"), true},
        {device, QStringLiteral("is a device, not a file"), true},
        {large, QStringLiteral("is larger than 1 MiB"), true},
        {folder, QStringLiteral("is a folder, not a file"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File.toStdString());
        TSettingsStore store(c.File);
        TConnectionSettings settings;
        settings.IP = QStringLiteral("as before");
        const auto message = [&](const char* AConsequence) {
            return QStringLiteral("The settings file %1 %2; %3.")
                .arg(c.File, c.What, QLatin1String(AConsequence))
                .toStdString();
        };
        for (const auto missing :
             {TSettingsStore::TMissingFile::Create, TSettingsStore::TMissingFile::ReadAsEmpty}) {
            try {
                store.Load(settings, missing);
                ADD_FAILURE() << "read";
            } catch (const ESettingsFileRefused& error) {
                EXPECT_EQ(error.what(), message("it was not read"));
            }
            EXPECT_EQ(settings.IP, QStringLiteral("as before"));
        }
        if (!c.SaveRefused)
            continue;
        const QFileInfo before(c.File);
        try {
            store.Save(settings);
            ADD_FAILURE() << "saved";
        } catch (const ESettingsFileRefused& error) {
            EXPECT_EQ(error.what(), message("the settings were not saved"));
        }
        EXPECT_EQ(QFileInfo(c.File).size(), before.size());
        EXPECT_EQ(QFileInfo(c.File).symLinkTarget(), before.symLinkTarget());
    }
    EXPECT_FALSE(QFileInfo::exists(FFolder.filePath(QStringLiteral("pipe.conf.bak"))));
    done.set_value();

    // A link to a settings file is the file.
    WriteFile("[VLCallbench]\nIP=10.0.0.5\n");
    const QString link = FFolder.filePath(QStringLiteral("link.conf"));
    ASSERT_TRUE(QFile::link(FileName(), link));
    TConnectionSettings settings;
    TSettingsStore(link).Load(settings);
    EXPECT_EQ(settings.IP, QStringLiteral("10.0.0.5"));
}

} // namespace
