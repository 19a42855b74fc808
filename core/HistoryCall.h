#pragma once

#include "HistoryStore.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <string_view>

// What the server's answer, accepted or refused, tells about itself as received.
struct THistoryAnswerHead {
    std::string StatusLine;
    std::string ContentType;
    std::string CharSet;
    qint64 Size = 0; // body bytes
};

// One call as the window and the call tool know it when it has ended.
struct THistoryCallFacts {
    QDateTime When; // UTC, as the call started
    QString URL;    // as posted
    QString Command;
    QStringList Fields;      // the form's lines as sent
    QStringList SecretNames; // of the command's parameters, as SecretNames gives them
    bool JSON = true;
    THistoryOutcome Outcome = THistoryOutcome::Answer;
    QString ErrorText;
    qint64 DurationMs = 0;
    std::optional<THistoryAnswerHead> Answer; // when the server answered
    QString Profile; // the server profile called, empty when the call went elsewhere
};

// The history record of a call, without the answer's text: the URL without a user password, the
// fields as given with the values of the secret ones emptied, so that no search finds them (the
// recorder empties the password in any case), "JSON" or "Legacy".
THistoryCall BuildHistoryCall(const THistoryCallFacts& AFacts);
