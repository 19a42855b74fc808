// The call history store: what a row keeps, the limits, the cut of a long answer, the filter and
// its deferred word index, escaped characters found as themselves, either form of a kept answer,
// when the journal goes into the file, and a call recorded while a clear holds the file.

#include "AnswerBlob.h"
#include "HistoryCallFixture.h"
#include "HistoryRecorder.h"
#include "HistoryStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace {

using HistoryTest = THistoryFolderTest;

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

// A call kept with its before copy: the read goes in first as an entry of its own, without the
// password, and the call names it; both name the profile they went to, in the entry and the list.
TEST_F(HistoryTest, CallKeepsItsProfileAndItsBeforeCopy) {
    THistoryCall read = MakeCall(QStringLiteral("AccountsGet"), QStringLiteral("{\"Balance\":5}"));
    read.Profile = QStringLiteral("live");
    THistoryCall change = MakeCall(QStringLiteral("AccountsDelete"), QStringLiteral("{}"));
    change.Profile = QStringLiteral("live");
    change.BeforeCopy = std::make_shared<THistoryCall>(read);
    const THistoryCall plain = MakeCall(QStringLiteral("SystemStats"), QStringLiteral("{}"));
    const std::vector<qint64> ids = RecordAll({change, plain});
    ASSERT_EQ(ids.size(), 2u);

    THistoryStore store(Folder());
    store.OpenForReading();
    const std::optional<THistoryCall> kept = store.Load(ids[0]);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->Command, QStringLiteral("AccountsDelete"));
    EXPECT_EQ(kept->Profile, QStringLiteral("live"));
    ASSERT_GT(kept->BeforeCopyId, 0);
    EXPECT_LT(kept->BeforeCopyId, ids[0]);
    const std::optional<THistoryCall> before = store.Load(kept->BeforeCopyId);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->Command, QStringLiteral("AccountsGet"));
    EXPECT_EQ(before->Answer, QStringLiteral("{\"Balance\":5}"));
    EXPECT_EQ(before->Profile, QStringLiteral("live"));
    EXPECT_EQ(before->BeforeCopyId, 0);
    EXPECT_TRUE(before->Fields.contains(QStringLiteral("Password=")));
    EXPECT_EQ(store.Load(ids[1])->Profile, QString());

    const std::optional<std::vector<THistorySummary>> listed = store.List({});
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->size(), 3u);
    EXPECT_EQ((*listed)[1].Id, ids[0]);
    EXPECT_EQ((*listed)[1].Profile, QStringLiteral("live"));
    EXPECT_EQ((*listed)[1].BeforeCopyId, kept->BeforeCopyId);
    EXPECT_EQ((*listed)[2].Id, kept->BeforeCopyId);
    EXPECT_EQ((*listed)[0].BeforeCopyId, 0);
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

// Characters an answer sent as JSON escapes are found as the characters, as the results window
// shows them, however the answer was recorded: indexed at once (the window's recorder), or left
// by the call tool for later and indexed by a reader's search or by the window's recorder as it
// opens the file. Escapes that stay escapes there stay so here. A call dropped by the limits
// takes the decoded words out of the index with it.
TEST_F(HistoryTest, EscapedCharactersAreFoundAsThemselves) {
    const QString answers[] = {
        QStringLiteral(R"({"Player":"M\u00fcller"})"),
        QStringLiteral(R"({"City":"K\u00F6ln","Mood":"\ud83d\ude00"})"),
        QStringLiteral(R"({"Word":"\u65e5\u672c\u8a9e"})"),
        QStringLiteral(R"({"Note":"\\u00fcber"})"), // an escaped backslash, then "u00fcber"
        QStringLiteral(R"({"Bell":"a\u0007b"})"),   // a control character stays escaped
    };
    const struct {
        const char* Filter;
        std::vector<int> Answers; // the answers found, by their place above
    } filters[] = {
        {"Müller", {0}}, {"müll", {0}},     {"u00fcller", {}}, {"Köln", {1}},   {"日本語", {2}},
        {"über", {}},    {"u00fcber", {3}}, {"u0007b", {4}},   {"köln m", {1}},
    };
    // The words the index holds for them, as its tokenizer folds them.
    const QString terms[] = {QStringLiteral("muller"), QStringLiteral("koln"),
                             QStringLiteral("日本語"), QStringLiteral("u00fcber"),
                             QStringLiteral("u0007b")};
    enum TPath { Recorder, ToolThenReader, ToolThenRecorder };
    for (const TPath path : {Recorder, ToolThenReader, ToolThenRecorder}) {
        SCOPED_TRACE(path);
        QDir(Folder()).removeRecursively();
        std::vector<qint64> ids;
        {
            const bool tool = path != Recorder;
            THistoryRecorder recorder(
                Folder(), {}, tool ? THistoryIndexing::DeferLarge : THistoryIndexing::Immediate,
                tool ? THistoryFolding::OnNextOpen : THistoryFolding::OnClose);
            QObject::connect(&recorder, &THistoryRecorder::Recorded,
                             [&](qint64 AId) { ids.push_back(AId); });
            for (const QString& answer : answers)
                recorder.Record(MakeCall(
                    QStringLiteral("AccountsGet"),
                    tool ? QString(THistoryStore::DeferIndexBytes, u' ') + answer : answer));
            recorder.WaitIdle();
            EXPECT_EQ(recorder.Status(), QString());
            QCoreApplication::processEvents();
        }
        ASSERT_EQ(ids.size(), std::size(answers));
        const QString file = Folder() + QStringLiteral("/history.sqlite");
        EXPECT_EQ(PendingIds(file).size(), path == Recorder ? 0u : std::size(answers));
        if (path == ToolThenRecorder) {
            THistoryRecorder window(Folder());
            window.WaitIdle();
            EXPECT_TRUE(PendingIds(file).empty());
        }
        THistoryStore reader(Folder());
        reader.OpenForReading();
        for (const auto& f : filters) {
            std::vector<qint64> expected;
            for (auto at = f.Answers.rbegin(); at != f.Answers.rend(); ++at)
                expected.push_back(ids[static_cast<std::size_t>(*at)]);
            EXPECT_EQ(ListedIds(reader, QString::fromUtf8(f.Filter)), expected) << f.Filter;
        }
        reader.Close();
        for (const QString& term : terms)
            EXPECT_EQ(IndexedCalls(file, term), 1) << term.toStdString();

        THistoryLimits one;
        one.MaxCalls = 1;
        THistoryStore writer(Folder(), one);
        writer.Open();
        writer.Record(MakeCall(QStringLiteral("SystemStats"), QStringLiteral("{}")));
        for (const QString& term : terms)
            EXPECT_EQ(IndexedCalls(file, term), 0) << term.toStdString();
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

// A clear of a large history, with the window's list holding a snapshot of the file, takes the
// file for longer than a writer used to wait; a call recorded meanwhile still goes in.
TEST_F(HistoryTest, CallIsRecordedWhileAClearHoldsTheFile) {
    const QString file = Folder() + QStringLiteral("/history.sqlite");
    THistoryStore(Folder()).Open();
    const auto connect = [&](const QString& AName, const QString& AOptions) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), AName);
        db.setDatabaseName(file);
        db.setConnectOptions(AOptions);
        EXPECT_TRUE(db.open());
        return db;
    };
    std::string cleared = "not run";
    {
        // 64 MiB of answers, made by SQLite itself.
        QSqlQuery fill(connect(QStringLiteral("fill"), {}));
        ASSERT_TRUE(fill.exec(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1024) "
            "INSERT INTO calls (when_utc, url, command, fields, format, outcome, error, "
            "status_line, duration_ms, answer_size, answer, answer_cut, stored_size) "
            "SELECT '2026-01-01T00:00:00.000Z', 'u', 'Old' || i, '[]', 'JSON', 'answer', '', '', "
            "1, 65536, randomblob(65536), 0, 65536 FROM n")));
        QSqlQuery list(connect(QStringLiteral("list"), {}));
        ASSERT_TRUE(list.exec(QStringLiteral("SELECT id FROM calls ORDER BY id DESC")));
        ASSERT_TRUE(list.next());

        std::thread clearer([&] {
            try {
                THistoryStore store(Folder());
                store.Open();
                store.Clear();
                cleared.clear();
            } catch (const EHistoryError& error) {
                cleared = error.what();
            }
        });
        // The clear has the file once a writer that does not wait finds it taken.
        QSqlQuery probe(connect(QStringLiteral("probe"), QStringLiteral("QSQLITE_BUSY_TIMEOUT=0")));
        QElapsedTimer waited;
        waited.start();
        while (probe.exec(QStringLiteral("BEGIN IMMEDIATE")) && waited.elapsed() < 10000)
            probe.exec(QStringLiteral("ROLLBACK"));
        EXPECT_LT(waited.elapsed(), 10000);
        THistoryStore recorder(Folder());
        recorder.Open();
        try {
            recorder.Record(MakeCall(QStringLiteral("During"), QStringLiteral("the clear")));
        } catch (const EHistoryError& error) {
            ADD_FAILURE() << error.what();
        }
        clearer.join();
        list.finish();
    }
    for (const char* name : {"fill", "list", "probe"})
        QSqlDatabase::removeDatabase(QString::fromLatin1(name));
    EXPECT_EQ(cleared, "");
    THistoryStore store(Folder());
    store.OpenForReading();
    EXPECT_EQ(ListedIds(store, QStringLiteral("During")).size(), 1u);
    EXPECT_EQ(ListedIds(store, {}).size(), 1u);
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
