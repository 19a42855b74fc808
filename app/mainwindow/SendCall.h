#pragma once

#include "CallResult.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class QWidget;

// One HTTP call run off the user-interface thread. While it runs the owner window keeps
// painting but takes no input; after half a second a modal "Sending <command>..." dialog offers
// Cancel, which aborts the call. Once the answer starts to arrive (Arriving), the dialog gives way
// to whatever the owner shows meanwhile, which may Cancel the call in its turn.
class TSendCall {
public:
    enum class TOutcome { Succeeded, Failed, Cancelled };

    // AWork runs on the worker thread and returns the answer or throws; AAbort is called from
    // the user-interface thread to make a running AWork end promptly.
    TSendCall(std::function<TCallResult()> AWork, std::function<void()> AAbort);
    ~TSendCall();
    TSendCall(const TSendCall&) = delete;
    TSendCall& operator=(const TSendCall&) = delete;

    // Runs the call to its end and returns how it ended.
    TOutcome Run(QWidget& AOwner, const QString& ACommandName);

    // Thread-safe, for the worker: the answer has started to arrive. OnArriving is then called
    // once on the user-interface thread, in place of the dialog.
    void Arriving();
    std::function<void()> OnArriving;
    // Aborts the running call as the dialog's Cancel does; the outcome is then Cancelled.
    void Cancel();

    const TCallResult& Result() const { return FResult; }
    // Hands the answer over without copying its text.
    TCallResult TakeResult() { return std::move(FResult); }
    // The failure's message text as the failure worded it, a NUL shown as U+FFFD; Result() tells
    // the call's duration and, for a refused answer, what the server sent.
    const QString& ErrorText() const { return FErrorText; }

    static constexpr int DialogDelayMs = 500;

private:
    std::function<TCallResult()> FWork;
    std::function<void()> FAbort;
    std::thread FWorker;
    TCallResult FResult;
    QString FErrorText;
    bool FFailed = false;
    bool FCancelled = false;
    bool FArrived = false;    // user-interface thread
    QObject* FLoop = nullptr; // while Run runs
    std::function<void()> FArrivedHere;
};
