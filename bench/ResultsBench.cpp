// Times the results window with a large answer: 50 MB of log lines set, shown and painted, then
// scrolled page by page and jumped to the middle and the end. Run on the offscreen platform:
//   QT_QPA_PLATFORM=offscreen build/bin/vl_results_bench [megabytes]

#include "ResultsForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 50.0;
    const auto size = static_cast<qsizetype>(megabytes * 1024 * 1024);

    QString text;
    text.reserve(size + 200);
    for (int line = 0; text.size() < size; ++line)
        text += QStringLiteral("2026-12-10 03:27:%1 Info: table %2 hand %3 finished, pot 1250 "
                               "chips, rake 25 chips\n")
                    .arg(line % 60, 2, 10, QLatin1Char('0'))
                    .arg(line % 97)
                    .arg(line);

    TResultsForm form;
    QElapsedTimer timer;
    timer.start();
    form.SetResultsText(text);
    const qint64 setMs = timer.elapsed();
    QTimer::singleShot(0, &form, [&] {
        form.ResultsMemo->repaint();
        const qint64 shownMs = timer.elapsed();
        QScrollBar* bar = form.ResultsMemo->verticalScrollBar();
        QElapsedTimer scroll;
        scroll.start();
        constexpr int Pages = 200;
        for (int i = 0; i < Pages; ++i) {
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            form.ResultsMemo->repaint();
        }
        const double pageMs = static_cast<double>(scroll.elapsed()) / Pages;
        scroll.restart();
        bar->setValue(bar->maximum() / 2);
        form.ResultsMemo->repaint();
        const qint64 middleMs = scroll.elapsed();
        scroll.restart();
        bar->setValue(bar->maximum());
        form.ResultsMemo->repaint();
        const qint64 endMs = scroll.elapsed();
        std::printf("answer: %.1f MB, %lld lines\n", double(text.size()) / (1024 * 1024),
                    static_cast<long long>(form.ResultsMemo->blockCount()));
        std::printf("set text: %lld ms; shown and painted: %lld ms\n",
                    static_cast<long long>(setMs), static_cast<long long>(shownMs));
        std::printf("page down and repaint: %.2f ms per page; jump to middle: %lld ms; to end: "
                    "%lld ms\n",
                    pageMs, static_cast<long long>(middleMs), static_cast<long long>(endMs));
        form.close();
    });
    form.exec();
    return 0;
}
