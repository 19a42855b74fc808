// The history record of a call as the window and the call tool build it.

#include "AnswerBlob.h"
#include "AnswerCapture.h"
#include "Catalogue.h"
#include "HistoryCall.h"
#include "SecretParams.h"

#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

// Readable lines in failures.
inline void PrintTo(const QString& AText, std::ostream* AOut) {
    *AOut << '"' << AText.toStdString() << '"';
}

TEST(HistoryCall, RecordOfEachEnding) {
    const QDateTime when = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
    const QStringList fields{QStringLiteral("Command=AccountsGet"),
                             QStringLiteral("Password=secret"), QStringLiteral("JSON=No")};
    struct Case {
        const char* URL;
        bool JSON;
        THistoryOutcome Outcome;
        const char* ErrorText;
        std::optional<THistoryAnswerHead> Answer;
        const char* ShownURL;
        const char* Format;
        const char* Profile;
    } cases[] = {
        {"http://10.0.0.5:8087/api", true, THistoryOutcome::Answer, "",
         THistoryAnswerHead{"HTTP/1.1 200 OK", "application/json", "utf-8", 12},
         "http://10.0.0.5:8087/api", "JSON", "live"},
        // a password in the address is not kept either
        {"https://joe:pw@h/api", false, THistoryOutcome::Error, "HTTP/1.1 404 Not Found",
         THistoryAnswerHead{"HTTP/1.1 404 Not Found", "", "", 9}, "https://joe:***@h/api", "Legacy",
         ""},
        {"http://h/api", true, THistoryOutcome::Error, "Socket Error # 10061", std::nullopt,
         "http://h/api", "JSON", "Default"},
        // the error text is kept as given, a cancelled call's too
        {"http://h/api", true, THistoryOutcome::Cancelled, "Operation aborted.", std::nullopt,
         "http://h/api", "JSON", "test"},
    };
    for (const Case& c : cases) {
        THistoryCallFacts facts;
        facts.When = when;
        facts.URL = QString::fromUtf8(c.URL);
        facts.Command = QStringLiteral("AccountsGet");
        facts.Fields = fields;
        facts.JSON = c.JSON;
        facts.Outcome = c.Outcome;
        facts.ErrorText = QString::fromUtf8(c.ErrorText);
        facts.DurationMs = 321;
        facts.Answer = c.Answer;
        facts.Profile = QString::fromUtf8(c.Profile);
        const THistoryCall call = BuildHistoryCall(facts);
        EXPECT_EQ(call.When, when) << c.URL;
        EXPECT_EQ(call.Profile, QString::fromUtf8(c.Profile));
        EXPECT_EQ(call.URL, QString::fromUtf8(c.ShownURL));
        EXPECT_EQ(call.Command, QStringLiteral("AccountsGet"));
        EXPECT_EQ(call.Fields, fields) << "the recorder empties the password, not the builder";
        EXPECT_EQ(call.Format, QString::fromUtf8(c.Format));
        EXPECT_EQ(call.Outcome, c.Outcome);
        EXPECT_EQ(call.ErrorText, QString::fromUtf8(c.ErrorText));
        EXPECT_EQ(call.DurationMs, 321);
        const THistoryAnswerHead none;
        const THistoryAnswerHead& head = c.Answer ? *c.Answer : none;
        EXPECT_EQ(call.StatusLine, QString::fromStdString(head.StatusLine)) << c.URL;
        EXPECT_EQ(call.ContentType, QString::fromStdString(head.ContentType));
        EXPECT_EQ(call.CharSet, QString::fromStdString(head.CharSet));
        EXPECT_EQ(call.AnswerSize, head.Size);
        EXPECT_TRUE(call.Answer.isNull());
        EXPECT_FALSE(call.AnswerCut);
    }
}

// The window's answer as it arrives in UTF-16 pieces: kept as UTF-8 up to a limit in bytes, never
// half a character, however the pieces fall.
TEST(HistoryCall, AnswerTextUpToTheLimit) {
    struct Case {
        std::vector<std::u16string> Pieces;
        qint64 Limit;
        QByteArray Kept;
        bool Cut;
    } cases[] = {
        {{}, 4, "", false},
        {{u""}, 4, "", false},
        {{u"abcd"}, 4, "abcd", false},
        {{u"ab", u"cd"}, 4, "abcd", false},
        {{u"abcde"}, 4, "abcd", true},
        {{u"ab", u"cde", u"f"}, 4, "abcd", true},
        {{u"\u00e9\u00e9\u00e9"}, 4, "\xc3\xa9\xc3\xa9", true},
        {{u"\u00e9\u00e9\u00e9"}, 5, "\xc3\xa9\xc3\xa9", true},
        {{u"a\U0001F600"}, 4, "a", true},
        {{u"a\U0001F600"}, 5, "a\xf0\x9f\x98\x80", false},
        {{u"\u20ac", u"\u20ac"}, 5, "\xe2\x82\xac", true},
    };
    for (const Case& c : cases) {
        TAnswerCapture capture(c.Limit, 1000);
        for (const std::u16string& piece : c.Pieces)
            capture.Write(std::u16string_view(piece));
        THistoryCall call;
        capture.TakeInto(call);
        EXPECT_EQ(call.AnswerUtf8, c.Kept) << c.Kept.size() << " in " << c.Limit;
        EXPECT_FALSE(call.AnswerUtf8.isNull()) << "an empty answer is kept as one";
        EXPECT_EQ(call.AnswerCut, c.Cut) << c.Kept.size() << " in " << c.Limit;
    }
}

// A long answer is compressed on the capture's thread as it comes, however far that thread falls
// behind the pieces (the caller waits once a few chunks are waiting): every byte arrives, in order.
TEST(HistoryCall, LongAnswerCompressedWhole) {
    TAnswerCapture capture(64 << 20, 1000);
    std::string expected;
    std::u16string piece;
    for (int i = 0; expected.size() < (12u << 20); ++i) {
        const std::string line = "line " + std::to_string(i) + " of a long answer\n";
        expected += line;
        piece.assign(line.begin(), line.end());
        capture.Write(std::u16string_view(piece));
    }
    THistoryCall call;
    capture.TakeInto(call);
    EXPECT_FALSE(call.AnswerCut);
    EXPECT_EQ(call.AnswerTextBytes, static_cast<qint64>(expected.size()));
    const QByteArray text = AnswerBlob::Decompress(call.AnswerCompressed);
    EXPECT_TRUE(text == QByteArray::fromStdString(expected));
}

namespace {

const TCommand& CatalogueCommand(const QString& AName) {
    static const TCommandList commands = [] {
        TCommandList list;
        AppendCatalogue(list);
        return list;
    }();
    for (const auto& entry : commands)
        if (!entry->Header && QString::fromStdString(entry->Name) == AName)
            return *entry;
    throw std::runtime_error("no command " + AName.toStdString());
}

std::vector<qint64> Found(THistoryStore& AStore, const QString& AFilter) {
    QSqlQuery query = AStore.ListQuery(AFilter);
    std::vector<qint64> ids;
    while (query.next())
        ids.push_back(query.value(THistoryStore::ListId).toLongLong());
    return ids;
}

} // namespace

// A player's password, its hash and the API password are kept as their names alone, whichever
// case the names came in, so the history's filter, which indexes the fields word by word, finds
// the call by its other values and never by a secret.
TEST(HistoryCall, SecretValuesAreNeitherKeptNorFound) {
    struct Case {
        QString Command;
        QStringList Sent;
        QStringList Kept;
        QStringList Secrets; // each must find nothing
        QString Player;      // finds this call alone
    };
    const Case cases[] = {
        {QStringLiteral("AccountsAdd"),
         {QStringLiteral("Command=AccountsAdd"), QStringLiteral("Password=Api7Heron"),
          QStringLiteral("JSON=Yes"), QStringLiteral("Player=Quokka"),
          QStringLiteral("PW=Walrus7Quiet"), QStringLiteral("PWHash=9f86d081884c7d65"),
          QStringLiteral("Email=quokka@example.org")},
         {QStringLiteral("Command=AccountsAdd"), QStringLiteral("Password="),
          QStringLiteral("JSON=Yes"), QStringLiteral("Player=Quokka"), QStringLiteral("PW="),
          QStringLiteral("PWHash="), QStringLiteral("Email=quokka@example.org")},
         {QStringLiteral("Api7Heron"), QStringLiteral("Walrus7Quiet"),
          QStringLiteral("9f86d081884c7d65")},
         QStringLiteral("Quokka")},
        {QStringLiteral("AccountsEdit"),
         {QStringLiteral("Command=AccountsEdit"), QStringLiteral("JSON=No"),
          QStringLiteral("Player=Numbat"), QStringLiteral("pw=Otter3 Lantern"),
          QStringLiteral("pwhash=")},
         {QStringLiteral("Command=AccountsEdit"), QStringLiteral("JSON=No"),
          QStringLiteral("Player=Numbat"), QStringLiteral("pw="), QStringLiteral("pwhash=")},
         {QStringLiteral("Otter3"), QStringLiteral("Lantern")},
         QStringLiteral("Numbat")},
        {QStringLiteral("AccountsPassword"),
         {QStringLiteral("Command=AccountsPassword"), QStringLiteral("JSON=Yes"),
          QStringLiteral("Player=Bilby"), QStringLiteral("PW=Falcon=9&Kite")},
         {QStringLiteral("Command=AccountsPassword"), QStringLiteral("JSON=Yes"),
          QStringLiteral("Player=Bilby"), QStringLiteral("PW=")},
         {QStringLiteral("Falcon"), QStringLiteral("Kite")},
         QStringLiteral("Bilby")},
    };
    QTemporaryDir folder;
    THistoryStore store(folder.filePath(QStringLiteral("vlcallbench")));
    store.Open();
    ASSERT_TRUE(store.Searchable());
    std::vector<qint64> ids;
    for (const Case& c : cases) {
        THistoryCallFacts facts;
        facts.URL = QStringLiteral("http://127.0.0.1:8087/api");
        facts.Command = c.Command;
        facts.Fields = c.Sent;
        facts.SecretNames = SecretNames(CatalogueCommand(c.Command));
        const THistoryCall call = BuildHistoryCall(facts);
        EXPECT_EQ(call.Fields, c.Kept) << c.Command.toStdString();
        ids.push_back(store.Record(call));
        EXPECT_EQ(store.Load(ids.back())->Fields, c.Kept) << c.Command.toStdString();
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(Found(store, c.Player), std::vector<qint64>{ids[i]}) << c.Command.toStdString();
        for (const QString& secret : c.Secrets)
            EXPECT_TRUE(Found(store, secret).empty())
                << c.Command.toStdString() << " found by " << secret.toStdString();
    }
}
