#pragma once

#include "HistoryStore.h"

#include <QString>

class TAnswerWriter;
class TCallRecord;
class TIdHTTP;
struct TCallOptions;
struct TPreparedCall;

// How a sent call ended, for its exit code and its history record.
struct TSentCall {
    int ExitCode = 0;
    THistoryOutcome Outcome = THistoryOutcome::Answer;
    QString ErrorText;    // as kept in the history
    bool Answered = true; // the server answered, with an accepted or a refused status
};

// Posts the call with AHTTP, whose answer goes to AOutput as it arrives, giving up after
// --timeout. A failure's message goes to standard error, unless the user cancelled the call;
// the body of a refused answer goes to ARecord and to standard error after the status line.
TSentCall SendCall(const TCallOptions& AOptions, const TPreparedCall& ACall, TIdHTTP& AHTTP,
                   TAnswerWriter& AOutput, TCallRecord& ARecord);
