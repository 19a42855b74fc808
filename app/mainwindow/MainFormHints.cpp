// The window explains itself: what the version field is for and when its text is no version,
// and, under the buttons, the URL that Send will call as the connection fields are typed.

#include "MainForm.h"
#include "SendRequest.h"
#include "VersionText.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>

void TMainForm::BuildURLStrip() {
    VerEdit->setPlaceholderText(QStringLiteral("e.g. 7"));
    VerEdit->setToolTip(QStringLiteral(
        "The server's version, e.g. 7.00. Commands and parameters this version does not have "
        "are shown grey; with no version every command is grey."));
    VersionWarning = VerEdit->addAction(style()->standardIcon(QStyle::SP_MessageBoxWarning),
                                        QLineEdit::TrailingPosition);
    VersionWarning->setVisible(false);
    CallURLLabel = new QLabel(this);
    CallURLLabel->setContentsMargins(6, 0, 6, 3);
    CallURLLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long URL is cut at the window's edge rather than widening the window.
    CallURLLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    CallURLLabel->setAccessibleName(QStringLiteral("URL Send calls"));
    for (QLineEdit* field : {VerEdit, IPEdit, FilePortEdit, APIPathEdit})
        connect(field, &QLineEdit::textChanged, this, &TMainForm::ShowConnectionHints);
    ShowConnectionHints();
}

void TMainForm::ShowConnectionHints() {
    const bool version = IsVersionText(VerEdit->text());
    VersionWarning->setVisible(!version);
    const QString warning =
        version ? QString()
                : QStringLiteral("\"%1\" is not a version: every command is grey. Type a number "
                                 "such as 7.00.")
                      .arg(VerEdit->text().trimmed());
    VersionWarning->setToolTip(warning);
    VerEdit->setAccessibleDescription(warning);

    const TConnectionURL connection =
        ConnectionURL(IPEdit->text(), FilePortEdit->text(), APIPathEdit->text());
    const QString text = connection.Missing.isEmpty()
                             ? QStringLiteral("Send calls %1").arg(UrlForDisplay(connection.URL))
                             : QStringLiteral("Send cannot call: %1").arg(connection.Missing);
    CallURLLabel->setText(text);
    CallURLLabel->setToolTip(text);
}
