// The history's schema: files written by each earlier version are brought to the current one
// with their calls, a file of a newer version is left alone, a file whose version and tables
// disagree is repaired, and processes opening a new history together leave it complete.

#include "AnswerBlob.h"
#include "HistoryCallFixture.h"
#include "HistoryProcesses.h"
#include "HistoryStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <sqlite3.h>
#include <thread>

namespace {

TEST(HistoryProcess, RecordsOneCall) {
    RunHistoryProcess();
}

using HistoryTest = THistoryFolderTest;

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

// A call as the files in tests/data/history hold it (see the scripts beside them): an answer in
// JSON, unless changed after.
THistoryCall StoredCall(qint64 AId, const char* AWhen, QStringList AFields, qint64 ADurationMs,
                        const QString& AAnswer) {
    THistoryCall call;
    call.Id = AId;
    call.When = QDateTime::fromString(QString::fromLatin1(AWhen), Qt::ISODateWithMs);
    call.URL = QStringLiteral("http://127.0.0.1:8087/api");
    call.Command = AFields.front().section(u'=', 1);
    call.Fields = std::move(AFields);
    call.Format = QStringLiteral("JSON");
    call.StatusLine = QStringLiteral("HTTP/1.1 200 OK");
    call.DurationMs = ADurationMs;
    call.Answer = AAnswer;
    call.AnswerSize = AAnswer.toUtf8().size();
    return call;
}

void ExpectSameCall(const THistoryCall& AActual, const THistoryCall& AExpected) {
    SCOPED_TRACE(AExpected.Command.toStdString());
    EXPECT_EQ(AActual.Id, AExpected.Id);
    EXPECT_EQ(AActual.When, AExpected.When);
    EXPECT_EQ(AActual.URL, AExpected.URL);
    EXPECT_EQ(AActual.Command, AExpected.Command);
    EXPECT_EQ(AActual.Fields, AExpected.Fields);
    EXPECT_EQ(AActual.Format, AExpected.Format);
    EXPECT_EQ(AActual.Outcome, AExpected.Outcome);
    EXPECT_EQ(AActual.ErrorText, AExpected.ErrorText);
    EXPECT_EQ(AActual.StatusLine, AExpected.StatusLine);
    EXPECT_EQ(AActual.DurationMs, AExpected.DurationMs);
    EXPECT_EQ(AActual.AnswerSize, AExpected.AnswerSize);
    EXPECT_EQ(AActual.Answer, AExpected.Answer);
    EXPECT_EQ(AActual.AnswerCut, AExpected.AnswerCut);
    EXPECT_EQ(AActual.ContentType, AExpected.ContentType);
    EXPECT_EQ(AActual.CharSet, AExpected.CharSet);
    EXPECT_EQ(AActual.Profile, AExpected.Profile);
    EXPECT_EQ(AActual.BeforeCopyId, AExpected.BeforeCopyId);
}

const QStringList AllColumns{
    QStringLiteral("id"),          QStringLiteral("when_utc"),       QStringLiteral("url"),
    QStringLiteral("command"),     QStringLiteral("fields"),         QStringLiteral("format"),
    QStringLiteral("outcome"),     QStringLiteral("error"),          QStringLiteral("status_line"),
    QStringLiteral("duration_ms"), QStringLiteral("answer_size"),    QStringLiteral("answer"),
    QStringLiteral("answer_cut"),  QStringLiteral("stored_size"),    QStringLiteral("content_type"),
    QStringLiteral("charset"),     QStringLiteral("answer_indexed"), QStringLiteral("profile"),
    QStringLiteral("before_copy")};
const QStringList AllIndexes{QStringLiteral("calls_sizes"), QStringLiteral("calls_unindexed")};

// The file's schema as SQLite reports it: its version, the columns of the calls and the indexes.
struct TSchema {
    int Version = 0;
    QStringList Columns;
    QStringList Indexes;
};

TSchema SchemaOf(const QString& AFile) {
    TSchema schema;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("schema"));
        db.setDatabaseName(AFile);
        EXPECT_TRUE(db.open());
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(QStringLiteral("PRAGMA user_version")) && query.next());
        schema.Version = query.value(0).toInt();
        EXPECT_TRUE(query.exec(QStringLiteral("SELECT name FROM pragma_table_info('calls')")));
        while (query.next())
            schema.Columns.append(query.value(0).toString());
        EXPECT_TRUE(query.exec(QStringLiteral(
            "SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'calls' AND sql "
            "IS NOT NULL ORDER BY name")));
        while (query.next())
            schema.Indexes.append(query.value(0).toString());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("schema"));
    return schema;
}

// Files as versions 1 to 3 wrote them, answers in their zlib form, opened by today's store: the
// schema is brought up to date, every call reads back as written and is found by its words (a
// call left to be indexed later as soon as the filter needs it), and the limits drop the oldest
// call from the table and the word index alike.
TEST_F(HistoryTest, FilesOfEachEarlierVersionAreMigratedWithTheirCalls) {
    const THistoryCall accounts =
        StoredCall(1, "2026-01-02T03:04:05.678Z",
                   {QStringLiteral("Command=AccountsList"), QStringLiteral("Password="),
                    QStringLiteral("JSON=Yes")},
                   42, QStringLiteral("{\"Accounts\":[\"Zephyrine\"]}"));
    THistoryCall logs = StoredCall(2, "2026-01-02T03:05:00.000Z",
                                   {QStringLiteral("Command=LogsEvent"),
                                    QStringLiteral("Password="), QStringLiteral("Date=2026-01-02")},
                                   7, {});
    logs.Format = QStringLiteral("Legacy");
    logs.Outcome = THistoryOutcome::Error;
    logs.StatusLine.clear();
    logs.ErrorText = QStringLiteral("Socket Error # 10061\r\nConnection refused.");
    THistoryCall get =
        StoredCall(3, "2026-01-02T03:06:00.000Z",
                   {QStringLiteral("Command=AccountsGet"), QStringLiteral("Password="),
                    QStringLiteral("JSON=No"), QStringLiteral("Player=Quintessa")},
                   9, QStringLiteral("Result=Ok\r\nPlayer=Quintessa"));
    get.Format = QStringLiteral("Legacy");
    get.ContentType = QStringLiteral("text/plain");
    get.CharSet = QStringLiteral("windows-1252");
    THistoryCall stats =
        StoredCall(3, "2026-01-02T03:07:00.000Z",
                   {QStringLiteral("Command=SystemStats"), QStringLiteral("Password="),
                    QStringLiteral("JSON=Yes")},
                   11, QStringLiteral("{\"Result\":\"Ok\",\"Words\":\"Quetzalcoatl\"}"));
    stats.ContentType = QStringLiteral("application/json");
    stats.CharSet = QStringLiteral("utf-8");

    const struct {
        int Version;
        std::vector<THistoryCall> Calls; // oldest first
        std::vector<qint64> Pending;
        const char* Word; // in the newest call's answer or fields
    } cases[] = {
        {1, {accounts, logs}, {}, "2026-01-02"},
        {2, {accounts, logs, get}, {}, "quintessa"},
        {3, {accounts, logs, stats}, {3}, "quetzal"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Version);
        QDir(Folder()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(Folder()));
        const QString file = Folder() + QStringLiteral("/history.sqlite");
        ASSERT_TRUE(QFile::copy(
            QStringLiteral(VL_TESTS_DIR "/data/history/schema-%1.sqlite").arg(c.Version), file));
        ASSERT_EQ(SchemaOf(file).Version, c.Version);

        THistoryLimits limits;
        limits.MaxCalls = static_cast<int>(c.Calls.size());
        THistoryStore store(Folder(), limits);
        EXPECT_EQ(store.Open(), QString());
        const TSchema schema = SchemaOf(file);
        EXPECT_EQ(schema.Version, THistoryStore::SchemaVersion);
        EXPECT_EQ(schema.Columns, AllColumns);
        EXPECT_EQ(schema.Indexes, AllIndexes);
        EXPECT_TRUE(store.Searchable());

        std::vector<qint64> newestFirst;
        for (const THistoryCall& expected : c.Calls) {
            const std::optional<THistoryCall> call = store.Load(expected.Id);
            ASSERT_TRUE(call);
            ExpectSameCall(*call, expected);
            newestFirst.insert(newestFirst.begin(), expected.Id);
        }
        EXPECT_EQ(ListedIds(store, {}), newestFirst);
        EXPECT_EQ(PendingIds(file), c.Pending);
        EXPECT_EQ(ListedIds(store, QStringLiteral("zephyr")), std::vector<qint64>{1});
        EXPECT_EQ(IndexedCalls(file, QStringLiteral("zephyrine")), 1);
        EXPECT_EQ(ListedIds(store, QString::fromLatin1(c.Word)),
                  std::vector<qint64>{c.Calls.back().Id});
        EXPECT_TRUE(PendingIds(file).empty());

        // A call recorded now drops the oldest one kept before.
        const qint64 id =
            store.Record(MakeCall(QStringLiteral("AccountsList"), QStringLiteral("Ixchel")));
        EXPECT_GT(id, c.Calls.back().Id);
        EXPECT_FALSE(store.Load(1));
        // Taken out of the word index with the words it went in with, its answer read back
        // from the zlib form.
        EXPECT_EQ(IndexedCalls(file, QStringLiteral("zephyrine")), 0);
        EXPECT_EQ(ListedIds(store, QStringLiteral("accountslist")), std::vector<qint64>{id});
        EXPECT_EQ(ListedIds(store, QStringLiteral("ixchel")), std::vector<qint64>{id});
    }
}

// A file made by the script of an earlier version's schema (tests/data/history), then changed.
void MakeFile(const QString& AFile, int ASchema, const QStringList& AChanges) {
    QFile script(QStringLiteral(VL_TESTS_DIR "/data/history/schema-%1.sql").arg(ASchema));
    ASSERT_TRUE(script.open(QIODevice::ReadOnly));
    const QByteArray statements = script.readAll() + AChanges.join(u'\n').toUtf8();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(AFile).constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int result = sqlite3_exec(db, statements.constData(), nullptr, nullptr, &error);
    EXPECT_EQ(result, SQLITE_OK) << (error != nullptr ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

// Version 5 indexes answers with their escapes decoded; calls indexed before keep the words they
// went in with (they are not indexed again) and leave the index with those same words, so the
// index stays whole either way. A reader indexing a version 4 file it may not migrate indexes the
// way version 4 did.
TEST_F(HistoryTest, CallsIndexedBeforeEscapesWereDecodedLeaveTheIndexWhole) {
    ASSERT_TRUE(QDir().mkpath(Folder()));
    const QString file = Folder() + QStringLiteral("/history.sqlite");
    MakeFile(file, 3,
             {QStringLiteral("CREATE INDEX calls_sizes ON calls (id, stored_size);"),
              QStringLiteral("PRAGMA user_version = 4;")});
    const QByteArray escaped = R"({"Player":"M\u00fcller"})";
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("v4"));
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open());
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral(
            "INSERT INTO calls (id, when_utc, url, command, fields, format, outcome, error, "
            "status_line, duration_ms, answer_size, answer, answer_cut, stored_size) VALUES (4, "
            "'2026-01-02T03:08:00.000Z', 'u', 'AccountsGet', '[]', 'JSON', 'answer', '', '', 1, "
            "?, ?, 0, ?)"));
        const QByteArray blob = AnswerBlob::Compress(escaped);
        insert.addBindValue(escaped.size());
        insert.addBindValue(blob);
        insert.addBindValue(blob.size());
        ASSERT_TRUE(insert.exec()) << insert.lastError().text().toStdString();
        insert.prepare(QStringLiteral("INSERT INTO calls_fts (rowid, command, fields, answer) "
                                      "VALUES (4, 'AccountsGet', '', ?)"));
        insert.addBindValue(QString::fromUtf8(escaped));
        ASSERT_TRUE(insert.exec()) << insert.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("v4"));

    const auto indexedAs = [&](qint64 AId) {
        int state = -1;
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
            db.setDatabaseName(file);
            EXPECT_TRUE(db.open());
            QSqlQuery query(db);
            query.prepare(QStringLiteral("SELECT answer_indexed FROM calls WHERE id = ?"));
            query.addBindValue(AId);
            EXPECT_TRUE(query.exec() && query.next());
            state = query.value(0).toInt();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("peek"));
        return state;
    };
    {
        // The call left for later (3) is indexed by a reader, which may not migrate the file.
        THistoryStore reader(Folder());
        reader.OpenForReading();
        EXPECT_EQ(ListedIds(reader, QStringLiteral("quetzal")), std::vector<qint64>{3});
        EXPECT_EQ(SchemaOf(file).Version, 4);
        EXPECT_EQ(indexedAs(3), 1) << "as stored, as version 4 indexes";
    }

    THistoryLimits limits;
    limits.MaxCalls = 5;
    THistoryStore store(Folder(), limits);
    EXPECT_EQ(store.Open(), QString());
    EXPECT_EQ(SchemaOf(file).Version, THistoryStore::SchemaVersion);
    EXPECT_EQ(ListedIds(store, QStringLiteral("u00fcller")), std::vector<qint64>{4});
    EXPECT_EQ(ListedIds(store, QStringLiteral("Müller")), std::vector<qint64>{});
    const qint64 decoded =
        store.Record(MakeCall(QStringLiteral("AccountsGet"), QString::fromUtf8(escaped)),
                     THistoryIndexing::Immediate);
    EXPECT_EQ(indexedAs(decoded), 2);
    EXPECT_EQ(ListedIds(store, QStringLiteral("Müller")), std::vector<qint64>{decoded});
    EXPECT_EQ(IndexedCalls(file, QStringLiteral("u00fcller")), 1);
    EXPECT_EQ(IndexedCalls(file, QStringLiteral("muller")), 1);

    // Dropped by the limits, each call takes out of the index the words it put in.
    THistoryLimits one;
    one.MaxCalls = 1;
    THistoryStore dropper(Folder(), one);
    store.Close();
    dropper.Open();
    dropper.Record(MakeCall(QStringLiteral("SystemStats"), QStringLiteral("{}")));
    for (const char* term : {"u00fcller", "muller", "quetzalcoatl", "zephyrine"})
        EXPECT_EQ(IndexedCalls(file, QString::fromLatin1(term)), 0) << term;
}

// Files whose version says less or more than their tables hold, as an interrupted or concurrent
// migration may leave them: each opens, is brought to the current schema with its calls and
// records.
TEST_F(HistoryTest, FilesWhoseVersionAndTablesDisagreeAreRepaired) {
    const QString contentType =
        QStringLiteral("ALTER TABLE calls ADD COLUMN content_type TEXT NOT NULL DEFAULT '';");
    const QString charset =
        QStringLiteral("ALTER TABLE calls ADD COLUMN charset TEXT NOT NULL DEFAULT '';");
    const QString indexed =
        QStringLiteral("ALTER TABLE calls ADD COLUMN answer_indexed INTEGER NOT NULL DEFAULT 1;");
    const QString unindexed =
        QStringLiteral("CREATE INDEX calls_unindexed ON calls (id) WHERE answer_indexed = 0;");
    const QString sizes = QStringLiteral("CREATE INDEX calls_sizes ON calls (id, stored_size);");
    const QString profile =
        QStringLiteral("ALTER TABLE calls ADD COLUMN profile TEXT NOT NULL DEFAULT '';");
    const auto version = [](int AVersion) {
        return QStringLiteral("PRAGMA user_version = %1;").arg(AVersion);
    };
    const struct {
        const char* Name;
        QStringList Changes;
        int Schema; // the script the file starts from
        int Calls;
    } cases[] = {
        {"version 1 with the content type of version 2", {contentType}, 1, 2},
        {"version 1 with every later column and index",
         {contentType, charset, indexed, unindexed, sizes},
         1,
         2},
        {"version 2 with the tables of version 4", {sizes, version(2)}, 3, 3},
        {"version 3 without its index", {QStringLiteral("DROP INDEX calls_unindexed;")}, 3, 3},
        {"version 4 without the sizes index", {version(4)}, 3, 3},
        {"version 0 with the tables of version 4", {sizes, version(0)}, 3, 3},
        {"version 6 without the columns of version 7", {sizes, version(6)}, 3, 3},
        {"version 7 with only one of its columns", {sizes, profile, version(7)}, 3, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QDir(Folder()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(Folder()));
        const QString file = Folder() + QStringLiteral("/history.sqlite");
        MakeFile(file, c.Schema, c.Changes);

        THistoryStore store(Folder());
        try {
            EXPECT_EQ(store.Open(), QString());
        } catch (const EHistoryError& error) {
            ADD_FAILURE() << error.what();
            continue;
        }
        const TSchema schema = SchemaOf(file);
        EXPECT_EQ(schema.Version, THistoryStore::SchemaVersion);
        EXPECT_EQ(schema.Columns, AllColumns);
        EXPECT_EQ(schema.Indexes, AllIndexes);
        EXPECT_EQ(ListedIds(store, {}).size(), static_cast<std::size_t>(c.Calls));
        EXPECT_EQ(ListedIds(store, QStringLiteral("zephyr")), std::vector<qint64>{1});
        try {
            const qint64 id =
                store.Record(MakeCall(QStringLiteral("AccountsList"), QStringLiteral("Ixchel")));
            EXPECT_EQ(ListedIds(store, QStringLiteral("ixchel")), std::vector<qint64>{id});
        } catch (const EHistoryError& error) {
            ADD_FAILURE() << error.what();
        }
    }
}

// A new file still in its first journal mode, written by another connection when the store
// switches it to write-ahead logging: SQLite refuses that switch at once rather than wait, and
// the store waits for the writer instead of giving up.
TEST_F(HistoryTest, SwitchingANewFileWaitsForAWriterInsteadOfFailing) {
    ASSERT_TRUE(QDir().mkpath(Folder()));
    const QByteArray file = QFile::encodeName(Folder() + QStringLiteral("/history.sqlite"));
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(file.constData(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer,
                           "CREATE TABLE early (x); BEGIN IMMEDIATE; INSERT INTO early "
                           "VALUES (1)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    std::promise<std::string> opened;
    std::future<std::string> outcome = opened.get_future();
    std::thread opener([&] {
        try {
            THistoryStore store(Folder());
            opened.set_value(store.Open().toStdString());
        } catch (const EHistoryError& error) {
            opened.set_value(error.what());
        }
    });
    // Refused at once, the open would have ended by now; it must still be waiting.
    EXPECT_EQ(outcome.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    EXPECT_EQ(sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(writer);
    EXPECT_EQ(outcome.get(), "");
    opener.join();
    EXPECT_EQ(SchemaOf(QString::fromLocal8Bit(file)).Version, THistoryStore::SchemaVersion);
}

// Calls of the tool started together into a history that does not exist yet: every one is
// recorded, the file is left at the current version with every column and index once, and the
// next call records.
TEST_F(HistoryTest, ProcessesOpeningANewHistoryTogetherLeaveItComplete) {
    constexpr int Rounds = 3;
    constexpr int Processes = 6;
    for (int round = 0; round < Rounds; ++round) {
        SCOPED_TRACE(round);
        QDir(Folder()).removeRecursively();
        std::vector<QString> commands;
        commands.reserve(Processes);
        for (int i = 0; i < Processes; ++i)
            commands.push_back(QStringLiteral("Call%1").arg(i));
        for (const std::string& status :
             RunHistoryProcesses(Folder(), FDir.filePath(QStringLiteral("gate")), commands))
            EXPECT_EQ(status, "");
        const QString file = Folder() + QStringLiteral("/history.sqlite");
        const TSchema schema = SchemaOf(file);
        EXPECT_EQ(schema.Version, THistoryStore::SchemaVersion);
        EXPECT_EQ(schema.Columns, AllColumns);
        EXPECT_EQ(schema.Indexes, AllIndexes);

        THistoryRecorder recorder(Folder());
        recorder.Record(MakeCall(QStringLiteral("Next"), QStringLiteral("{}")));
        recorder.WaitIdle();
        EXPECT_EQ(recorder.Status().toStdString(), "");
        THistoryStore store(Folder());
        store.OpenForReading();
        EXPECT_EQ(ListedIds(store, {}).size(), static_cast<std::size_t>(Processes + 1));
    }
}

} // namespace
