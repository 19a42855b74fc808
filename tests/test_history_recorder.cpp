// The call history's recorder: the password in no file and the files private, clearing, a
// damaged file moved aside, and an unusable folder told by the status.

#include "HistoryCallFixture.h"
#include "HistoryRecorder.h"
#include "HistoryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

mode_t Mode(const QString& APath) {
    struct stat info {};
    ::stat(QFile::encodeName(APath).constData(), &info);
    return info.st_mode & 0777;
}

using HistoryTest = THistoryFolderTest;

TEST_F(HistoryTest, PasswordIsInNoFileAndTheFilesArePrivate) {
    THistoryCall call = MakeCall(QStringLiteral("AccountsGet"), QStringLiteral("ok"));
    call.Fields.append(QStringLiteral("PASSWORD=") + HistoryTestPassword); // the name in any case
    THistoryLimits limits;
    limits.MaxCalls = 3; // some calls are dropped again, so pages are rewritten
    THistoryRecorder recorder(Folder(), limits);
    for (int i = 0; i < 6; ++i)
        recorder.Record(call);
    recorder.WaitIdle();
    ASSERT_EQ(recorder.Status(), QString());

    const QDir folder(Folder());
    int files = 0;
    for (const QString& name : folder.entryList(QDir::Files)) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        ++files;
        EXPECT_FALSE(bytes.contains(HistoryTestPassword.toUtf8())) << name.toStdString();
        EXPECT_FALSE(
            bytes.contains(QByteArray(reinterpret_cast<const char*>(HistoryTestPassword.utf16()),
                                      HistoryTestPassword.size() * 2)))
            << name.toStdString();
        EXPECT_EQ(Mode(folder.filePath(name)), 0600u) << name.toStdString();
    }
    EXPECT_GE(files, 2); // the database and its write-ahead journal
    EXPECT_EQ(Mode(Folder()), 0700u);
}

TEST_F(HistoryTest, ClearDeletesEveryCallAndShrinksTheFile) {
    std::vector<THistoryCall> calls(
        20, MakeCall(QStringLiteral("AccountsList"), Incompressible(20000)));
    RecordAll(calls);
    const qint64 before = QFileInfo(Folder() + QStringLiteral("/history.sqlite")).size();
    {
        THistoryRecorder recorder(Folder());
        QSignalSpy cleared(&recorder, &THistoryRecorder::Cleared);
        recorder.Clear();
        recorder.WaitIdle();
        EXPECT_EQ(recorder.Status(), QString());
        ASSERT_TRUE(cleared.count() == 1 || cleared.wait(5000));
    }
    THistoryStore store(Folder());
    store.OpenForReading();
    EXPECT_TRUE(ListedIds(store, {}).empty());
    EXPECT_TRUE(ListedIds(store, QStringLiteral("accountslist")).empty());
    EXPECT_LT(QFileInfo(store.FileName()).size(), before / 10);
}

TEST_F(HistoryTest, DamagedFileIsMovedAsideAndANewOneStarted) {
    ASSERT_TRUE(QDir().mkpath(Folder()));
    QFile garbage(Folder() + QStringLiteral("/history.sqlite"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(8192, 'x'));
    garbage.close();

    THistoryRecorder recorder(Folder());
    QSignalSpy moved(&recorder, &THistoryRecorder::MovedAside);
    recorder.Record(MakeCall(QStringLiteral("AccountsList"), QStringLiteral("fine")));
    recorder.WaitIdle();
    ASSERT_TRUE(moved.count() == 1 || moved.wait(5000));
    const QString movedTo = moved.at(0).at(0).toString();
    EXPECT_TRUE(movedTo.startsWith(Folder() + QStringLiteral("/history.sqlite.broken-")));
    QFile aside(movedTo);
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), QByteArray(8192, 'x'));
    EXPECT_TRUE(recorder.Status().contains(movedTo));

    THistoryStore store(Folder());
    store.OpenForReading();
    EXPECT_EQ(ListedIds(store, {}).size(), 1u);
    recorder.Record(MakeCall(QStringLiteral("AccountsList"), QStringLiteral("again")));
    recorder.WaitIdle();
    EXPECT_EQ(moved.count(), 1); // told once
}

TEST_F(HistoryTest, UnusableFolderLeavesRecordingOffWithAStatus) {
    // Root may write anywhere, so the folder is made impossible: its parent is a plain file.
    QFile blocker(FDir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    THistoryRecorder recorder(blocker.fileName() + QStringLiteral("/vlcallbench"));
    recorder.Record(MakeCall(QStringLiteral("AccountsList"), QStringLiteral("lost")));
    recorder.WaitIdle();
    EXPECT_TRUE(recorder.Status().startsWith(QStringLiteral("Calls are not being recorded: ")))
        << recorder.Status().toStdString();
}

} // namespace
