// The jq filters remembered per command in a settings file made by the test: most recent first,
// a filter used again moved to the front, at most TFilterMemory::Limit, commands apart, and the
// store's own values left as they were.

#include "FilterMemory.h"
#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class FilterMemoryTest : public ::testing::Test {
protected:
    QTemporaryDir FFolder;
    QString FileName() const { return FFolder.filePath(QStringLiteral("Tessarine.conf")); }
    QStringList Filters(const QString& ACommand) const {
        return TFilterMemory(FileName()).Recent(ACommand).Filters;
    }
};

TEST_F(FilterMemoryTest, KeepsTheLastFiltersOfEachCommandMostRecentFirst) {
    TConnectionSettings settings;
    settings.IP = QStringLiteral("https://test.example");
    TSettingsStore(FileName()).Save(settings);

    TFilterMemory memory(FileName());
    const QString accounts = QStringLiteral("AccountsList");
    const QString odd = QStringLiteral("Odd/Name\\100%");
    for (int i = 1; i <= TFilterMemory::Limit + 2; ++i)
        memory.Use(accounts, QStringLiteral(".Accounts[%1]").arg(i));
    memory.Use(odd, QStringLiteral(".Result, \"a,b\" | ascii_downcase"));
    // Used again: moved to the front, not kept twice.
    memory.Use(accounts, QStringLiteral(".Accounts[5]"));

    // Read back from the file by a memory of its own.
    const QStringList kept = Filters(accounts);
    ASSERT_EQ(kept.size(), TFilterMemory::Limit);
    EXPECT_EQ(kept.front(), ".Accounts[5]");
    EXPECT_EQ(kept[1], ".Accounts[12]");
    EXPECT_EQ(kept.back(), ".Accounts[3]"); // 1 and 2 dropped as the oldest
    EXPECT_EQ(kept.count(QStringLiteral(".Accounts[5]")), 1);
    EXPECT_EQ(Filters(odd), QStringList{QStringLiteral(".Result, \"a,b\" | ascii_downcase")});
    EXPECT_TRUE(Filters(QStringLiteral("Odd")).isEmpty());
    EXPECT_TRUE(Filters(QStringLiteral("Other")).isEmpty());
    EXPECT_TRUE(TFilterMemory(FileName()).Recent(accounts).LastApplied);

    // Shown unfiltered again: the filters stay offered, none comes back on its own.
    memory.Use(accounts, {});
    const TRecentFilters cleared = TFilterMemory(FileName()).Recent(accounts);
    EXPECT_EQ(cleared.Filters, kept);
    EXPECT_FALSE(cleared.LastApplied);
    EXPECT_TRUE(TFilterMemory(FileName()).Recent(odd).LastApplied);

    // The store's values are untouched and the file is its owner's only.
    TConnectionSettings loaded;
    TSettingsStore(FileName()).Load(loaded);
    EXPECT_EQ(loaded.IP, "https://test.example");
    EXPECT_EQ(QFileInfo(FileName()).permissions() & 0x0077, 0);
}

TEST_F(FilterMemoryTest, MakesAPrivateFileAndFailsLoudly) {
    TFilterMemory(FileName()).Use(QStringLiteral("AccountsList"), QStringLiteral(".Result"));
    EXPECT_EQ(Filters(QStringLiteral("AccountsList")), QStringList{QStringLiteral(".Result")});
    EXPECT_EQ(QFileInfo(FileName()).permissions() & 0x0077, 0);

    // A folder where the file should be cannot be written.
    const QString folder = FFolder.filePath(QStringLiteral("folder.conf"));
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_THROW(TFilterMemory(folder).Use(QStringLiteral("A"), QStringLiteral(".")),
                 ESettingsError);
    EXPECT_TRUE(TFilterMemory(folder).Recent(QStringLiteral("A")).Filters.isEmpty());
}

} // namespace
