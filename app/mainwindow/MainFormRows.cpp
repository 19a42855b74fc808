// Run for rows: the focused command, with the grid's ticked rows given to every row, sent for each
// row of a file from a window of its own.

#include "BeforeCopyCall.h"
#include "HistoryRecorder.h"
#include "IdSSLIOHandlerSocketOpenSSL.h"
#include "MainForm.h"
#include "ParamTree.h"
#include "PinStore.h"
#include "ProductionConfirm.h"
#include "ProductionGuard.h"
#include "RowRunForm.h"
#include "SecretParams.h"
#include "SendRequest.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

void TMainForm::ShowRowRun() {
    // The same rules as Send: nothing without a command to send, and the same messages for a
    // missing connection field.
    if (!CallButton->isEnabled() || FCurrentCommand == nullptr || Sending())
        return;
    ParamTree->CommitEdit();
    QString url;
    TParamValues form;
    if (!ComposeCall(url, form))
        return;
    TRowRunContext context;
    context.Command = FCurrentCommand;
    context.JSON = JSONRB->isChecked();
    // Command, Password and JSON are the run's own; the other ticked rows go with every row.
    for (qsizetype row = 0; row < form.Count(); ++row) {
        const QString name = form.Name(row);
        if (name.compare(u"Command", Qt::CaseInsensitive) != 0 &&
            name.compare(u"Password", Qt::CaseInsensitive) != 0 &&
            name.compare(u"JSON", Qt::CaseInsensitive) != 0)
            context.Fixed << form.Line(row);
    }
    if (!TrimControl(VerEdit->text()).isEmpty())
        context.Server = EnteredVersion();
    context.URL = url;
    context.Profile = FProfileName;
    context.Password = PasswordEdit->text();
    context.CurlTls = CurlTlsFor(url);
    // No question can be asked from the run's connections: a certificate that fails the check
    // goes only when the user trusted it before, in a Send.
    context.ConfigureTls = [pins = FStore.FileName()](TIdSSLIOHandlerSocketOpenSSL& AHandler) {
        AHandler.OnVerifyPeer = [pins](const TIdPeerCertificate& APeer) {
            return DecideTrust(TPinStore(pins).Find(APeer.Host, APeer.Port), APeer) ==
                   TTrustVerdict::Trusted;
        };
    };
    if (NeedsConfirmation(*FCurrentCommand, FProduction)) {
        const QStringList secrets = SecretNames(*FCurrentCommand);
        QStringList lines;
        for (const QString& line : context.Fixed)
            lines << (IsSecretName(secrets, line.left(line.indexOf(u'=')))
                          ? line.left(line.indexOf(u'=')) + QStringLiteral("=(not shown)")
                          : line);
        lines << QStringLiteral("and each row's values from the file");
        context.ConfirmRun = [this, profile = FProfileName, command = FCurrentCommand,
                              lines](qint64 ARows) {
            TProductionConfirm confirm(profile, *command, lines, FRowRunForm, ARows);
            return confirm.exec() == QDialog::Accepted;
        };
    }
    context.HistoryFolder = FHistory->Folder();
    context.KeepHistory = FHistory->Enabled();
    context.BeforeCopies = TakesBeforeCopy(FBeforeCopies, FProduction);
    context.Catalogue = &FCommands;
    FRowRunForm = new TRowRunForm(std::move(context), this);
    FRowRunForm->setAttribute(Qt::WA_DeleteOnClose);
    ShowAboutOnF1(*FRowRunForm);
    FRowRunForm->show();
}

TRowRunForm* TMainForm::RowRunWindow() const {
    return FRowRunForm;
}
