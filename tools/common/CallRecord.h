#pragma once

#include "AnswerCapture.h"
#include "Command.h"
#include "HistoryCall.h"
#include "HistoryRecorder.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>
#include <string_view>

class TIdHTTPResponse;

// One call of the call tool, kept in the call history as the window keeps a Send: the form as
// sent (the values of the password and the other secrets emptied), the outcome, the status line,
// the duration, the size and the answer's first part. Recording is best effort: a history that
// cannot be opened or written changes nothing in the call.
class TCallRecord {
public:
    // AKeep false (history turned off): nothing is kept and no database is touched. Otherwise the
    // database is opened at once, on the recorder's thread, while the call goes on. ACommand names
    // the call and its secret parameters, whose lines are kept without their values. AFolder
    // empty: the user's data folder.
    TCallRecord(bool AKeep, const QString& AURL, const TCommand& ACommand,
                const QStringList& AFields, bool AJSON, const QString& AFolder = {});
    // A record that is only built (Build), for another record to keep with its call
    // (KeepBefore): no database is opened for it.
    struct TBuiltOnly {};
    TCallRecord(TBuiltOnly, bool AKeep, const QString& AURL, const TCommand& ACommand,
                const QStringList& AFields, bool AJSON);
    ~TCallRecord();
    TCallRecord(const TCallRecord&) = delete;
    TCallRecord& operator=(const TCallRecord&) = delete;

    // A piece of the answer as the tool wrote it out.
    void Answer(std::string_view AUtf8);
    // The text that came with a refusal.
    void Answer(std::u16string_view AText);

    // The server profile the call goes to (empty: none).
    void SetProfile(const QString& AProfile) { FFacts.Profile = AProfile; }
    // The read sent first, kept as an entry of its own that the call's entry names.
    void KeepBefore(THistoryCall ABefore);

    // The history record of the call as it ended, its answer taken; nothing when the history is
    // off. AResponse as for Finish.
    std::optional<THistoryCall> Build(THistoryOutcome AOutcome, const QString& AErrorText,
                                      const TIdHTTPResponse* AResponse);

    // Records the read given to KeepBefore alone, as the call itself was not sent, and waits.
    void RecordBeforeOnly();

    // Records the call and waits until it is kept. AResponse: the server's answer, when there is
    // one (an accepted or a refused status). Returns what went wrong with the history, empty
    // when all is well or the history is off.
    QString Finish(THistoryOutcome AOutcome, const QString& AErrorText,
                   const TIdHTTPResponse* AResponse);

private:
    void Describe(const QString& AURL, const TCommand& ACommand, const QStringList& AFields,
                  bool AJSON);

    bool FKeep = false;
    std::unique_ptr<THistoryRecorder> FRecorder;
    std::shared_ptr<const THistoryCall> FBefore;
    THistoryCallFacts FFacts;
    std::chrono::steady_clock::time_point FStart = std::chrono::steady_clock::now();
    TAnswerCapture FAnswer;
};
