#pragma once

#include "Command.h"

#include <QColor>
#include <QFrame>

#include <functional>

class QLineEdit;
class QListWidget;

// The "Go to command" popup: a field and the commands that match what is typed in it, best
// first. Enter (or a double-click) chooses the highlighted command, Esc closes.
class TGoToCommandPopup : public QFrame {
    Q_OBJECT
public:
    // ATextColor gives the colour an entry's text is drawn in (invalid: the list's own).
    TGoToCommandPopup(const TCommandList& ACommands,
                      std::function<QColor(const TCommand&)> ATextColor, QWidget* AParent);

    // Shows the popup, empty, near the top of AOver (a rectangle in global coordinates).
    void Popup(const QRect& AOver);

    QLineEdit* Field;
    QListWidget* List;

signals:
    void CommandChosen(int APosition);

protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;
    void changeEvent(QEvent* AEvent) override;
    void hideEvent(QHideEvent* AEvent) override;

private:
    void Refill();
    void Choose();

    const TCommandList& FCommands;
    std::function<QColor(const TCommand&)> FTextColor;
};
