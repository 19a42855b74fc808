// Send: validates the connection fields, posts the checked parameter lines and shows the answer
// as it arrives.

#include "AnswerCapture.h"
#include "AnswerIntake.h"
#include "BeforeCopyCall.h"
#include "CallArguments.h"
#include "CallLine.h"
#include "HistoryRecorder.h"
#include "IdHTTP.h"
#include "MainForm.h"
#include "ParamTree.h"
#include "ResultsForm.h"
#include "SecretParams.h"
#include "SendCall.h"
#include "SendErrorDetails.h"
#include "SendRequest.h"
#include "TrustPrompt.h"

#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QToolTip>

namespace {

// ADetails, when given, go behind the box's "Show Details..." button.
void ShowSendError(QWidget* AParent, const QString& AMessage, const QString& ADetails = {}) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), AMessage, QMessageBox::Ok,
                    AParent);
    box.setDetailedText(ADetails);
    box.exec();
}

} // namespace

bool TMainForm::ComposeCall(QString& AURL, TParamValues& AForm) {
    TConnectionURL connection =
        ConnectionURL(IPEdit->text(), FilePortEdit->text(), APIPathEdit->text());
    if (!connection.Missing.isEmpty()) {
        ShowSendError(this, connection.Missing);
        return false;
    }
    AURL = std::move(connection.URL);
    // Rows never shown take their initial state here.
    AForm = ComposeForm(
        FParamValues,
        [this](qsizetype ARow) { return ParamTreeModel->Checked(static_cast<int>(ARow)); },
        PasswordEdit->text());
    return true;
}

void TMainForm::CallButtonClick() {
    QString url;
    TParamValues form;
    if (!ComposeCall(url, form))
        return;
    // Nothing goes out before the answer.
    if (!ConfirmProductionSend(form))
        return;
    FTrustPrompt->Reset();
    FTrustDeclined = false;
    // The before copy goes out only after the guard's answer, and before the call.
    std::shared_ptr<const THistoryCall> before;
    if (!SendBeforeCopy(url, before))
        return;
    std::vector<std::u16string> lines = WireLines(form);
    const QDateTime started = QDateTime::currentDateTimeUtc();
    const QString command = QString::fromStdString(FCurrentCommand->Name);
    const QString title =
        command + QStringLiteral(" - ") +
        (JSONRB->isChecked() ? QStringLiteral("JSON format") : QStringLiteral("Legacy format")) +
        // With one profile the caption is as it always was.
        (ProfileBox->count() > 1 || FProduction
             ? QStringLiteral(" - profile '%1'").arg(FProfileName)
             : QString());
    // The answer goes into the results window and the history as it arrives, never held whole
    // anywhere else.
    auto intake = std::make_shared<TAnswerIntake>();
    std::unique_ptr<TAnswerCapture> capture;
    if (FHistory->Enabled())
        capture = std::make_unique<TAnswerCapture>();
    FCall = std::make_unique<TSendCall>(
        [this, url = url.toStdU16String(), lines = std::move(lines)] { return Post(url, lines); },
        [this] { AbortPost(); });
    TSendCall& call = *FCall;
    FHTTPClient->SetBodySink(
        [this, &call, &intake = *intake, capture = capture.get()](std::u16string_view APiece) {
            const TIdHTTPResponse& response = FHTTPClient->Response();
            const bool first = !APiece.empty() && !intake.Started();
            if (first)
                intake.Start({response.ResponseText, response.ContentType, response.CharSet,
                              response.CharSetAssumed},
                             response.ContentLength);
            intake.Append(APiece, response.BodySize);
            if (capture != nullptr)
                capture->Write(APiece);
            if (first)
                call.Arriving();
        });
    // The results window opens with the answer's first piece, and may cancel the call from then.
    call.OnArriving = [&] {
        FResultsForm->setWindowTitle(title);
        FResultsForm->SetCommand(command);
        FResultsForm->BeginAnswer(intake);
        FResultsForm->ShowOver(*this);
    };
    const QMetaObject::Connection cancelling = connect(
        FResultsForm.get(), &TResultsForm::CancelRequested, this, [&call] { call.Cancel(); });
    const TSendCall::TOutcome outcome = call.Run(*this, command);
    disconnect(cancelling);
    FHTTPClient->SetBodySink({});
    const QString errorText = call.ErrorText();
    TCallResult result = call.TakeResult();
    FCall.reset();
    // Part of the answer came before the call failed or was cancelled: what the server said of
    // it is the client's, as no result was made. The text stays in the intake for the window.
    const bool arrived = intake->Started();
    if (arrived && outcome != TSendCall::TOutcome::Succeeded && !result.Refused) {
        const TIdHTTPResponse& response = FHTTPClient->Response();
        result.StatusLine = response.ResponseText;
        result.ContentType = response.ContentType;
        result.CharSet = response.CharSet;
        result.CharSetAssumed = response.CharSetAssumed;
        result.ByteSize = intake->Bytes();
    }
    RecordCall({started, url, form.AllLines(), outcome, errorText, arrived}, result, capture.get(),
               std::move(before));

    ShowSendOutcome(outcome, arrived, std::move(result), errorText, url, title);
}

void TMainForm::ShowSendOutcome(TSendCall::TOutcome AOutcome, bool AArrived, TCallResult AResult,
                                const QString& AErrorText, const QString& AURL,
                                const QString& ATitle) {
    switch (AOutcome) {
    case TSendCall::TOutcome::Cancelled:
        // The user's choice, not a failure. Cancelled in the results window, what came stays
        // there; a window closed, or a call cancelled before its answer, shows nothing.
        if (AArrived && FResultsForm->isVisible()) {
            FResultsForm->EndAnswer(std::move(AResult), true);
            FResultsForm->ShowModalOver(*this);
        } else if (AArrived) {
            FResultsForm->AbandonAnswer();
        }
        return;
    case TSendCall::TOutcome::Failed:
        if (AArrived)
            FResultsForm->AbandonAnswer();
        if (FTrustDeclined)
            return; // the user refused the server's certificate: nothing was sent
        // A failure without words is still a failure.
        return ShowSendError(this,
                             AErrorText.trimmed().isEmpty()
                                 ? QStringLiteral("The server's answer had an empty status line.")
                                 : AErrorText,
                             SendErrorDetails(AURL, AResult));
    case TSendCall::TOutcome::Succeeded:
        break;
    }
    FResultsForm->setWindowTitle(ATitle);
    FResultsForm->SetCommand(ATitle.section(u' ', 0, 0)); // the title begins with the command
    FResultsForm->EndAnswer(std::move(AResult)); // the text arrived into the window, if any came
    FResultsForm->ShowModalOver(*this);
}

bool TMainForm::SendBeforeCopy(const QString& AURL, std::shared_ptr<const THistoryCall>& ABefore) {
    if (!TakesBeforeCopy(FBeforeCopies, FProduction))
        return true;
    TCallGrid grid{FCurrentCommand, FParamValues, {}};
    for (qsizetype row = 0; row < FParamValues.Count(); ++row)
        grid.Ticked.push_back(ParamTreeModel->Checked(static_cast<int>(row)));
    const std::optional<TCallGrid> read = BeforeCopyGrid(grid, FCommands);
    if (!read)
        return true;
    const TParamValues form = CallForm(*read, PasswordEdit->text());
    const QDateTime started = QDateTime::currentDateTimeUtc();
    // Its answer goes to the history only, never to the results window.
    TAnswerCapture capture;
    FCall = std::make_unique<TSendCall>(
        [this, url = AURL.toStdU16String(), lines = WireLines(form)] { return Post(url, lines); },
        [this] { AbortPost(); });
    TSendCall& call = *FCall;
    bool arrived = false; // written by the worker, read once it is joined
    FHTTPClient->SetBodySink([&capture, &arrived](std::u16string_view APiece) {
        arrived = arrived || !APiece.empty();
        capture.Write(APiece);
    });
    const QString name = QString::fromStdString(read->Command->Name);
    const TSendCall::TOutcome outcome =
        call.Run(*this, QStringLiteral("%1 (before copy)").arg(name));
    FHTTPClient->SetBodySink({});
    const QString errorText = call.ErrorText();
    TCallResult result = call.TakeResult();
    FCall.reset();
    if (FHistory->Enabled()) {
        auto record = std::make_shared<THistoryCall>(HistoryRecordOf(
            *read->Command, {started, AURL, form.AllLines(), outcome, errorText, arrived}, result,
            capture));
        if (outcome == TSendCall::TOutcome::Cancelled || FTrustDeclined) {
            // Nothing more goes out: the read is kept alone.
            FHistory->Record(std::move(*record));
            return false;
        }
        ABefore = std::move(record);
    }
    // A read that failed does not hold the call back; its entry says how it failed.
    return outcome != TSendCall::TOutcome::Cancelled && !FTrustDeclined;
}

void TMainForm::CopyCallLine(bool ACurl) {
    // The same rules as Send: nothing without a command to send, the same messages for a
    // missing connection field, and the same form.
    if (!CallButton->isEnabled() || FCurrentCommand == nullptr)
        return;
    QString url;
    TParamValues form;
    if (!ComposeCall(url, form))
        return;
    const QStringList secrets = SecretNames(*FCurrentCommand);
    QString text;
    if (ACurl) {
        text = CurlLine(url, form, secrets, false, CurlTlsFor(url));
    } else {
        // Command, Password and JSON are the tool's own: it takes them from its arguments,
        // its password sources and --legacy.
        QStringList lines;
        for (qsizetype row = 0; row < form.Count(); ++row) {
            const QString name = form.Name(row);
            if (name.compare(u"Command", Qt::CaseInsensitive) != 0 &&
                name.compare(u"Password", Qt::CaseInsensitive) != 0 &&
                name.compare(u"JSON", Qt::CaseInsensitive) != 0)
                lines << form.Line(row);
        }
        text = CallToolLine(url, JSONRB->isChecked(), QString::fromStdString(FCurrentCommand->Name),
                            lines, secrets, OutsideTypedVersion());
    }
    QGuiApplication::clipboard()->setText(text);
    // Said briefly where the user is looking: at the focused control.
    const QString notice = (ACurl ? QStringLiteral("Copied a curl command line for %1")
                                  : QStringLiteral("Copied a vlcallbench-call command line for %1"))
                               .arg(QString::fromStdString(FCurrentCommand->Name));
    QWidget* focused = focusWidget() ? focusWidget() : this;
    QToolTip::showText(focused->mapToGlobal(focused->rect().center()), notice, focused, {},
                       CopyNoticeTime);
}

bool TMainForm::OutsideTypedVersion() const {
    // The tool's own check, against the typed version: with nothing typed it checks nothing.
    if (TrimControl(VerEdit->text()).isEmpty())
        return false;
    TCallGrid grid{FCurrentCommand, FParamValues, {}};
    for (qsizetype row = 0; row < FParamValues.Count(); ++row)
        grid.Ticked.push_back(ParamTreeModel->Checked(static_cast<int>(row)));
    try {
        CheckVersions(grid, EnteredVersion());
        return false;
    } catch (const ECallUsage&) {
        return true;
    }
}
