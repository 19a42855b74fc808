#include "ResultsForm.h"

#include "ResultsStatus.h"
#include <QFontDatabase>

#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>

QString CrLfLineBreaks(const QString& AText) {
    QString result;
    result.reserve(AText.size() + AText.size() / 32);
    const QChar* p = AText.constData();
    const QChar* const end = p + AText.size();
    while (p < end) {
        const QChar* runStart = p;
        while (p < end && *p != u'\r' && *p != u'\n')
            ++p;
        result.append(runStart, p - runStart);
        if (p == end)
            break;
        if (*p == u'\r' && p + 1 < end && p[1] == u'\n')
            ++p;
        ++p;
        result.append(QLatin1String("\r\n"));
    }
    return result;
}

TResultsForm::TResultsForm() {
    setWindowTitle(QStringLiteral("Results"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setModal(true);
    resize(624, 342);
    ResultsMemo = new QPlainTextEdit(this);
    ResultsMemo->setReadOnly(true);
    ResultsMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    ResultsMemo->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    ResultsMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ResultsMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ResultsMemo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    ResultsMemo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ResultsMemo);
    StatusLine = new QLabel(this);
    StatusLine->setContentsMargins(4, 2, 4, 2);
    StatusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(StatusLine);
}

void TResultsForm::SetCallResult(TCallResult AResult) {
    const std::u16string text = std::move(AResult.Text);
    Result = std::move(AResult);
    SetResultsText(QString::fromStdU16String(text));
    StatusLine->setText(ResultsStatusText(Result, ResultsMemo->blockCount()));
}

void TResultsForm::SetResultsText(const QString& AText) {
    QString text = CrLfLineBreaks(AText);
    if (text == Text)
        return;
    Text = std::move(text);
    // The text box shows each CR LF as one line break.
    ResultsMemo->setPlainText(Text);
}

void TResultsForm::ShowModalOver(const QWidget& AOwner) {
    if (!ShownBefore) {
        ShownBefore = true;
        const QRect owner = AOwner.frameGeometry();
        QPoint place(owner.left() + (owner.width() - frameGeometry().width()) / 2,
                     owner.top() + (owner.height() - frameGeometry().height()) / 2);
        if (const QScreen* screen = AOwner.screen()) {
            const QRect desktop = screen->availableVirtualGeometry();
            place.setX(std::max(place.x(), desktop.left()));
            place.setY(std::max(place.y(), desktop.top()));
        }
        move(place);
    }
    exec();
}

void TResultsForm::keyPressEvent(QKeyEvent* AEvent) {
    // The window has no Escape binding: it is closed only by its frame or system menu.
    if (AEvent->key() == Qt::Key_Escape) {
        AEvent->ignore();
        return;
    }
    QDialog::keyPressEvent(AEvent);
}
