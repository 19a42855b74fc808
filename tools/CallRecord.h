#pragma once

#include "HistoryRecorder.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>
#include <future>
#include <memory>
#include <string_view>

class TIdHTTPResponse;

// The part of an answer the call history keeps while the whole is written out: its first
// ALimit bytes of UTF-8 text, ending with a whole character, and whether more came. Memory stays
// within the limit whatever the answer's size.
class TAnswerCapture {
public:
    explicit TAnswerCapture(qint64 ALimit) : FLimit(ALimit) {}

    void Write(std::u16string_view APiece);
    bool Cut() const { return FCut; }
    // The text kept, as UTF-8; the capture is empty afterwards.
    QByteArray Take();

private:
    void Append(QStringView AText);

    qint64 FLimit;
    QByteArray FText;
    char16_t FPendingHigh = 0; // a surrogate whose partner comes with the next piece
    bool FCut = false;
};

// One call of the call tool, kept in the call history as the window keeps a Send: the form as
// sent (the password's value emptied), the outcome, the status line, the duration, the size and
// the answer's first part. Recording is best effort: a history that cannot be opened or written
// changes nothing in the call.
class TCallRecord {
public:
    // AKeep false (history turned off): nothing is kept and no database is touched. Otherwise the
    // database is opened at once, on the recorder's thread, while the call goes on. AFolder
    // empty: the user's data folder.
    TCallRecord(bool AKeep, const QString& AURL, const QString& ACommand,
                const QStringList& AFields, bool AJSON, const QString& AFolder = {});
    ~TCallRecord();
    TCallRecord(const TCallRecord&) = delete;
    TCallRecord& operator=(const TCallRecord&) = delete;

    // A piece of the answer as it is written out.
    void Answer(std::u16string_view APiece);

    // Records the call and waits until it is kept. AResponse: the server's answer, when there is
    // one (an accepted or a refused status). Returns what went wrong with the history, empty
    // when all is well or the history is off.
    QString Finish(THistoryOutcome AOutcome, const QString& AErrorText,
                   const TIdHTTPResponse* AResponse);

private:
    std::unique_ptr<THistoryRecorder> FRecorder;
    THistoryCall FCall;
    std::chrono::steady_clock::time_point FStart = std::chrono::steady_clock::now();
    TAnswerCapture FAnswer;
    // Once the capture is full: the text kept, compressed on a thread of its own while the rest
    // of the answer is written out.
    bool FFull = false;
    QByteArray FText;
    std::future<QByteArray> FCompressed;
};
