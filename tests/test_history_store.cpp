// The call history store and its recorder: what a row keeps, the limits, damaged and unusable
// files, the filter, and that the password never reaches the files.

#include "AnswerBlob.h"
#include "HistoryRecorder.h"
#include "HistoryStore.h"
#include "QtTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Password = QStringLiteral("Pw-7f3a91-secret");

THistoryCall MakeCall(const QString& ACommand, const QString& AAnswer,
                      THistoryOutcome AOutcome = THistoryOutcome::Answer) {
    THistoryCall call;
    call.URL = QStringLiteral("http://127.0.0.1:8087/api");
    call.Command = ACommand;
    call.Fields = {QStringLiteral("Command=") + ACommand, QStringLiteral("Password=") + Password,
                   QStringLiteral("JSON=Yes"), QStringLiteral("Player=Alice")};
    call.Format = QStringLiteral("JSON");
    call.Outcome = AOutcome;
    call.StatusLine = QStringLiteral("HTTP/1.1 200 OK");
    call.DurationMs = 42;
    call.Answer = AAnswer;
    return call;
}

std::vector<qint64> ListedIds(THistoryStore& AStore, const QString& AFilter) {
    QSqlQuery query = AStore.ListQuery(AFilter);
    std::vector<qint64> ids;
    while (query.next())
        ids.push_back(query.value(THistoryStore::ListId).toLongLong());
    return ids;
}

// Random bytes in printable form compress poorly, so stored sizes stay near the text's size.
QString Incompressible(int ALength) {
    QString text;
    for (int i = 0; i < ALength; ++i)
        text.append(QChar(u'!' + QRandomGenerator::global()->bounded(90)));
    return text;
}

mode_t Mode(const QString& APath) {
    struct stat info {};
    ::stat(QFile::encodeName(APath).constData(), &info);
    return info.st_mode & 0777;
}

class HistoryTest : public ::testing::Test {
protected:
    QTemporaryDir FDir;
    QString Folder() const { return FDir.filePath(QStringLiteral("vlcallbench")); }

    // Records the calls through a recorder that is gone when this returns; the ids in order.
    std::vector<qint64> RecordAll(const std::vector<THistoryCall>& ACalls,
                                  THistoryLimits ALimits = {}) {
        THistoryRecorder recorder(Folder(), ALimits);
        std::vector<qint64> ids;
        QObject::connect(&recorder, &THistoryRecorder::Recorded,
                         [&](qint64 AId) { ids.push_back(AId); });
        for (const THistoryCall& call : ACalls)
            recorder.Record(call);
        recorder.WaitIdle();
        EXPECT_EQ(recorder.Status(), QString());
        QCoreApplication::processEvents();
        return ids;
    }
};

TEST_F(HistoryTest, KeepsEachOutcomeWithThePasswordValueEmptied) {
    THistoryCall answer =
        MakeCall(QStringLiteral("AccountsList"), QStringLiteral("{\"Result\":1}"));
    answer.When = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 890), Qt::UTC);
    answer.AnswerSize = 99;
    answer.ContentType = QStringLiteral("application/json");
    answer.CharSet = QStringLiteral("utf-8");
    THistoryCall failure = MakeCall(QStringLiteral("LogsEvent"), {}, THistoryOutcome::Error);
    failure.ErrorText = QStringLiteral("HTTP/1.1 404 Not Found");
    failure.StatusLine = failure.ErrorText;
    failure.Format = QStringLiteral("Legacy");
    THistoryCall cancelled =
        MakeCall(QStringLiteral("SystemStats"), {}, THistoryOutcome::Cancelled);
    cancelled.StatusLine.clear();
    const std::vector<qint64> ids = RecordAll({answer, failure, cancelled});
    ASSERT_EQ(ids.size(), 3u);

    THistoryStore store(Folder());
    store.OpenForReading();
    const std::vector<THistoryCall> expected{answer, failure, cancelled};
    for (std::size_t i = 0; i < ids.size(); ++i) {
        SCOPED_TRACE(expected[i].Command.toStdString());
        const std::optional<THistoryCall> call = store.Load(ids[i]);
        ASSERT_TRUE(call);
        EXPECT_EQ(call->URL, expected[i].URL);
        EXPECT_EQ(call->Command, expected[i].Command);
        EXPECT_EQ(call->Fields,
                  (QStringList{QStringLiteral("Command=") + expected[i].Command,
                               QStringLiteral("Password="), QStringLiteral("JSON=Yes"),
                               QStringLiteral("Player=Alice")}));
        EXPECT_EQ(call->Format, expected[i].Format);
        EXPECT_EQ(call->Outcome, expected[i].Outcome);
        EXPECT_EQ(call->ErrorText, expected[i].ErrorText);
        EXPECT_EQ(call->StatusLine, expected[i].StatusLine);
        EXPECT_EQ(call->DurationMs, 42);
        EXPECT_EQ(call->Answer, expected[i].Answer);
        EXPECT_FALSE(call->AnswerCut);
        EXPECT_EQ(call->When.timeSpec(), Qt::UTC);
        EXPECT_EQ(call->ContentType, expected[i].ContentType);
        EXPECT_EQ(call->CharSet, expected[i].CharSet);
    }
    EXPECT_EQ(store.Load(ids[0])->When, answer.When);
    EXPECT_EQ(store.Load(ids[0])->AnswerSize, 99);
    EXPECT_EQ(ListedIds(store, {}), (std::vector<qint64>{ids[2], ids[1], ids[0]}));

    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(store.FileName());
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(QStringLiteral("SELECT when_utc, outcome FROM calls ORDER BY id")));
        ASSERT_TRUE(query.next());
        EXPECT_EQ(query.value(0).toString(), QStringLiteral("2026-03-04T05:06:07.890Z"));
        EXPECT_EQ(query.value(1).toString(), QStringLiteral("answer"));
        ASSERT_TRUE(query.exec(QStringLiteral("PRAGMA journal_mode")) && query.next());
        EXPECT_EQ(query.value(0).toString(), QStringLiteral("wal"));
        ASSERT_TRUE(query.exec(QStringLiteral("PRAGMA user_version")) && query.next());
        EXPECT_EQ(query.value(0).toInt(), THistoryStore::SchemaVersion);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
}

TEST_F(HistoryTest, PasswordIsInNoFileAndTheFilesArePrivate) {
    THistoryCall call = MakeCall(QStringLiteral("AccountsGet"), QStringLiteral("ok"));
    call.Fields.append(QStringLiteral("PASSWORD=") + Password); // the name in any case
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
        EXPECT_FALSE(bytes.contains(Password.toUtf8())) << name.toStdString();
        EXPECT_FALSE(bytes.contains(
            QByteArray(reinterpret_cast<const char*>(Password.utf16()), Password.size() * 2)))
            << name.toStdString();
        EXPECT_EQ(Mode(folder.filePath(name)), 0600u) << name.toStdString();
    }
    EXPECT_GE(files, 2); // the database and its write-ahead journal
    EXPECT_EQ(Mode(Folder()), 0700u);
}

TEST_F(HistoryTest, OldestCallsGoFirstBeyondEitherLimit) {
    struct Case {
        const char* Name;
        THistoryLimits Limits;
        int Calls;
        int AnswerLength;
        int Kept;
    };
    const Case cases[] = {
        {"call count", {5, qint64(1) << 30, qint64(1) << 20}, 8, 10, 5},
        {"stored bytes", {100, 20000, qint64(1) << 20}, 6, 10000, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        QDir(Folder()).removeRecursively();
        std::vector<THistoryCall> calls;
        calls.reserve(static_cast<std::size_t>(c.Calls));
        for (int i = 0; i < c.Calls; ++i)
            calls.push_back(
                MakeCall(QStringLiteral("Call%1").arg(i),
                         QStringLiteral("word%1 ").arg(i) + Incompressible(c.AnswerLength)));
        const std::vector<qint64> ids = RecordAll(calls, c.Limits);
        ASSERT_EQ(ids.size(), static_cast<std::size_t>(c.Calls));
        THistoryStore store(Folder());
        store.OpenForReading();
        const std::vector<qint64> kept(ids.rbegin(), ids.rbegin() + c.Kept);
        EXPECT_EQ(ListedIds(store, {}), kept);
        EXPECT_FALSE(store.Load(ids.front()));
        // A dropped call is gone from the word index too.
        EXPECT_TRUE(ListedIds(store, QStringLiteral("word0")).empty());
        EXPECT_EQ(ListedIds(store, QStringLiteral("word%1").arg(c.Calls - 1)),
                  std::vector<qint64>{ids.back()});
    }
}

TEST_F(HistoryTest, LongAnswerIsKeptCutAtACharacter) {
    THistoryLimits limits;
    limits.MaxAnswerBytes = 1000;
    // 999 ASCII bytes, then a two-byte character across the limit.
    const QString answer = QString(999, u'a') + QStringLiteral("\u00e9") + QString(500, u'b');
    const std::vector<qint64> ids =
        RecordAll({MakeCall(QStringLiteral("Big"), answer),
                   MakeCall(QStringLiteral("Fits"), QString(1000, u'c'))},
                  limits);
    THistoryStore store(Folder());
    store.OpenForReading();
    const std::optional<THistoryCall> cut = store.Load(ids[0]);
    ASSERT_TRUE(cut);
    EXPECT_TRUE(cut->AnswerCut);
    EXPECT_EQ(cut->Answer, QString(999, u'a'));
    EXPECT_EQ(cut->AnswerSize, answer.toUtf8().size());
    const std::optional<THistoryCall> whole = store.Load(ids[1]);
    EXPECT_FALSE(whole->AnswerCut);
    EXPECT_EQ(whole->Answer, QString(1000, u'c'));
}

TEST_F(HistoryTest, FilterFindsCommandsValuesAndAnswerWords) {
    THistoryCall accounts =
        MakeCall(QStringLiteral("AccountsList"), QStringLiteral("{\"Accounts\":[\"Zephyrine\"]}"));
    THistoryCall logs = MakeCall(QStringLiteral("LogsEvent"), QStringLiteral("no such file"));
    logs.Fields.append(QStringLiteral("Date=2026-01-02"));
    THistoryCall failed = MakeCall(QStringLiteral("RingGamesList"), {}, THistoryOutcome::Error);
    failed.ErrorText = QStringLiteral("Socket Error # 10061\r\nConnection refused.");
    const std::vector<qint64> ids = RecordAll({accounts, logs, failed});
    THistoryStore store(Folder());
    store.OpenForReading();
    EXPECT_TRUE(store.Searchable()); // Debian's SQLite has FTS5
    const struct {
        const char* Filter;
        std::vector<qint64> Ids;
    } cases[] = {
        {"", {ids[2], ids[1], ids[0]}},
        {"accounts", {ids[0]}},   // command, by word prefix
        {"GamesList", {ids[2]}},  // command, inside the name
        {"zephyr", {ids[0]}},     // answer text
        {"2026-01-02", {ids[1]}}, // parameter value
        {"alice such", {ids[1]}}, // every word must match
        {"alice", {ids[2], ids[1], ids[0]}},
        {"password", {ids[2], ids[1], ids[0]}}, // the field is kept, without its value
        {"secret", {}},
        {"\"zephyr", {ids[0]}}, // a quote in the filter is a character, not syntax
        {"%", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListedIds(store, QString::fromUtf8(c.Filter)), c.Ids) << c.Filter;
}

// Calls whose answers were not indexed yet, as the file holds them.
std::vector<qint64> PendingIds(const QString& AFile) {
    std::vector<qint64> ids;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(AFile);
        EXPECT_TRUE(db.open());
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(QStringLiteral("SELECT id FROM calls WHERE answer_indexed = 0")));
        while (query.next())
            ids.push_back(query.value(0).toLongLong());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    return ids;
}

// A large answer recorded with its indexing deferred is kept at once and its fields are found at
// once; its words are indexed before a filter needs them (by a reader, as the window's list
// reads) or in the background by a recorder that indexes at once. A deferred call dropped by the
// limits leaves the index cleanly.
TEST_F(HistoryTest, DeferredAnswerWordsAreFoundByTheFilter) {
    const auto bigAnswer = [](const QString& AWord) {
        return QString(THistoryStore::DeferIndexBytes, u'x') + u' ' + AWord;
    };
    THistoryLimits limits;
    limits.MaxCalls = 3;
    THistoryStore writer(Folder(), limits);
    writer.Open();
    const qint64 dropped =
        writer.Record(MakeCall(QStringLiteral("Gone"), bigAnswer(QStringLiteral("Vanished"))),
                      THistoryIndexing::DeferLarge);
    const qint64 small = writer.Record(MakeCall(QStringLiteral("Small"), QStringLiteral("Tiny")),
                                       THistoryIndexing::DeferLarge);
    THistoryCall big = MakeCall(QStringLiteral("Big"), bigAnswer(QStringLiteral("Quetzalcoatl")));
    big.Fields.append(QStringLiteral("Player=Xochitl"));
    const qint64 bigId = writer.Record(big, THistoryIndexing::DeferLarge);
    EXPECT_EQ(PendingIds(writer.FileName()), (std::vector<qint64>{dropped, bigId}));
    EXPECT_EQ(writer.Load(bigId)->Answer, big.Answer);

    THistoryStore reader(Folder());
    reader.OpenForReading();
    const qint64 newest =
        writer.Record(MakeCall(QStringLiteral("Newest"), bigAnswer(QStringLiteral("Tlaloc"))),
                      THistoryIndexing::DeferLarge);
    EXPECT_EQ(PendingIds(writer.FileName()), (std::vector<qint64>{bigId, newest}));
    const struct {
        const char* Filter;
        std::vector<qint64> Ids;
    } cases[] = {
        {"", {newest, bigId, small}}, {"vanished", {}},       {"tiny", {small}},
        {"quetzal", {bigId}},         {"xochitl tlaloc", {}}, {"tlaloc", {newest}},
        {"xochitl", {bigId}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListedIds(reader, QString::fromUtf8(c.Filter)), c.Ids) << c.Filter;
    EXPECT_TRUE(PendingIds(writer.FileName()).empty());

    const qint64 later =
        writer.Record(MakeCall(QStringLiteral("Later"), bigAnswer(QStringLiteral("Huitzil"))),
                      THistoryIndexing::DeferLarge);
    writer.Close();
    {
        THistoryRecorder recorder(Folder(), limits);
        recorder.WaitIdle();
        EXPECT_EQ(recorder.Status(), QString());
    }
    EXPECT_TRUE(PendingIds(writer.FileName()).empty());
    EXPECT_EQ(ListedIds(reader, QStringLiteral("huitzil")), std::vector<qint64>{later});
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

TEST_F(HistoryTest, OlderSchemasAreMigratedAndANewerOneLeftAlone) {
    ASSERT_TRUE(QDir().mkpath(Folder()));
    const QString file = Folder() + QStringLiteral("/history.sqlite");
    // The first schema, with one call in it.
    const QStringList firstSchema{
        QStringLiteral("CREATE TABLE calls (id INTEGER PRIMARY KEY AUTOINCREMENT, when_utc TEXT "
                       "NOT NULL, url TEXT NOT NULL, command TEXT NOT NULL, fields TEXT NOT NULL, "
                       "format TEXT NOT NULL, outcome TEXT NOT NULL, error TEXT NOT NULL, "
                       "status_line TEXT NOT NULL, duration_ms INTEGER NOT NULL, answer_size "
                       "INTEGER NOT NULL, answer BLOB, answer_cut INTEGER NOT NULL, stored_size "
                       "INTEGER NOT NULL)"),
        QStringLiteral("INSERT INTO calls VALUES (7, '2026-01-01T00:00:00.000Z', 'u', 'Old', "
                       "'[\"Command=Old\"]', 'JSON', 'error', 'gone', '', 5, 0, NULL, 0, 0)"),
        QStringLiteral("PRAGMA user_version = 1")};
    // The second, with a call whose answer was indexed as it was recorded.
    QStringList secondSchema = firstSchema;
    secondSchema.removeLast();
    secondSchema
        << QStringLiteral("ALTER TABLE calls ADD COLUMN content_type TEXT NOT NULL DEFAULT ''")
        << QStringLiteral("ALTER TABLE calls ADD COLUMN charset TEXT NOT NULL DEFAULT ''")
        << QStringLiteral("CREATE VIRTUAL TABLE calls_fts USING fts5(command, fields, answer, "
                          "content='')")
        << QStringLiteral("INSERT INTO calls (id, when_utc, url, command, fields, format, "
                          "outcome, error, status_line, duration_ms, answer_size, answer, "
                          "answer_cut, stored_size) VALUES (8, '2026-01-02T00:00:00.000Z', 'u', "
                          "'Older', '[\"Command=Older\"]', 'JSON', 'answer', '', '', 5, 9, "
                          "x'%1', 0, 0)")
               .arg(QString::fromLatin1(qCompress(QByteArray("Zephyrine")).toHex()))
        << QStringLiteral("INSERT INTO calls_fts (rowid, command, fields, answer) VALUES (8, "
                          "'Older', 'Command=Older', 'Zephyrine')")
        << QStringLiteral("PRAGMA user_version = 2");
    const struct {
        int Version;
        QStringList Setup;
    } cases[] = {
        {0, {QStringLiteral("CREATE TABLE other (x)")}},
        {1, firstSchema},
        {2, secondSchema},
        {THistoryStore::SchemaVersion + 1,
         {QStringLiteral("PRAGMA user_version = %1").arg(THistoryStore::SchemaVersion + 1)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Version);
        QFile::remove(file);
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
            db.setDatabaseName(file);
            ASSERT_TRUE(db.open());
            for (const QString& statement : c.Setup)
                ASSERT_TRUE(QSqlQuery(db).exec(statement)) << statement.toStdString();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("setup"));
        THistoryStore store(Folder());
        if (c.Version > THistoryStore::SchemaVersion) {
            try {
                store.Open();
                ADD_FAILURE() << "a newer file was opened";
            } catch (const EHistoryError& error) {
                EXPECT_FALSE(error.Damaged());
            }
            EXPECT_TRUE(QFile::exists(file));
            continue;
        }
        EXPECT_EQ(store.Open(), QString());
        THistoryCall call = MakeCall(QStringLiteral("New"), QStringLiteral("b"));
        call.ContentType = QStringLiteral("text/plain");
        const qint64 id = store.Record(call);
        EXPECT_EQ(store.Load(id)->ContentType, QStringLiteral("text/plain"));
        if (c.Version == 1) {
            const std::optional<THistoryCall> old = store.Load(7);
            ASSERT_TRUE(old);
            EXPECT_EQ(old->ErrorText, QStringLiteral("gone"));
            EXPECT_EQ(old->ContentType, QString());
            EXPECT_EQ(ListedIds(store, {}), (std::vector<qint64>{id, 7}));
        }
        if (c.Version == 2) {
            EXPECT_EQ(store.Load(8)->Answer, QStringLiteral("Zephyrine"));
            EXPECT_EQ(ListedIds(store, QStringLiteral("zephyr")), std::vector<qint64>{8});
            EXPECT_TRUE(PendingIds(file).empty());
        }
    }
}

// Answers are kept as zstd frames; calls kept by earlier versions hold zlib's form and must read
// as before, whether a call is opened or its words are indexed later.
TEST_F(HistoryTest, AnswersInEitherFormAreReadAndNewOnesAreZstd) {
    const QString deferredText =
        QString(THistoryStore::DeferIndexBytes, u'y') + QStringLiteral(" Itzpapalotl");
    THistoryStore store(Folder());
    store.Open();
    const qint64 fresh = store.Record(MakeCall(QStringLiteral("New"), QStringLiteral("Mixcoatl")));
    // An earlier call tool compressed the kept text itself and left its words for later.
    THistoryCall earlier = MakeCall(QStringLiteral("Earlier"), {});
    earlier.AnswerUtf8 = deferredText.toUtf8();
    earlier.AnswerCompressed = qCompress(earlier.AnswerUtf8, 1);
    const qint64 old = store.Record(earlier, THistoryIndexing::DeferLarge);

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
    db.setDatabaseName(store.FileName());
    ASSERT_TRUE(db.open());
    {
        QSqlQuery blob(db);
        ASSERT_TRUE(blob.exec(QStringLiteral("SELECT answer FROM calls WHERE id = %1").arg(fresh)));
        ASSERT_TRUE(blob.next());
        EXPECT_TRUE(blob.value(0).toByteArray().startsWith("\x28\xB5\x2F\xFD"));
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));

    EXPECT_EQ(store.Load(fresh)->Answer, QStringLiteral("Mixcoatl"));
    EXPECT_EQ(store.Load(old)->Answer, deferredText);
    EXPECT_EQ(ListedIds(store, QStringLiteral("itzpapalotl")), std::vector<qint64>{old});
    EXPECT_EQ(ListedIds(store, QStringLiteral("mixcoatl")), std::vector<qint64>{fresh});

    // Given only compressed, a text is unpacked where it is needed whole: to be indexed at once,
    // or to be cut to the limit.
    const QByteArray packedText = "Tezcatlipoca " + QByteArray(100, 'z');
    THistoryCall packed = MakeCall(QStringLiteral("Packed"), {});
    packed.AnswerCompressed = AnswerBlob::Compress(packedText);
    packed.AnswerTextBytes = packedText.size();
    const qint64 packedId = store.Record(packed);
    EXPECT_EQ(store.Load(packedId)->Answer, QString::fromUtf8(packedText));
    EXPECT_FALSE(store.Load(packedId)->AnswerCut);
    EXPECT_EQ(ListedIds(store, QStringLiteral("tezcatlipoca")), std::vector<qint64>{packedId});
    store.Close();
    THistoryLimits small;
    small.MaxAnswerBytes = 20;
    THistoryStore cutting(Folder(), small);
    cutting.Open();
    const std::optional<THistoryCall> cut = cutting.Load(cutting.Record(packed));
    EXPECT_EQ(cut->Answer, QString::fromUtf8(packedText.first(20)));
    EXPECT_TRUE(cut->AnswerCut);
}

// The call tool leaves its journal for the next opener, which folds it into the file at once;
// the window folds its own as it closes. Either way every call reads back at every moment.
TEST_F(HistoryTest, JournalIsFoldedAsTheNextToolOpensOrAsTheWindowCloses) {
    const QString file = Folder() + QStringLiteral("/history.sqlite");
    const QString journal = file + QStringLiteral("-wal");
    // The calls the main file holds by itself, read from a copy of it alone.
    const auto inFileAlone = [&] {
        QTemporaryDir copy;
        const QString folder = copy.filePath(QStringLiteral("vlcallbench"));
        EXPECT_TRUE(QDir().mkpath(folder));
        EXPECT_TRUE(QFile::copy(file, folder + QStringLiteral("/history.sqlite")));
        THistoryStore store(folder);
        store.Open();
        return ListedIds(store, {});
    };
    const auto record = [&](THistoryFolding AFolding, const QString& ACommand) {
        THistoryRecorder recorder(Folder(), {}, THistoryIndexing::DeferLarge, AFolding);
        qint64 id = 0;
        QObject::connect(&recorder, &THistoryRecorder::Recorded, [&](qint64 AId) { id = AId; });
        recorder.Record(MakeCall(ACommand, QStringLiteral("answer")));
        recorder.WaitIdle();
        EXPECT_EQ(recorder.Status(), QString());
        QCoreApplication::processEvents();
        return id;
    };

    const qint64 first = record(THistoryFolding::OnNextOpen, QStringLiteral("First"));
    EXPECT_GT(QFileInfo(journal).size(), 0);
    THistoryStore reader(Folder());
    reader.OpenForReading();
    EXPECT_EQ(ListedIds(reader, {}), std::vector<qint64>{first});
    reader.Close();

    const qint64 second = record(THistoryFolding::OnNextOpen, QStringLiteral("Second"));
    EXPECT_EQ(inFileAlone(), std::vector<qint64>{first});

    const qint64 third = record(THistoryFolding::OnClose, QStringLiteral("Third"));
    EXPECT_FALSE(QFileInfo::exists(journal));
    EXPECT_EQ(inFileAlone(), (std::vector<qint64>{third, second, first}));
}

TEST(AnswerBlob, RoundTripsAndRefusesDamagedOrOversizedBlobs) {
    QByteArray noise;
    for (int i = 0; i < (1 << 20); ++i)
        noise.append(static_cast<char>(QRandomGenerator::global()->bounded(256)));
    for (const QByteArray& text :
         {QByteArray("{}"), QByteArray("Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x83\x8F"),
          QByteArray(3 << 20, 'a'), noise}) {
        const QByteArray blob = AnswerBlob::Compress(text);
        EXPECT_EQ(AnswerBlob::Decompress(blob), text);
        EXPECT_EQ(AnswerBlob::Decompress(qCompress(text)), text); // an earlier version's form
        // Made piece by piece, the frame does not say how large its text is.
        AnswerBlob::TWriter writer;
        const qsizetype third = text.size() / 3;
        writer.Append(QByteArrayView(text).first(third));
        writer.Append(QByteArrayView(text).sliced(third, third));
        const QByteArray pieced = writer.Finish(QByteArrayView(text).sliced(2 * third));
        EXPECT_EQ(AnswerBlob::Decompress(pieced), text);
        if (text.size() > 1000) {
            EXPECT_TRUE(AnswerBlob::Decompress(pieced.first(pieced.size() - 100)).isEmpty());
        }
    }
    EXPECT_TRUE(AnswerBlob::Compress(QByteArray()).isEmpty());
    EXPECT_TRUE(AnswerBlob::Decompress(QByteArray()).isEmpty());

    const QByteArray blob = AnswerBlob::Compress(noise);
    QByteArray flipped = blob;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x5A);
    // A zstd frame whose header claims more text than a call can have (the frame header's
    // content size is 8 bytes after a descriptor of 0xE0: single segment, 8-byte size).
    QByteArray huge("\x28\xB5\x2F\xFD\xE0", 5);
    const quint64 claimed = quint64(1) << 40;
    for (int i = 0; i < 8; ++i)
        huge.append(static_cast<char>((claimed >> (8 * i)) & 0xFF));
    const struct {
        const char* Name;
        QByteArray Blob;
    } damaged[] = {
        {"cut short", blob.left(blob.size() / 2)},
        {"a byte changed", flipped},
        {"no frame at all", QByteArray("\x28\xB5\x2F\xFD", 4)},
        {"a huge zstd frame", huge},
        {"a huge zlib form", QByteArray("\x7F\xFF\xFF\xFF\x78\x01", 6)},
        {"garbage", QByteArray("not a blob")},
    };
    for (const auto& d : damaged)
        EXPECT_TRUE(AnswerBlob::Decompress(d.Blob).isEmpty()) << d.Name;
}

TEST(HistoryDefaults, LimitsAndPlace) {
    const THistoryLimits limits;
    EXPECT_EQ(limits.MaxCalls, 2000);
    EXPECT_EQ(limits.MaxStoredBytes, 512ll * 1024 * 1024);
    EXPECT_EQ(limits.MaxAnswerBytes, 16ll * 1024 * 1024);
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path()));
    EXPECT_EQ(THistoryStore(QString()).FileName(),
              dir.path() + QStringLiteral("/vlcallbench/history.sqlite"));
    qputenv("XDG_DATA_HOME", saved);
}

} // namespace
