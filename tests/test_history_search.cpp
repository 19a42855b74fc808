// Searching the call history: filter texts of any shape, the profile called, a listing stopped as
// it runs, answers left to be indexed later, and the window's searches on their workers.

#include "HistoryCallFixture.h"
#include "HistorySearch.h"
#include "HistoryStore.h"

#include <QSqlQuery>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using HistorySearchTest = THistoryFolderTest;

// The ids List gives for AFilter, in its order; the list read whole.
std::vector<qint64> SummaryIds(THistoryStore& AStore, const QString& AFilter) {
    std::vector<qint64> ids;
    const std::optional<std::vector<THistorySummary>> calls = AStore.List(AFilter);
    EXPECT_TRUE(calls);
    if (calls)
        for (const THistorySummary& call : *calls)
            ids.push_back(call.Id);
    return ids;
}

QStringList Numbered(const QString& APattern, int ACount) {
    QStringList words;
    for (int i = 0; i < ACount; ++i)
        words.append(APattern.arg(i));
    return words;
}

THistoryCall LargeAnswer(const QString& ACommand, const QString& AWord) {
    return MakeCall(ACommand, QString(THistoryStore::DeferIndexBytes, u'x') + u' ' + AWord);
}

TEST(HistoryFilterTerms, EachWordOnceAsAPrefixTheLongestFirst) {
    const struct {
        const char* Filter;
        QStringList Terms;
    } cases[] = {
        {"", {}},
        {"  Alpha  beta ", {QStringLiteral("\"Alpha\"*"), QStringLiteral("\"beta\"*")}},
        // A word that begins another finds whatever that one finds.
        {"ab ABCD abc", {QStringLiteral("\"ABCD\"*")}},
        {"tl tlaloc TL", {QStringLiteral("\"tlaloc\"*")}},
        {"say\"hi\"", {QStringLiteral("\"say\"\"hi\"\"\"*")}},
        {"% -- \"", {}},
        {"2026-01-02 %", {QStringLiteral("\"2026-01-02\"*")}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(THistoryFilter(QString::fromUtf8(c.Filter)).Terms, c.Terms) << c.Filter;
}

// Long words, many words, quotes and punctuation give their matches, not an error, through the
// tools' query and the window's listing alike.
TEST_F(HistorySearchTest, FilterTextsOfAnyShapeGiveTheirMatches) {
    const QString longWord = QStringLiteral("quetzalcoatl").repeated(3) + QStringLiteral("abcd");
    ASSERT_EQ(longWord.size(), 40);
    const QStringList forty = Numbered(QStringLiteral("word%1"), 40);
    THistoryCall named = MakeCall(QStringLiteral("Get") + longWord, QStringLiteral("{}"));
    THistoryCall wordy = MakeCall(QStringLiteral("LogsEvent"), forty.join(u' '));
    THistoryCall quoted = MakeCall(QStringLiteral("RingGamesList"), {}, THistoryOutcome::Error);
    quoted.ErrorText = QStringLiteral("Socket Error # 10061\r\nConnection refused.");
    quoted.Fields.append(QStringLiteral("Note=say \"hi\" 50%"));
    THistoryCall answered = MakeCall(QStringLiteral("AccountsList"),
                                     QStringLiteral("{\"Player\":\"") + longWord + "\"}");
    const std::vector<qint64> ids = RecordAll({named, wordy, quoted, answered});
    THistoryStore store(Folder());
    store.OpenForReading();

    QStringList fortyOneMissing = forty.mid(0, 39);
    fortyOneMissing.append(QStringLiteral("absent"));
    QStringList fortyShuffled = forty;
    std::reverse(fortyShuffled.begin(), fortyShuffled.end());
    const struct {
        const char* What;
        QString Filter;
        std::vector<qint64> Ids;
    } cases[] = {
        {"empty", {}, {ids[3], ids[2], ids[1], ids[0]}},
        {"blank", QStringLiteral(" \t "), {ids[3], ids[2], ids[1], ids[0]}},
        // Found inside the command name and as a word of the answer.
        {"word of 40 letters", longWord, {ids[3], ids[0]}},
        {"its start", longWord.left(20).toUpper(), {ids[3], ids[0]}},
        {"longer than any word", longWord + u'x', {}},
        {"word of 60,000 letters", QString(60000, u'q'), {}},
        {"40 words", forty.join(u' '), {ids[1]}},
        {"40 words, other order and case", fortyShuffled.join(u' ').toUpper(), {ids[1]}},
        {"39 of them and one absent", fortyOneMissing.join(u' '), {}},
        {"a quote in a word", QStringLiteral("\"word7"), {ids[1]}},
        {"quotes around a word", QStringLiteral("\"hi\""), {ids[2]}},
        // Without a letter or digit: inside the command, the values or the error.
        {"only a quote", QStringLiteral("\""), {ids[2]}},
        {"only punctuation", QStringLiteral("#"), {ids[2]}},
        {"a percent sign", QStringLiteral("%"), {ids[2]}},
        {"an underscore", QStringLiteral("_"), {}},
        {"punctuation nowhere", QStringLiteral("%$"), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        try {
            EXPECT_EQ(ListedIds(store, c.Filter), c.Ids);
        } catch (const EHistoryError& error) {
            ADD_FAILURE() << error.what();
        }
        EXPECT_EQ(SummaryIds(store, c.Filter), c.Ids);
    }
}

// A call is found by the name of the profile it was made as, or a part of it, in any case, as it
// is found by its command: through the tools' query, the window's listing and its worker alike.
// A before copy is listed as one, with the profile of its call.
TEST_F(HistorySearchTest, FilterFindsCallsByTheirProfile) {
    THistoryCall live = MakeCall(QStringLiteral("AccountsDelete"), QStringLiteral("{}"));
    live.Profile = QStringLiteral("Live-EU");
    THistoryCall read = MakeCall(QStringLiteral("AccountsGet"), QStringLiteral("{}"));
    read.Profile = live.Profile;
    live.BeforeCopy = std::make_shared<THistoryCall>(read);
    THistoryCall staging = MakeCall(QStringLiteral("AccountsGet"), QStringLiteral("{\"Live\":1}"));
    staging.Profile = QStringLiteral("staging 2");
    THistoryCall none = MakeCall(QStringLiteral("SystemStats"), QStringLiteral("{}"));
    const std::vector<qint64> ids = RecordAll({live, staging, none});
    THistoryStore store(Folder());
    store.OpenForReading();
    const std::optional<std::vector<THistorySummary>> all = store.List({});
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), 4u);
    const qint64 before = (*all)[3].Id;
    EXPECT_EQ((*all)[2].Id, ids[0]);
    EXPECT_EQ((*all)[2].BeforeCopyId, before);
    for (const THistorySummary& call : *all)
        EXPECT_EQ(call.IsBeforeCopy, call.Id == before) << call.Id;

    const struct {
        const char* Filter;
        std::vector<qint64> Ids;
    } cases[] = {
        {"live-eu", {ids[0], before}},
        {"EU", {ids[0], before}},
        // A word of the answer, or the whole text inside a profile's name.
        {"live", {ids[1], ids[0], before}},
        {"staging 2", {ids[1]}},
        {"-", {ids[0], before}}, // no word: inside the names, values and errors
        {"live staging", {}},
        {"production", {}},
    };
    THistorySearch search(Folder());
    std::vector<qint64> listed;
    QObject::connect(&search, &THistorySearch::Listed,
                     [&](const std::vector<THistorySummary>& ACalls, const QString& AError) {
                         EXPECT_EQ(AError, QString());
                         listed.clear();
                         for (const THistorySummary& call : ACalls)
                             listed.push_back(call.Id);
                     });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Filter);
        const QString filter = QString::fromUtf8(c.Filter);
        EXPECT_EQ(ListedIds(store, filter), c.Ids);
        EXPECT_EQ(SummaryIds(store, filter), c.Ids);
        search.Search(filter);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !search.Busy(); }, 10000));
        EXPECT_EQ(listed, c.Ids);
    }
}

// The stop is asked before the query and then as it runs, from inside SQLite; either way the
// listing gives nothing rather than a part of the list.
TEST_F(HistorySearchTest, ListingStopsWhenAskedEvenMidQuery) {
    THistoryStore(Folder()).Open();
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(Folder() + QStringLiteral("/history.sqlite"));
        ASSERT_TRUE(db.open());
        QSqlQuery fill(db);
        ASSERT_TRUE(fill.exec(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
            "INSERT INTO calls (when_utc, url, command, fields, format, outcome, error, "
            "status_line, duration_ms, answer_size, answer, answer_cut, stored_size) "
            "SELECT '2026-01-01T00:00:00.000Z', 'u', 'Call' || i, '[]', 'JSON', 'answer', '', '', "
            "1, 0, NULL, 0, 0 FROM n")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    THistoryStore store(Folder());
    store.OpenForReading();
    ASSERT_EQ(SummaryIds(store, {}).size(), 2000u);
    const struct {
        const char* Filter;
        int StopAt; // the stop answers true from this question on
    } cases[] = {{"", 1}, {"", 2}, {"call", 1}, {"call", 2}, {"%", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.Filter << "\" stopped at " << c.StopAt);
        int asked = 0;
        EXPECT_FALSE(store.List(QString::fromUtf8(c.Filter), [&] { return ++asked >= c.StopAt; }));
        EXPECT_EQ(asked, c.StopAt);
    }
    // Stopped midway, the connection still lists in full.
    EXPECT_EQ(SummaryIds(store, QStringLiteral("call")).size(), 2000u);
}

// The window's listing searches the answers indexed so far and leaves the rest to be indexed,
// counting them; the tools' query indexes them first.
TEST_F(HistorySearchTest, ListingSearchesIndexedAnswersAndCountsTheRest) {
    THistoryStore writer(Folder());
    writer.Open();
    const qint64 small = writer.Record(MakeCall(QStringLiteral("Small"), QStringLiteral("Tlaloc")),
                                       THistoryIndexing::DeferLarge);
    const qint64 large =
        writer.Record(LargeAnswer(QStringLiteral("Large"), QStringLiteral("Tlaloc")),
                      THistoryIndexing::DeferLarge);
    THistoryStore reader(Folder());
    reader.OpenForReading();
    EXPECT_EQ(SummaryIds(reader, QStringLiteral("tlaloc")), std::vector<qint64>{small});
    EXPECT_EQ(reader.PendingAnswers(), 1);
    EXPECT_EQ(PendingIds(writer.FileName()), std::vector<qint64>{large});
    EXPECT_EQ(ListedIds(reader, QStringLiteral("tlaloc")), (std::vector<qint64>{large, small}));
    EXPECT_EQ(reader.PendingAnswers(), 0);
    EXPECT_EQ(SummaryIds(reader, QStringLiteral("tlaloc")), (std::vector<qint64>{large, small}));
}

// Of two searches in a row only the newer is listed; answers left for later are indexed one at a
// time while the list shows what was found, and found once indexed.
TEST_F(HistorySearchTest, WindowSearchListsTheNewestFilterAndIndexesMeanwhile) {
    THistoryStore writer(Folder());
    writer.Open();
    const qint64 small = writer.Record(MakeCall(QStringLiteral("Small"), QStringLiteral("Tlaloc")));
    std::vector<qint64> large;
    large.reserve(3);
    for (int i = 0; i < 3; ++i)
        large.push_back(
            writer.Record(LargeAnswer(QStringLiteral("Large"), QStringLiteral("Tlaloc")),
                          THistoryIndexing::DeferLarge));
    writer.Close();

    THistorySearch search(Folder());
    std::vector<std::vector<qint64>> listed;
    std::vector<qint64> left;
    QObject::connect(&search, &THistorySearch::Listed,
                     [&](const std::vector<THistorySummary>& ACalls, const QString& AError) {
                         EXPECT_EQ(AError, QString());
                         listed.emplace_back();
                         for (const THistorySummary& call : ACalls)
                             listed.back().push_back(call.Id);
                     });
    QObject::connect(&search, &THistorySearch::Indexing,
                     [&](qint64 ALeft) { left.push_back(ALeft); });
    QObject::connect(&search, &THistorySearch::IndexingFailed,
                     [](const QString& AError) { ADD_FAILURE() << AError.toStdString(); });
    // A filter without words indexes nothing; the newer one needs the answers.
    search.Search(QStringLiteral("%"));
    search.Search(QStringLiteral("tlaloc"));
    EXPECT_TRUE(search.Busy());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !left.empty() && left.back() == 0; }, 30000));
    EXPECT_FALSE(search.Busy());
    EXPECT_EQ(listed, std::vector<std::vector<qint64>>{{small}});
    EXPECT_EQ(left, (std::vector<qint64>{3, 2, 1, 0}));
    EXPECT_TRUE(PendingIds(writer.FileName()).empty());

    search.Search(QStringLiteral("tlaloc"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !search.Busy(); }, 10000));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed.back(), (std::vector<qint64>{large[2], large[1], large[0], small}));
    // A stopped search is never listed.
    search.Search({});
    search.Stop();
    EXPECT_FALSE(search.Busy());
    search.Search(QStringLiteral("small"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !search.Busy(); }, 10000));
    EXPECT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed.back(), std::vector<qint64>{small});
}

} // namespace
