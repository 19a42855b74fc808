#include "ProductionConfirm.h"

#include "ProductionGuard.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TProductionConfirm::TProductionConfirm(const QString& AProfile, const TCommand& ACommand,
                                       const QStringList& ALines, QWidget* AParent, qint64 ARows)
    : QDialog(AParent), FProfile(AProfile) {
    setWindowTitle(QStringLiteral("Send to production profile '%1'?").arg(AProfile));
    auto* layout = new QVBoxLayout(this);
    Statement = new QLabel(
        QStringLiteral("%1.\nProfile: %2 (production)\nCommand: %3\nClass: %4\n\nValues to send:")
            .arg(GuardStatement(ACommand, AProfile) +
                     (ARows > 0 ? QStringLiteral(" for each of %1 row%2")
                                      .arg(ARows)
                                      .arg(ARows == 1 ? QString() : QStringLiteral("s"))
                                : QString()),
                 AProfile, QString::fromStdString(ACommand.Name),
                 QString::fromLatin1(CommandClassName(ACommand.Class))),
        this);
    Statement->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(Statement);
    Values = new QPlainTextEdit(ALines.join(u'\n'), this);
    Values->setReadOnly(true);
    Values->setAccessibleName(QStringLiteral("Values to send"));
    Values->setTabChangesFocus(true);
    layout->addWidget(Values);
    auto* buttons = new QDialogButtonBox(this);
    SendButton = buttons->addButton(QStringLiteral("Send"), QDialogButtonBox::AcceptRole);
    CancelButton = buttons->addButton(QDialogButtonBox::Cancel);
    SendButton->setAutoDefault(false);
    CancelButton->setDefault(true);
    if (NeedsTypedName(ACommand)) {
        auto* prompt = new QLabel(
            QStringLiteral("Type the profile's name (%1) to send this remove:").arg(AProfile),
            this);
        NameEdit = new QLineEdit(this);
        NameEdit->setAccessibleName(QStringLiteral("Profile name to confirm"));
        prompt->setBuddy(NameEdit);
        layout->addWidget(prompt);
        layout->addWidget(NameEdit);
        SendButton->setEnabled(false);
        connect(NameEdit, &QLineEdit::textChanged, this,
                [this](const QString& AText) { SendButton->setEnabled(AText == FProfile); });
    }
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (NameEdit == nullptr || NameEdit->text() == FProfile)
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    (NameEdit != nullptr ? static_cast<QWidget*>(NameEdit) : CancelButton)->setFocus();
    resize(460, 320);
}
