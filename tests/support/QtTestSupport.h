#pragma once

// Helpers for tests that drive real widgets on the offscreen platform.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>
#include <ostream>
#include <string>

// Readable QString values in test failures.
inline void PrintTo(const QString& AText, std::ostream* AOut) {
    *AOut << '"' << AText.toStdString() << '"';
}

// What a modal message box showed before the watcher closed it.
struct SeenBox {
    bool Seen = false;
    QString Title;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    int ButtonCount = 0;
    QString Details; // behind "Show Details..."
};

// Answers the modal message boxes that appear while it lives: records each and presses the
// button AAnswer chooses (the default button when AAnswer is empty).
class ModalBoxWatcher {
public:
    explicit ModalBoxWatcher(QMessageBox::StandardButton AAnswer = QMessageBox::NoButton)
        : FAnswer(AAnswer) {
        FTimer.setInterval(5);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Poll(); });
        FTimer.start();
    }

    std::vector<SeenBox> Boxes;

private:
    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        SeenBox seen{true,
                     box->windowTitle(),
                     box->text(),
                     box->icon(),
                     static_cast<int>(box->buttons().size()),
                     box->detailedText()};
        Boxes.push_back(seen);
        QAbstractButton* button = FAnswer != QMessageBox::NoButton ? box->button(FAnswer) : nullptr;
        if (button)
            button->click();
        else if (!box->buttons().isEmpty())
            box->buttons().front()->click();
        else
            box->close();
    }

    QMessageBox::StandardButton FAnswer;
    QTimer FTimer;
};
