// Times Send end to end with large answers from a loopback server, the call history on as by
// default: from the press of Send to the results window's first screen, and to the window idle
// again (indexed, indented when Pretty, wrapped and painted) beside `jq .` on the same bytes; the
// peak memory the whole process adds; and when the history has the call.
// Run on the offscreen platform:
//   QT_QPA_PLATFORM=offscreen build/bin/vl_send_bench [megabytes] [jq]
// With VL_NO_HISTORY=1 the history is off, to tell its share apart.

#include "Application.h"
#include "BenchAnswers.h"
#include "BenchPeer.h"
#include "HistoryRecorder.h"
#include "LoopbackListener.h"
#include "MainForm.h"
#include "ResultsForm.h"
#include "ResultsView.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

// Answers every connection with the same body until it goes.
class TAnswerServer {
public:
    TAnswerServer(const QByteArray& ABody, const char* AType) : FBody(ABody) {
        FHead = "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(AType) +
                "\r\nContent-Length: " + std::to_string(ABody.size()) +
                "\r\nConnection: close\r\n\r\n";
        if (pipe(FStop) != 0)
            std::abort();
        FThread = std::thread([this] {
            for (;;) {
                const int fd = FListener.Accept(FStop[0]);
                if (fd < 0)
                    return;
                if (!ReadRequest(fd).empty() && SendAll(fd, FHead.data(), FHead.size()))
                    SendAll(fd, FBody.constData(), static_cast<std::size_t>(FBody.size()));
                FinishAnswer(fd);
            }
        });
    }
    ~TAnswerServer() {
        (void)!write(FStop[1], "x", 1);
        FThread.join();
        close(FStop[0]);
        close(FStop[1]);
    }
    TAnswerServer(const TAnswerServer&) = delete;
    TAnswerServer& operator=(const TAnswerServer&) = delete;

    uint16_t Port() const { return FListener.Port(); }

private:
    const QByteArray& FBody;
    std::string FHead;
    TLoopbackListener FListener;
    int FStop[2] = {-1, -1};
    std::thread FThread;
};

void RunCase(TMainForm& AForm, const char* AName, const QByteArray& ABody, const char* AType,
             bool APretty, const QString& AJq) {
    const double jq = APretty ? JqSeconds(AJq, ABody) : -1;
    TAnswerServer server(ABody, AType);
    AForm.FilePortEdit->setText(QString::number(server.Port()));
    TResultsForm& results = AForm.ResultsWindow();
    results.SetPrettyChoice(APretty);

    double firstScreen = -1;
    double idle = -1;
    long long peakAtIdle = 0;
    QElapsedTimer timer;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (firstScreen < 0 && results.isVisible() && results.ResultsMemo->Document())
            firstScreen = timer.nsecsElapsed() / 1e9;
    });
    const auto connection = QObject::connect(&results, &TResultsForm::Idle, [&] {
        if (idle >= 0 || !results.isVisible() || results.Busy())
            return;
        results.ResultsMemo->viewport()->repaint();
        idle = timer.nsecsElapsed() / 1e9;
        peakAtIdle = MemoryKb("VmHWM");
        // Idle may come before the window waits modally for its end.
        QMetaObject::invokeMethod(&results, &QWidget::close, Qt::QueuedConnection);
    });
    const long long before = MemoryKb("VmRSS");
    ResetPeak();
    poll.start();
    timer.start();
    AForm.CallButton->click(); // returns once the results window is closed
    poll.stop();
    QObject::disconnect(connection);
    AForm.History().WaitIdle();
    const double recorded = timer.nsecsElapsed() / 1e9;
    const long long peak = MemoryKb("VmHWM");
    const double answerMb = ABody.size() / 1048576.0;
    std::printf("%s: %.1f MB, %lld lines shown (%s)\n", AName, answerMb,
                static_cast<long long>(results.ResultsMemo->Document()
                                           ? results.ResultsMemo->Document()->LineCount()
                                           : -1),
                results.ShowingPretty() ? "Pretty" : "Raw");
    std::printf("  first screen after %.3f s; idle again after %.3f s", firstScreen, idle);
    if (jq > 0)
        std::printf("; jq . on the same bytes: %.3f s (ratio %.2f)", jq, idle / jq);
    std::printf("\n  history has the call (and its words) after %.3f s\n", recorded);
    std::printf("  peak memory growth: %.0f MB (%.1fx the answer) until idle, %.0f MB (%.1fx) "
                "with the history's work\n",
                (peakAtIdle - before) / 1024.0, (peakAtIdle - before) / 1024.0 / answerMb,
                (peak - before) / 1024.0, (peak - before) / 1024.0 / answerMb);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    // The history and the settings of the run stay in a folder of their own.
    QTemporaryDir home;
    setenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit().constData(), 1);
    TApplication app(argc, argv);
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 50.0;
    const QString jq = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("jq");
    const auto size = static_cast<qsizetype>(megabytes * 1024 * 1024);

    TMainForm form(home.filePath(QStringLiteral("Tessarine.conf")));
    form.show();
    if (std::getenv("VL_NO_HISTORY") != nullptr)
        form.History().SetEnabled(false);
    const auto& entries = form.Catalogue();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!entries[i]->Header && entries[i]->Name == "AccountsList")
            form.GoToCommand(static_cast<int>(i));
    form.IPEdit->setText(QStringLiteral("http://127.0.0.1"));
    form.APIPathEdit->setText(QStringLiteral("api"));

    const QByteArray json = CompactJson(size);
    RunCase(form, "compact JSON on one line, Pretty", json, "application/json", true, jq);
    RunCase(form, "compact JSON on one line, Raw", json, "application/json", false, jq);
    const QByteArray log = LogLines(size);
    RunCase(form, "log lines, Raw", log, "text/plain; charset=utf-8", false, jq);
    return 0;
}
