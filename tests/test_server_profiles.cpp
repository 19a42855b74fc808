// Server profiles in a settings file made by the test: a file from before there were profiles is
// the one profile "Default", other profiles live in their own group, switching keeps both.

#include "ServerProfiles.h"
#include "SettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace {

const QByteArray TodaysFile = "[VLCallbench]\nVersion=6.50\nIP=https://test.example\nPort=8443\n"
                              "Path=api2\nRememberPW=1\nPassword=pw1\nKeepHistory=1\n"
                              "ResultsView=Pretty\n";

class ServerProfilesTest : public ::testing::Test {
protected:
    QTemporaryDir FFolder;
    QString FileName() const { return FFolder.filePath(QStringLiteral("Tessarine.conf")); }
    TSettingsStore FStore{FileName()};
    TServerProfiles FProfiles{FileName()};

    void WriteFile(const QByteArray& AContents) const {
        QFile file(FileName());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(AContents);
    }
    QByteArray Contents() const {
        QFile file(FileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    TConnectionSettings Loaded() {
        TConnectionSettings settings;
        FStore.Load(settings);
        return settings;
    }
    // The connection section's values, key by key.
    static std::map<QString, QVariant> Section(const QString& AFileName) {
        QSettings store(AFileName, QSettings::IniFormat);
        store.beginGroup(QStringLiteral("VLCallbench"));
        std::map<QString, QVariant> values;
        for (const QString& key : store.childKeys())
            values[key] = store.value(key);
        return values;
    }
    // Today's file as it was written, under another name.
    QString TodaysCopy() const {
        QString name = FFolder.filePath(QStringLiteral("today.conf"));
        QFile file(name);
        if (file.open(QIODevice::WriteOnly))
            file.write(TodaysFile);
        return name;
    }
    static TServerProfile Profile(const char* AName, const char* AIP, bool AProduction) {
        TServerProfile profile;
        profile.Name = QString::fromUtf8(AName);
        profile.IP = QString::fromUtf8(AIP);
        profile.Port = QStringLiteral("443");
        profile.Path = QStringLiteral("api");
        profile.Version = QStringLiteral("7.00");
        profile.Production = AProduction;
        return profile;
    }
};

TEST_F(ServerProfilesTest, TodaysFileIsTheOneDefaultProfileAndStaysUnchanged) {
    WriteFile(TodaysFile);
    const TConnectionSettings settings = Loaded();
    EXPECT_EQ(FProfiles.CurrentName(), QStringLiteral("Default"));
    const std::vector<TServerProfile> profiles = FProfiles.List(settings);
    ASSERT_EQ(profiles.size(), 1U);
    EXPECT_EQ(profiles[0].Name, QStringLiteral("Default"));
    EXPECT_EQ(profiles[0].IP, QStringLiteral("https://test.example"));
    EXPECT_EQ(profiles[0].Port, QStringLiteral("8443"));
    EXPECT_EQ(profiles[0].Path, QStringLiteral("api2"));
    EXPECT_EQ(profiles[0].Version, QStringLiteral("6.50"));
    EXPECT_TRUE(profiles[0].RememberPW);
    EXPECT_EQ(profiles[0].Password, QStringLiteral("pw1"));
    EXPECT_FALSE(profiles[0].Production);
    // Reading profiles writes nothing.
    EXPECT_EQ(Contents(), TodaysFile);
    EXPECT_EQ(TServerProfiles::KeyringKey(QStringLiteral("Default")),
              QStringLiteral("API password"));
    EXPECT_EQ(TServerProfiles::KeyringKey(QStringLiteral("live")),
              QStringLiteral("API password: live"));
}

TEST_F(ServerProfilesTest, ProfilesAreAddedFoundSwitchedAndRemoved) {
    WriteFile(TodaysFile);
    TConnectionSettings settings = Loaded();
    TServerProfile live = Profile("live", "https://live.example", true);
    live.RememberPW = true;
    live.Password = QStringLiteral("livepw");
    FProfiles.Add(live, settings);
    FProfiles.Add(Profile("staging", "http://10.0.0.5", false), settings);
    EXPECT_THROW(FProfiles.Add(Profile("LIVE", "x", false), settings), ESettingsError);
    EXPECT_THROW(FProfiles.Add(Profile("default", "x", false), settings), ESettingsError);
    EXPECT_THROW(FProfiles.Add(Profile("a/b", "x", false), settings), ESettingsError);
    EXPECT_THROW(FProfiles.Add(Profile(" x", "x", false), settings), ESettingsError);
    EXPECT_THROW(FProfiles.Add(Profile("", "x", false), settings), ESettingsError);

    // The settings store's section is untouched; the file stays private.
    EXPECT_EQ(Loaded().IP, QStringLiteral("https://test.example"));
    EXPECT_EQ(Section(FileName()), Section(TodaysCopy()));
    EXPECT_EQ(QFileInfo(FileName()).permissions() & 0x0077, 0);

    std::vector<TServerProfile> profiles = FProfiles.List(settings);
    ASSERT_EQ(profiles.size(), 3U);
    EXPECT_EQ(profiles[1].Name, QStringLiteral("live"));
    EXPECT_EQ(profiles[2].Name, QStringLiteral("staging"));
    const auto found = FProfiles.Find(QStringLiteral("LiVe"), settings);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->IP, QStringLiteral("https://live.example"));
    EXPECT_EQ(found->Port, QStringLiteral("443"));
    EXPECT_EQ(found->Version, QStringLiteral("7.00"));
    EXPECT_TRUE(found->Production);
    EXPECT_EQ(found->Password, QStringLiteral("livepw"));
    EXPECT_FALSE(FProfiles.Find(QStringLiteral("nope"), settings));

    // Switching: the outgoing profile's values go to its group, the incoming one's into the
    // connection section, where the window and the tools read them as today.
    TServerProfile outgoing = profiles[0];
    outgoing.Version = QStringLiteral("6.51"); // typed since the start
    FProfiles.Switch(outgoing, *found, settings);
    FStore.Save(settings);
    settings = Loaded();
    EXPECT_EQ(FProfiles.CurrentName(), QStringLiteral("live"));
    EXPECT_EQ(settings.IP, QStringLiteral("https://live.example"));
    EXPECT_EQ(settings.Password, QStringLiteral("livepw"));
    EXPECT_TRUE(settings.KeepHistory);
    EXPECT_EQ(settings.ResultsView, QStringLiteral("Pretty"));
    profiles = FProfiles.List(settings);
    ASSERT_EQ(profiles.size(), 3U);
    EXPECT_EQ(profiles[0].Name, QStringLiteral("live"));
    EXPECT_TRUE(profiles[0].Production);
    EXPECT_EQ(profiles[1].Name, QStringLiteral("Default"));
    EXPECT_EQ(profiles[1].Version, QStringLiteral("6.51"));
    EXPECT_EQ(profiles[1].IP, QStringLiteral("https://test.example"));
    EXPECT_EQ(profiles[1].Password, QStringLiteral("pw1"));
    EXPECT_FALSE(profiles[1].Production);

    // The current profile is not removed; another one is, with its values.
    EXPECT_THROW(FProfiles.Remove(QStringLiteral("live"), settings), ESettingsError);
    EXPECT_THROW(FProfiles.Remove(QStringLiteral("nope"), settings), ESettingsError);
    FProfiles.Remove(QStringLiteral("staging"), settings);
    EXPECT_EQ(FProfiles.List(settings).size(), 2U);
    EXPECT_FALSE(Contents().contains("10.0.0.5"));

    // Renaming the current profile keeps its mark; a name in use is refused.
    EXPECT_THROW(FProfiles.RenameCurrent(QStringLiteral("default"), settings), ESettingsError);
    FProfiles.RenameCurrent(QStringLiteral("production"), settings);
    EXPECT_EQ(FProfiles.CurrentName(), QStringLiteral("production"));
    EXPECT_TRUE(FProfiles.List(settings)[0].Production);
    EXPECT_FALSE(FProfiles.Find(QStringLiteral("live"), settings));

    // Unticking the mark of the current profile.
    TServerProfile current = FProfiles.List(settings)[0];
    current.Production = false;
    FProfiles.Store(current);
    EXPECT_FALSE(FProfiles.List(settings)[0].Production);
    EXPECT_EQ(Loaded().IP, QStringLiteral("https://live.example"));

    // The before copy choice: unset until chosen, kept through a rename, and cleared again.
    EXPECT_FALSE(current.BeforeCopies);
    current.BeforeCopies = false;
    current.Production = true;
    FProfiles.Store(current);
    FProfiles.RenameCurrent(QStringLiteral("live"), settings);
    const TServerProfile renamed = FProfiles.List(settings)[0];
    EXPECT_EQ(renamed.BeforeCopies, std::optional<bool>(false));
    EXPECT_TRUE(renamed.Production);
    EXPECT_TRUE(Contents().contains("live\\BeforeCopies=0"));
    TServerProfile cleared = renamed;
    cleared.BeforeCopies.reset();
    FProfiles.Store(cleared);
    EXPECT_FALSE(FProfiles.List(settings)[0].BeforeCopies);
    EXPECT_FALSE(Contents().contains("BeforeCopies"));
}

TEST_F(ServerProfilesTest, AProfileWithoutRememberedPasswordKeepsNoneInTheFile) {
    TConnectionSettings settings = Loaded();
    TServerProfile other = Profile("other", "http://h", false);
    other.Password = QStringLiteral("notkept");
    FProfiles.Add(other, settings);
    EXPECT_FALSE(Contents().contains("notkept"));
    EXPECT_EQ(FProfiles.Find(QStringLiteral("other"), settings)->Password, QString());
}

TEST_F(ServerProfilesTest, DamagedEntriesReadAsDefaults) {
    WriteFile(TodaysFile +
              "[Profiles]\nCurrent=a/b\nx\\Production=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)\n"
              "x\\Port=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)\n");
    const TConnectionSettings settings = Loaded();
    EXPECT_EQ(FProfiles.CurrentName(), QStringLiteral("Default"));
    const auto x = FProfiles.Find(QStringLiteral("x"), settings);
    ASSERT_TRUE(x);
    EXPECT_FALSE(x->Production);
    EXPECT_EQ(x->Port, QStringLiteral("8087"));
}

} // namespace
