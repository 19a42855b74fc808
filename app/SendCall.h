#pragma once

#include <QString>

#include <functional>
#include <string>
#include <thread>

class QWidget;

// One HTTP call run off the user-interface thread. While it runs the owner window keeps
// painting but takes no input; after half a second a modal "Sending <command>..." dialog offers
// Cancel, which aborts the call.
class TSendCall {
public:
    enum class TOutcome { Succeeded, Failed, Cancelled };

    // AWork runs on the worker thread and returns the answer or throws; AAbort is called from
    // the user-interface thread to make a running AWork end promptly.
    TSendCall(std::function<std::u16string()> AWork, std::function<void()> AAbort);
    ~TSendCall();
    TSendCall(const TSendCall&) = delete;
    TSendCall& operator=(const TSendCall&) = delete;

    // Runs the call to its end and returns how it ended.
    TOutcome Run(QWidget& AOwner, const QString& ACommandName);

    const std::u16string& Answer() const { return Answer_; }
    // The failure's message text as the failure worded it.
    const QString& ErrorText() const { return ErrorText_; }

    static constexpr int DialogDelayMs = 500;

private:
    std::function<std::u16string()> Work;
    std::function<void()> Abort;
    std::thread Worker;
    std::u16string Answer_;
    QString ErrorText_;
    bool Failed = false;
};
