#pragma once

#include "SendCall.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;

// Every line break made a carriage return plus line feed: CR LF stays one break, a lone LF or
// a lone CR each become one.
QString CrLfLineBreaks(const QString& AText);

// The window that shows the text of the server's answer: one read-only, word-wrapped text box in
// a fixed-pitch font. It keeps its size, place and text between showings within a run.
class TResultsForm : public QDialog {
    Q_OBJECT
public:
    TResultsForm();

    // Sets the text with its line breaks made CR LF; the same text again changes nothing.
    void SetResultsText(const QString& AText);
    QString ResultsText() const { return Text; }
    // Shows the answer of a call: its text, and what is known about it in the status line.
    void SetCallResult(TCallResult AResult);
    const TCallResult& CallResult() const { return Result; }

    // Shows the window modally over AOwner: centred over it the first time (kept on the
    // desktop), where the user left it every later time.
    void ShowModalOver(const QWidget& AOwner);

    QPlainTextEdit* ResultsMemo;
    QLabel* StatusLine;

protected:
    void keyPressEvent(QKeyEvent* AEvent) override;

private:
    QString Text;
    TCallResult Result; // without its text, which the view holds
    bool ShownBefore = false;
};
