// The call history's recorder: the password in no file and the files private, clearing, a
// damaged file moved aside (found as it opens or only while recording, by one process or several
// at once), and an unusable folder told by the status.

#include "AnswerBlob.h"
#include "HistoryCallFixture.h"
#include "HistoryProcesses.h"
#include "HistoryRecorder.h"
#include "HistoryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sys/stat.h>

namespace {

TEST(HistoryProcess, RecordsOneCall) {
    RunHistoryProcess();
}

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

// The window's recorder keeps a large answer as it was compressed while it came, and indexes its
// words in a job of its own after it: found once the recorder is idle, nothing left waiting.
TEST_F(HistoryTest, BackgroundIndexingFindsALargeAnswerAfterItIsKept) {
    QByteArray text = Incompressible(static_cast<int>(THistoryStore::DeferIndexBytes) * 2).toUtf8();
    text += " zanzibarquokka";
    THistoryCall call = MakeCall(QStringLiteral("AccountsList"), QString());
    call.Answer = QString();
    call.AnswerCompressed = AnswerBlob::Compress(text);
    call.AnswerTextBytes = text.size();
    THistoryRecorder recorder(Folder(), {}, THistoryIndexing::Background);
    recorder.Record(call);
    recorder.WaitIdle();
    ASSERT_EQ(recorder.Status(), QString());
    THistoryStore store(Folder());
    store.OpenForReading();
    EXPECT_EQ(store.PendingAnswers(), 0);
    QSqlQuery found = store.ListQuery(QStringLiteral("zanzibarquokka"));
    ASSERT_TRUE(found.next());
    EXPECT_EQ(store.Load(found.value(THistoryStore::ListId).toLongLong())->Answer.toUtf8(), text);
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

QByteArray Contents(const QString& APath) {
    QFile file(APath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs AUse on a connection of its own to AFile.
template <class TUse> void WithFile(const QString& AFile, TUse AUse) {
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("damage"));
        db.setDatabaseName(AFile);
        ASSERT_TRUE(db.open());
        AUse(db);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("damage"));
}

// Garbage over the pages of the calls and of their sizes' index: the file opens, and recording
// into it fails as damaged.
void DamageCallPages(const QString& AFile) {
    int pageSize = 0;
    std::vector<qint64> pages;
    WithFile(AFile, [&](const QSqlDatabase& ADatabase) {
        QSqlQuery query(ADatabase);
        ASSERT_TRUE(query.exec(QStringLiteral("PRAGMA page_size")) && query.next());
        pageSize = query.value(0).toInt();
        ASSERT_TRUE(query.exec(QStringLiteral(
            "SELECT rootpage FROM sqlite_master WHERE name IN ('calls', 'calls_sizes')")));
        while (query.next())
            pages.push_back(query.value(0).toLongLong());
    });
    ASSERT_EQ(pages.size(), 2u);
    QFile file(AFile);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    for (const qint64 page : pages) {
        ASSERT_TRUE(file.seek((page - 1) * pageSize));
        ASSERT_EQ(file.write(QByteArray(pageSize, 'x')), pageSize);
    }
}

// A file that is no database at all, found as it opens.
void MakeGarbageFile(const QString& AFile) {
    QFile garbage(AFile);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(8192, 'x'));
}

const QString DamagedNotice = QStringLiteral("The call history was damaged; it was moved to ");

// The files moved aside in AFolder, without their journals.
QStringList MovedAside(const QString& AFolder) {
    const QRegularExpression name(QStringLiteral("^history\\.sqlite\\.broken-[0-9-]+$"));
    QStringList files;
    for (const QString& entry : QDir(AFolder).entryList(QDir::Files))
        if (name.match(entry).hasMatch())
            files.append(QDir(AFolder).filePath(entry));
    return files;
}

// The tool records one call and ends: damage it finds while recording is not left for a later
// call to find again. The file is checked, moved aside, and the call kept in a new one.
TEST_F(HistoryTest, DamageFoundWhileRecordingIsMovedAsideAndTheCallKept) {
    RecordAll({MakeCall(QStringLiteral("AccountsList"), QStringLiteral("before")),
               MakeCall(QStringLiteral("AccountsGet"), QStringLiteral("before"))});
    const QString file = Folder() + QStringLiteral("/history.sqlite");
    DamageCallPages(file);
    const QByteArray damaged = Contents(file);
    {
        THistoryRecorder tool(Folder(), {}, THistoryIndexing::DeferLarge,
                              THistoryFolding::OnNextOpen);
        QSignalSpy moved(&tool, &THistoryRecorder::MovedAside);
        tool.Record(MakeCall(QStringLiteral("SystemStats"), QStringLiteral("met the damage")));
        tool.WaitIdle();
        ASSERT_TRUE(moved.count() == 1 || moved.wait(5000));
        const QString movedTo = moved.at(0).at(0).toString();
        EXPECT_TRUE(movedTo.startsWith(file + QStringLiteral(".broken-")));
        EXPECT_TRUE(Contents(movedTo) == damaged);
        // What the tool prints.
        EXPECT_TRUE(tool.Status().startsWith(DamagedNotice + movedTo))
            << tool.Status().toStdString();
    }
    THistoryRecorder next(Folder(), {}, THistoryIndexing::DeferLarge, THistoryFolding::OnNextOpen);
    next.Record(MakeCall(QStringLiteral("SystemStats"), QStringLiteral("next")));
    next.WaitIdle();
    EXPECT_EQ(next.Status().toStdString(), "");
    THistoryStore store(Folder());
    store.OpenForReading();
    EXPECT_EQ(ListedIds(store, {}).size(), 2u);
    EXPECT_EQ(ListedIds(store, QStringLiteral("damage")).size(), 1u);
}

// Damage in the word index is found by the check of a file that failed as damaged, though SQLite's
// own check of its pages sees none: the index's pages are blobs to it.
TEST_F(HistoryTest, CheckOfADamagedFileLooksIntoTheWordIndex) {
    std::vector<THistoryCall> calls;
    calls.reserve(6);
    for (int i = 0; i < 6; ++i)
        calls.push_back(MakeCall(QStringLiteral("Call%1").arg(i), QStringLiteral("word%1").arg(i)));
    RecordAll(calls);
    const QString file = Folder() + QStringLiteral("/history.sqlite");
    WithFile(file, [](const QSqlDatabase& ADatabase) {
        QSqlQuery leaves(ADatabase);
        // Rows 1 and 10 hold the index's settings and structure, the others its leaves.
        ASSERT_TRUE(leaves.exec(QStringLiteral(
            "SELECT id, length(block) FROM calls_fts_data WHERE id NOT IN (1, 10)")));
        std::vector<std::pair<qint64, int>> blocks;
        while (leaves.next())
            blocks.emplace_back(leaves.value(0).toLongLong(), leaves.value(1).toInt());
        ASSERT_FALSE(blocks.empty());
        QSqlQuery damage(ADatabase);
        damage.prepare(QStringLiteral("UPDATE calls_fts_data SET block = ? WHERE id = ?"));
        for (const auto& [id, length] : blocks) {
            damage.addBindValue(QByteArray(length, '\xff'));
            damage.addBindValue(id);
            ASSERT_TRUE(damage.exec());
        }
        QSqlQuery check(ADatabase);
        ASSERT_TRUE(check.exec(QStringLiteral("PRAGMA quick_check")) && check.next());
        EXPECT_EQ(check.value(0).toString(), QStringLiteral("ok"));
    });
    THistoryStore store(Folder());
    EXPECT_TRUE(store.Open(true).startsWith(file + QStringLiteral(".broken-")));
    store.Record(MakeCall(QStringLiteral("AccountsList"), QStringLiteral("fresh")));
    EXPECT_EQ(ListedIds(store, QStringLiteral("fresh")).size(), 1u);
}

// Calls of the tool started together that all find the same damaged file, as it opens or only
// while recording: one of them moves it aside, under a name of its own, and every call is kept
// in the new file.
TEST_F(HistoryTest, ProcessesFindingOneDamagedFileMoveItAsideOnceAndLoseNoCall) {
    const QString file = Folder() + QStringLiteral("/history.sqlite");
    const struct {
        const char* Name;
        std::function<void()> Damage;
    } kinds[] = {
        {"no database at all", [&] { MakeGarbageFile(file); }},
        {"damaged pages",
         [&] {
             RecordAll({MakeCall(QStringLiteral("AccountsList"), QStringLiteral("before"))});
             DamageCallPages(file);
         }},
    };
    constexpr int Rounds = 2;
    constexpr int Processes = 5;
    std::vector<QString> commands;
    std::vector<std::string> expected;
    for (int i = 0; i < Processes; ++i) {
        commands.push_back(QStringLiteral("Call%1").arg(i));
        expected.push_back(commands.back().toStdString());
    }
    for (const auto& kind : kinds) {
        for (int round = 0; round < Rounds; ++round) {
            SCOPED_TRACE(kind.Name + std::string(", round ") + std::to_string(round));
            QDir(Folder()).removeRecursively();
            ASSERT_TRUE(QDir().mkpath(Folder()));
            kind.Damage();
            const QByteArray damaged = Contents(file);
            for (const std::string& status :
                 RunHistoryProcesses(Folder(), FDir.filePath(QStringLiteral("gate")), commands))
                EXPECT_TRUE(status.empty() ||
                            QString::fromStdString(status).startsWith(DamagedNotice))
                    << status;
            const QStringList aside = MovedAside(Folder());
            ASSERT_EQ(aside.size(), 1) << aside.join(u' ').toStdString();
            EXPECT_TRUE(Contents(aside.front()) == damaged) << "a file moved aside was replaced";
            THistoryStore store(Folder());
            store.OpenForReading();
            std::vector<std::string> kept;
            for (const qint64 id : ListedIds(store, {}))
                kept.push_back(store.Load(id)->Command.toStdString());
            std::sort(kept.begin(), kept.end());
            EXPECT_EQ(kept, expected);
        }
    }
}

} // namespace
