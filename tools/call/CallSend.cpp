#include "CallSend.h"

#include "AnswerWriter.h"
#include "CallFailure.h"
#include "CallInterrupt.h"
#include "CallOptions.h"
#include "CallRecord.h"
#include "CallTimeout.h"
#include "ErrorOutput.h"
#include "IdHTTP.h"
#include "IdSSLCertificate.h"
#include "IdText.h"
#include "PreparedCall.h"
#include "SendRequest.h"
#include "TlsCommandLine.h"

#include <exception>
#include <optional>

namespace {

// What the server said with a refused status, on the lines after the status line: often the
// only word on what was wrong.
std::string RefusalBody(const TCallFailure& AFailure) {
    if (!AFailure.Refused || AFailure.Body.empty())
        return {};
    std::string text = "\n";
    text += IdText::ToUTF8(AFailure.Body);
    return text;
}

} // namespace

TSentCall SendCall(const TCallOptions& AOptions, const TPreparedCall& ACall, TIdHTTP& AHTTP,
                   TAnswerWriter& AOutput, TCallRecord& ARecord) {
    TSentCall sent;
    std::optional<TCallTimeout> watchdog;
    if (AOptions.Timeout)
        watchdog.emplace(AHTTP, *AOptions.Timeout);
    WatchCall(&AHTTP);
    try {
        AHTTP.Post(ACall.URL.toStdU16String(), WireLines(ACall.Form));
        WatchCall(nullptr);
        AOutput.EndLine();
    } catch (const std::exception& error) {
        WatchCall(nullptr);
        TCallFailure failure =
            CallFailureOf(std::current_exception(), TOutOfMemoryWording::AsThrown);
        if (watchdog && watchdog->Fired())
            failure.Message = "Timed out after " + AOptions.TimeoutText + " s.";
        if (failure.Refused)
            ARecord.Answer(failure.Body); // the body that came with the refusal
        else
            sent.Answered = false;
        sent.ExitCode = 1;
        sent.Outcome = CallInterrupt() != 0 ? THistoryOutcome::Cancelled : THistoryOutcome::Error;
        sent.ErrorText = failure.Text();
        // Cancelled is the user's own choice: no message.
        const auto* refused = dynamic_cast<const EIdOSSLCertificateRejected*>(&error);
        if (sent.Outcome == THistoryOutcome::Error)
            WriteError((refused ? RefusedCertificateMessage(*refused, "") : failure.Message) +
                       RefusalBody(failure));
    }
    return sent;
}
