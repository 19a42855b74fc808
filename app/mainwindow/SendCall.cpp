#include "SendCall.h"

#include "CallFailure.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <exception>

namespace {

// Swallows user input meant for the owner window while a call runs; painting goes on.
class TInputBlocker : public QObject {
public:
    explicit TInputBlocker(QWidget& AOwner) : FOwner(AOwner) { qApp->installEventFilter(this); }
    ~TInputBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override {
        switch (AEvent->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride: {
            auto* widget = qobject_cast<QWidget*>(AWatched);
            return widget && widget->window() == &FOwner;
        }
        default:
            return false;
        }
    }

private:
    QWidget& FOwner;
};

} // namespace

TSendCall::TSendCall(std::function<TCallResult()> AWork, std::function<void()> AAbort)
    : FWork(std::move(AWork)), FAbort(std::move(AAbort)) {}

TSendCall::~TSendCall() {
    if (FWorker.joinable()) {
        FAbort();
        FWorker.join();
    }
}

void TSendCall::Arriving() {
    // The loop lives until the worker is joined, so the queued call always has a receiver.
    QMetaObject::invokeMethod(
        FLoop, [this] { FArrivedHere(); }, Qt::QueuedConnection);
}

void TSendCall::Cancel() {
    if (!FCancelled) {
        FCancelled = true;
        FAbort();
    }
}

TSendCall::TOutcome TSendCall::Run(QWidget& AOwner, const QString& ACommandName) {
    QEventLoop loop;
    FLoop = &loop;
    FWorker = std::thread([this, &loop] {
        const auto start = std::chrono::steady_clock::now();
        try {
            FResult = FWork();
        } catch (...) {
            FFailed = true;
            TCallFailure failure = CallFailureOf(std::current_exception());
            FErrorText = failure.Text();
            if (failure.Refused) {
                FResult.Refused = true;
                FResult.StatusLine = std::move(failure.StatusLine);
                FResult.Text = std::move(failure.Body);
            }
        }
        if (FFailed)
            FResult.DurationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count();
        // The loop lives until the worker is joined, so the queued quit always has a receiver.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });

    TInputBlocker blocker(AOwner);
    QDialog dialog(&AOwner);
    dialog.setWindowTitle(ACommandName);
    dialog.setModal(true);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Sending %1...").arg(ACommandName), &dialog));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), &dialog);
    layout->addWidget(cancel, 0, Qt::AlignHCenter);
    const auto cancelCall = [&] {
        cancel->setEnabled(false);
        Cancel();
    };
    QObject::connect(cancel, &QPushButton::clicked, &dialog, cancelCall);
    QObject::connect(&dialog, &QDialog::rejected, &dialog, cancelCall); // Esc or close box
    // Held back while another modal window (a question about the server) is up, which it would
    // otherwise block.
    QTimer showTimer;
    showTimer.setSingleShot(true);
    QObject::connect(&showTimer, &QTimer::timeout, &dialog, [&] {
        if (QApplication::activeModalWidget() != nullptr)
            showTimer.start(DialogDelayMs);
        else
            dialog.show();
    });
    showTimer.start(DialogDelayMs);
    FArrivedHere = [&] {
        if (FArrived || FCancelled)
            return;
        FArrived = true;
        showTimer.stop();
        dialog.hide();
        if (OnArriving)
            OnArriving();
    };

    loop.exec(QEventLoop::AllEvents);
    FWorker.join();
    FLoop = nullptr;
    dialog.hide();
    if (FCancelled)
        return TOutcome::Cancelled;
    return FFailed ? TOutcome::Failed : TOutcome::Succeeded;
}
