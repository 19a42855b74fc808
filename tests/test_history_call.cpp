// The history record of a call as the window and the call tool build it.

#include "HistoryCall.h"

#include <gtest/gtest.h>

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
    } cases[] = {
        {"http://10.0.0.5:8087/api", true, THistoryOutcome::Answer, "",
         THistoryAnswerHead{"HTTP/1.1 200 OK", "application/json", "utf-8", 12},
         "http://10.0.0.5:8087/api", "JSON"},
        // a password in the address is not kept either
        {"https://joe:pw@h/api", false, THistoryOutcome::Error, "HTTP/1.1 404 Not Found",
         THistoryAnswerHead{"HTTP/1.1 404 Not Found", "", "", 9}, "https://joe:***@h/api",
         "Legacy"},
        {"http://h/api", true, THistoryOutcome::Error, "Socket Error # 10061", std::nullopt,
         "http://h/api", "JSON"},
        // the error text is kept as given, a cancelled call's too
        {"http://h/api", true, THistoryOutcome::Cancelled, "Operation aborted.", std::nullopt,
         "http://h/api", "JSON"},
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
        const THistoryCall call = BuildHistoryCall(facts);
        EXPECT_EQ(call.When, when) << c.URL;
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

TEST(HistoryCall, AnswerTextUpToTheLimit) {
    struct Case {
        std::u16string Text;
        qint64 Limit;
        QString Kept;
        bool Cut;
    } cases[] = {
        {u"", 4, QString(), false},
        {u"abcd", 4, QStringLiteral("abcd"), false},
        {u"abcde", 4, QStringLiteral("abcd"), true},
        {u"\u00e9\u00e9\u00e9", 2, QStringLiteral("\u00e9\u00e9"), true},
    };
    for (const Case& c : cases) {
        THistoryCall call;
        KeepAnswerText(call, c.Text, c.Limit);
        EXPECT_EQ(call.Answer, c.Kept) << c.Text.size() << " in " << c.Limit;
        EXPECT_EQ(call.AnswerCut, c.Cut) << c.Text.size() << " in " << c.Limit;
    }
}
