#include "AnswerPane.h"

#include <QButtonGroup>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

QFont FixedFontAsLargeAs(const QFont& AText) {
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (AText.pointSizeF() > fixed.pointSizeF())
        fixed.setPointSizeF(AText.pointSizeF());
    else if (AText.pixelSize() > 0)
        fixed.setPixelSize(AText.pixelSize());
    return fixed;
}

TAnswerPane::TAnswerPane(QWidget* AParent) : QWidget(AParent) {
    setAccessibleName(QStringLiteral("Answer of the selected call"));
    SideBySide = new QRadioButton(QStringLiteral("&Side by side"), this);
    SideBySide->setAccessibleName(QStringLiteral("Before copy and answer side by side"));
    SideBySide->setChecked(true);
    LineDiff = new QRadioButton(QStringLiteral("Line &diff"), this);
    LineDiff->setAccessibleName(QStringLiteral("Line diff of the before copy against the answer"));
    auto* group = new QButtonGroup(this);
    group->addButton(SideBySide);
    group->addButton(LineDiff);

    AnswerText = MakeText(QStringLiteral("Answer"));
    AnswerCaption = MakeCaption(AnswerText);
    BeforeText = MakeText(QStringLiteral("Before copy"));
    BeforeCaption = MakeCaption(BeforeText);
    DiffText = MakeText(QStringLiteral("Before copy against the answer"));
    DiffCaption = MakeCaption(DiffText);

    // The before copy on the left, as it was first.
    auto* sideBySide = new QWidget(this);
    auto* grid = new QGridLayout(sideBySide);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(BeforeCaption, 0, 0);
    grid->addWidget(AnswerCaption, 0, 1);
    grid->addWidget(BeforeText, 1, 0);
    grid->addWidget(AnswerText, 1, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(1, 1);
    auto* diff = new QWidget(this);
    auto* diffLayout = new QVBoxLayout(diff);
    diffLayout->setContentsMargins(0, 0, 0, 0);
    diffLayout->addWidget(DiffCaption);
    diffLayout->addWidget(DiffText, 1);
    Views = new QStackedWidget(this);
    Views->addWidget(sideBySide);
    Views->addWidget(diff);

    auto* switches = new QHBoxLayout;
    switches->addWidget(SideBySide);
    switches->addWidget(LineDiff);
    switches->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(switches);
    layout->addWidget(Views, 1);

    connect(LineDiff, &QRadioButton::toggled, this,
            [this](bool ADiff) { Views->setCurrentIndex(ADiff ? 1 : 0); });
    ShowNone();
}

QPlainTextEdit* TAnswerPane::MakeText(const QString& AName) {
    auto* text = new QPlainTextEdit(this);
    text->setAccessibleName(AName);
    text->setReadOnly(true);
    // Read with the keyboard too; Tab goes on to the next control.
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setTabChangesFocus(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(FixedFontAsLargeAs(font()));
    text->setPlaceholderText(QStringLiteral("No answer was kept."));
    return text;
}

QLabel* TAnswerPane::MakeCaption(QPlainTextEdit* AText) {
    auto* caption = new QLabel(this);
    caption->setWordWrap(true);
    caption->setTextFormat(Qt::PlainText);
    caption->setTextInteractionFlags(Qt::TextSelectableByMouse);
    caption->setBuddy(AText);
    return caption;
}

// The caption is also the text's description, for a screen reader that reads the text alone.
void TAnswerPane::SetCaption(QLabel* ACaption, QPlainTextEdit* AText, const QString& ACaptionText) {
    ACaption->setText(ACaptionText);
    AText->setAccessibleDescription(ACaptionText);
}

void TAnswerPane::Show(const TEntryTexts& ATexts) {
    FShownId = ATexts.Id;
    AnswerText->setPlaceholderText(QStringLiteral("No answer was kept."));
    SetCaption(AnswerCaption, AnswerText, ATexts.AnswerCaption);
    AnswerText->setPlainText(ATexts.Answer);
    SideBySide->setVisible(ATexts.HasBeforeCopy);
    LineDiff->setVisible(ATexts.HasBeforeCopy);
    BeforeCaption->setVisible(ATexts.HasBeforeCopy);
    BeforeText->setVisible(ATexts.HasBeforeCopy);
    Views->setCurrentIndex(ATexts.HasBeforeCopy && LineDiff->isChecked() ? 1 : 0);
    if (!ATexts.HasBeforeCopy) {
        SetCaption(BeforeCaption, BeforeText, {});
        BeforeText->clear();
        SetCaption(DiffCaption, DiffText, {});
        DiffText->clear();
        return;
    }
    // A failed read is told by the words of its caption, and made to stand out by its weight.
    QFont font = BeforeCaption->font();
    font.setBold(ATexts.BeforeCopyFailed);
    BeforeCaption->setFont(font);
    DiffCaption->setFont(font);
    SetCaption(BeforeCaption, BeforeText, ATexts.BeforeCaption);
    BeforeText->setPlainText(ATexts.Before);
    SetCaption(
        DiffCaption, DiffText,
        QStringList{ATexts.DiffCaption, ATexts.BeforeCaption, ATexts.AnswerCaption}.join(u'\n'));
    DiffText->setPlainText(ATexts.Diff);
}

void TAnswerPane::ShowNone(const QString& AWhy) {
    TEntryTexts none;
    none.AnswerCaption = AWhy.isEmpty() ? QStringLiteral("Answer") : AWhy;
    Show(none);
    AnswerText->setPlaceholderText({});
}
