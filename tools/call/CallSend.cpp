#include "CallSend.h"

#include "AnswerWriter.h"
#include "CallFailure.h"
#include "CallInterrupt.h"
#include "CallOptions.h"
#include "CallRecord.h"
#include "ErrorOutput.h"
#include "IdHTTP.h"
#include "IdSSLCertificate.h"
#include "PreparedCall.h"
#include "SendRequest.h"
#include "TlsCommandLine.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// Ends a running call from another thread once the time is up.
class TWatchdog {
public:
    TWatchdog(TIdHTTP& AHTTP, double ASeconds)
        : FThread([this, &AHTTP, ASeconds] {
              std::unique_lock lock(FLock);
              if (!FDone.wait_for(lock, std::chrono::duration<double>(ASeconds),
                                  [this] { return FFinished; })) {
                  FFired = true;
                  AHTTP.Abort();
              }
          }) {}
    ~TWatchdog() {
        {
            std::lock_guard lock(FLock);
            FFinished = true;
        }
        FDone.notify_all();
        FThread.join();
    }
    TWatchdog(const TWatchdog&) = delete;
    TWatchdog& operator=(const TWatchdog&) = delete;
    bool Fired() {
        std::lock_guard lock(FLock);
        return FFired;
    }

private:
    std::mutex FLock;
    std::condition_variable FDone;
    bool FFinished = false;
    bool FFired = false;
    std::thread FThread;
};

} // namespace

TSentCall SendCall(const TCallOptions& AOptions, const TPreparedCall& ACall, TIdHTTP& AHTTP,
                   TAnswerWriter& AOutput, TCallRecord& ARecord) {
    TSentCall sent;
    std::optional<TWatchdog> watchdog;
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
            WriteError(refused ? RefusedCertificateMessage(*refused, "") : failure.Message);
    }
    return sent;
}
