#pragma once

#include "EntryTexts.h"

#include <QWidget>

class QFont;
class QLabel;
class QPlainTextEdit;
class QRadioButton;
class QStackedWidget;

// The system's fixed-width font at the size of AText, which the user may have made larger: the
// system's own size for it stays small.
QFont FixedFontAsLargeAs(const QFont& AText);

// The answer of the history entry in hand, under the list. An entry with a before copy shows the
// read's answer beside its own, or the line diff of the two, as the switch says; a before copy
// that failed says so in its caption, in words rather than colour.
class TAnswerPane : public QWidget {
public:
    explicit TAnswerPane(QWidget* AParent);

    void Show(const TEntryTexts& ATexts);
    // No entry in hand; AWhy says why, when there is something to say.
    void ShowNone(const QString& AWhy = {});
    // The entry shown; 0 for none.
    qint64 ShownId() const { return FShownId; }

    QRadioButton* SideBySide;
    QRadioButton* LineDiff;
    QLabel* AnswerCaption;
    QPlainTextEdit* AnswerText;
    QLabel* BeforeCaption;
    QPlainTextEdit* BeforeText;
    QLabel* DiffCaption;
    QPlainTextEdit* DiffText;
    QStackedWidget* Views; // side by side, or the diff

private:
    QPlainTextEdit* MakeText(const QString& AName);
    QLabel* MakeCaption(QPlainTextEdit* AText);
    void SetCaption(QLabel* ACaption, QPlainTextEdit* AText, const QString& ACaptionText);

    qint64 FShownId = 0;
};
