#pragma once

#include "Command.h"

#include <QDialog>
#include <QStringList>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The question before a command that is not a read goes to a production server: it names the
// profile, the command, its class and the values to be sent. Cancel is the default; a remove is
// sent only once the profile's name is typed.
class TProductionConfirm : public QDialog {
    Q_OBJECT
public:
    // ALines: the form's lines as they will be sent, secrets already blanked. ARows: a run of
    // rows asks once for all of them, naming their number.
    TProductionConfirm(const QString& AProfile, const TCommand& ACommand, const QStringList& ALines,
                       QWidget* AParent, qint64 ARows = 0);

    QLabel* Statement;
    QPlainTextEdit* Values;
    QLineEdit* NameEdit = nullptr; // removes only
    QPushButton* SendButton;
    QPushButton* CancelButton;

private:
    QString FProfile;
};
