// Times the results window with large answers, from setting the answer to the window idle and
// painted, beside `jq .` on the same bytes, with the peak memory the window adds. Then select
// all and copy, a search count, paging through the text, rewrapping to a new width, and saving.
// Run on the offscreen platform:
//   QT_QPA_PLATFORM=offscreen build/bin/vl_results_bench [megabytes] [jq]

#include "BenchAnswers.h"
#include "ResultsForm.h"
#include "ResultsView.h"
#include "TextDocument.h"
#include "TextSearch.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// Ctrl+S: how long the window is held up (the call, then the longest pause of its event loop
// while the file is written) and how long the write takes.
void TimeSave(TResultsForm& AForm) {
    QTemporaryDir folder;
    QString path = folder.filePath(QStringLiteral("answer.txt"));
    AForm.AskSaveFileName = [&](QWidget*, const QString&) { return path; };
    QElapsedTimer sinceTick;
    double longestPauseMs = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QElapsedTimer timer;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestPauseMs = std::max(longestPauseMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    timer.start();
    AForm.Save();
    const double callMs = timer.nsecsElapsed() / 1e6;
    sinceTick.start();
    ticker.start();
    QEventLoop saved;
    QObject::connect(&AForm, &TResultsForm::Idle, &saved, &QEventLoop::quit);
    if (AForm.Busy())
        saved.exec();
    ticker.stop();
    std::printf("  save: Save() returns in %.1f ms, event loop pauses at most %.1f ms, %.0f MB "
                "written in %.3f s\n",
                callMs, longestPauseMs, QFileInfo(path).size() / 1048576.0,
                timer.nsecsElapsed() / 1e9);
}

// A needle that almost matches everywhere: "a" a thousand times, then "b", in a run of "a" that
// ends in "b", raw and as one indented JSON string; best of three.
void TimeAlmostMatchingNeedle(qsizetype ASize) {
    const QString needle = QString(1000, u'a') + u'b';
    std::u16string text(static_cast<std::size_t>(ASize), u'a');
    text += u'b';
    const auto raw = TTextDocument::MakeRaw(std::make_shared<const std::u16string>(text));
    TJsonLayout verdict;
    const auto pretty = TTextDocument::MakePretty(
        std::make_shared<const std::u16string>(u'"' + text + u'"'), verdict);
    std::printf("find \"a...ab\" (1001 characters) in %.0f MB of \"a\":\n", ASize / 1048576.0);
    for (const auto& [name, document] : {std::pair{"Raw", raw}, std::pair{"Pretty", pretty}}) {
        for (const Qt::CaseSensitivity sensitivity : {Qt::CaseInsensitive, Qt::CaseSensitive}) {
            double best = 1e9;
            std::size_t found = 0;
            for (int run = 0; run < 3; ++run) {
                QElapsedTimer timer;
                timer.start();
                found = FindAll(*document, needle, sensitivity).size();
                best = std::min(best, timer.nsecsElapsed() / 1e6);
            }
            std::printf("  %s, %s: %zu match in %.1f ms\n", name,
                        sensitivity == Qt::CaseSensitive ? "case-sensitive" : "case-insensitive",
                        found, best);
        }
    }
}

// Rewrapping to a new width, best of three (the machine may be busy): the time the
// user-interface thread takes to show the new rows, then the time until every row is wrapped (a
// pass on the background pool for a large text).
void TimeRewrap(TResultsForm& AForm) {
    QElapsedTimer timer;
    double rewrapMs = 1e9;
    double wrappedMs = 1e9;
    for (int run = 0; run < 3; ++run) {
        timer.start();
        AForm.resize(AForm.width() + (run % 2 ? -37 : 37), AForm.height());
        QCoreApplication::sendPostedEvents();
        AForm.ResultsMemo->viewport()->repaint();
        rewrapMs = std::min(rewrapMs, timer.nsecsElapsed() / 1e6);
        if (AForm.ResultsMemo->Wrapping()) {
            QEventLoop wrapped;
            QObject::connect(AForm.ResultsMemo, &TResultsView::WrapDone, &wrapped,
                             &QEventLoop::quit);
            QTimer::singleShot(600000, &wrapped, &QEventLoop::quit);
            wrapped.exec();
        }
        wrappedMs = std::min(wrappedMs, timer.nsecsElapsed() / 1e6);
    }
    std::printf("  rewrap to a new width and repaint: %.1f ms on the user-interface thread, "
                "every row wrapped after %.1f ms\n",
                rewrapMs, wrappedMs);
}

void RunCase(const char* AName, const QByteArray& ABytes, bool APretty, const QString& AJq,
             const QString& ANeedle) {
    const double jq = APretty ? JqSeconds(AJq, ABytes) : -1;
    TResultsForm form;
    form.setWindowTitle(QStringLiteral("AccountsList - JSON format"));
    form.SetPrettyChoice(APretty);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        std::printf("window not exposed\n");

    TCallResult result;
    result.Text = QString::fromUtf8(ABytes).toStdU16String();
    result.StatusLine = "HTTP/1.1 200 OK";
    result.ByteSize = ABytes.size();
    const long long before = MemoryKb("VmRSS");
    ResetPeak();
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QObject::connect(&form, &TResultsForm::Idle, &loop, &QEventLoop::quit);
    form.SetCallResult(std::move(result));
    if (form.Busy())
        loop.exec();
    form.ResultsMemo->viewport()->repaint();
    const double shown = timer.nsecsElapsed() / 1e9;
    const long long peak = MemoryKb("VmHWM");
    const double answerMb = ABytes.size() / 1048576.0;
    std::printf("%s: %.1f MB, %lld lines shown (%s)\n", AName, answerMb,
                static_cast<long long>(form.ResultsMemo->Document()->LineCount()),
                form.ShowingPretty() ? "Pretty" : "Raw");
    std::printf("  set to idle and painted: %.3f s", shown);
    if (jq > 0)
        std::printf("; jq . on the same bytes: %.3f s (ratio %.2f)", jq, shown / jq);
    std::printf("\n  peak memory growth: %.0f MB (%.1fx the answer)\n", (peak - before) / 1024.0,
                (peak - before) / 1024.0 / answerMb);

    timer.restart();
    QScrollBar* bar = form.ResultsMemo->verticalScrollBar();
    constexpr int Pages = 200;
    for (int i = 0; i < Pages; ++i) {
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        form.ResultsMemo->viewport()->repaint();
    }
    const double pageMs = timer.nsecsElapsed() / 1e6 / Pages;
    timer.restart();
    bar->setValue(bar->maximum() / 2);
    form.ResultsMemo->viewport()->repaint();
    bar->setValue(bar->maximum());
    form.ResultsMemo->viewport()->repaint();
    const double jumpMs = timer.nsecsElapsed() / 1e6;
    std::printf("  page down and repaint: %.2f ms per page; jump to middle and end: %.1f ms\n",
                pageMs, jumpMs);
    TimeRewrap(form);

    // The count as the find bar makes it, best of three (the machine may be busy).
    const auto countMs = [&](Qt::CaseSensitivity ACase, std::size_t& AFound) {
        double best = 1e9;
        for (int run = 0; run < 3; ++run) {
            timer.restart();
            AFound = FindAll(*form.ResultsMemo->Document(), ANeedle, ACase).size();
            best = std::min(best, timer.nsecsElapsed() / 1e6);
        }
        return best;
    };
    std::size_t found = 0;
    std::size_t foundCase = 0;
    const double findMs = countMs(Qt::CaseInsensitive, found);
    const double findCaseMs = countMs(Qt::CaseSensitive, foundCase);
    std::printf("  count \"%s\": %zu matches in %.0f ms (case-insensitive), %zu in %.0f ms "
                "(case-sensitive)\n",
                qPrintable(ANeedle), found, findMs, foundCase, findCaseMs);

    ResetPeak();
    const long long beforeCopy = MemoryKb("VmRSS");
    timer.restart();
    form.ResultsMemo->SelectAll();
    form.ResultsMemo->Copy();
    const double copyS = timer.nsecsElapsed() / 1e9;
    std::printf("  select all and copy: %.3f s, %lld characters, peak growth %.0f MB\n", copyS,
                static_cast<long long>(QGuiApplication::clipboard()->text().size()),
                (MemoryKb("VmHWM") - beforeCopy) / 1024.0);
    QGuiApplication::clipboard()->clear();

    TimeSave(form);
    form.close();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 50.0;
    const QString jq = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("jq");
    const auto size = static_cast<qsizetype>(megabytes * 1024 * 1024);
    RunCase("compact JSON on one line, Pretty", CompactJson(size), true, jq,
            QStringLiteral("player1"));
    RunCase("compact JSON on one line, Raw", CompactJson(size), false, jq,
            QStringLiteral("player1"));
    RunCase("compact JSON with names in other scripts on one line, Raw", CompactJson(size, true),
            false, jq, QStringLiteral("player1"));
    RunCase("log lines, Raw", LogLines(size), false, jq, QStringLiteral("hand 7"));
    RunCase("log lines with wide characters and marks, Raw", LogLines(size, true), false, jq,
            QStringLiteral("hand 7"));
    RunCase("5 MB compact JSON, Pretty", CompactJson(5 * 1024 * 1024), true, jq,
            QStringLiteral("player1"));
    TimeAlmostMatchingNeedle(5 * 1024 * 1024);
    return 0;
}
