// The call history: recording each Send, the history window, and a stored call brought back
// into the results window or the grid.

#include "AnswerCapture.h"
#include "CommandTree.h"
#include "HistoryCall.h"
#include "HistoryForm.h"
#include "HistoryRecorder.h"
#include "MainForm.h"
#include "ParamTree.h"
#include "ResultsForm.h"
#include "SecretParams.h"
#include "SendCall.h"
#include "SendErrorDetails.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QShortcut>

namespace {
constexpr int FixedRows = 3; // Command, Password and JSON: filled by the program
}

void TMainForm::CreateHistory() {
    // A large answer is kept as it came, compressed meanwhile; its words are indexed after it.
    FHistory = std::make_unique<THistoryRecorder>(QString(), THistoryLimits{},
                                                  THistoryIndexing::Background);
    // Told once, without stopping the user's work.
    connect(FHistory.get(), &THistoryRecorder::MovedAside, this, [this](const QString& AFileName) {
        auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Call history"),
                                    QStringLiteral("The call history could not be read; it was "
                                                   "moved to %1 and a new one was started.")
                                        .arg(AFileName),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    });
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
    connect(shortcut, &QShortcut::activated, this, &TMainForm::ShowHistory);
}

void TMainForm::ShowHistory() {
    if (!FHistoryForm) {
        FHistoryForm = std::make_unique<THistoryForm>(
            *FHistory, [this](const THistoryCall& ACall) { ReopenAnswer(ACall); },
            [this](const THistoryCall& ACall) { LoadIntoGrid(ACall); }, this);
        ShowAboutOnF1(*FHistoryForm);
    }
    FHistoryForm->show();
    FHistoryForm->raise();
    FHistoryForm->activateWindow();
    FHistoryForm->FilterEdit->setFocus(Qt::ShortcutFocusReason);
}

void TMainForm::RecordCall(const TSendRecord& ASend, const TCallResult& AResult,
                           TAnswerCapture* ACapture, std::shared_ptr<const THistoryCall> ABefore) {
    if (!FHistory->Enabled() || ACapture == nullptr)
        return;
    THistoryCall call = HistoryRecordOf(*FCurrentCommand, ASend, AResult, *ACapture);
    call.BeforeCopy = std::move(ABefore);
    FHistory->Record(std::move(call));
}

THistoryCall TMainForm::HistoryRecordOf(const TCommand& ACommand, const TSendRecord& ASend,
                                        const TCallResult& AResult, TAnswerCapture& ACapture) {
    THistoryCallFacts facts;
    facts.When = ASend.Started;
    facts.URL = ASend.URL;
    facts.Command = QString::fromStdString(ACommand.Name);
    facts.Fields = ASend.Fields;
    facts.SecretNames = SecretNames(ACommand);
    facts.Profile = FProfileName;
    facts.JSON = JSONRB->isChecked();
    facts.DurationMs = AResult.DurationMs > 0
                           ? AResult.DurationMs
                           : ASend.Started.msecsTo(QDateTime::currentDateTimeUtc());
    switch (ASend.Outcome) {
    case TSendCall::TOutcome::Succeeded:
        facts.Outcome = THistoryOutcome::Answer;
        break;
    case TSendCall::TOutcome::Failed:
        facts.Outcome = THistoryOutcome::Error;
        facts.ErrorText = ASend.ErrorText;
        break;
    case TSendCall::TOutcome::Cancelled:
        // The cancelled call's own words are not kept: cancelling was the user's choice.
        facts.Outcome = THistoryOutcome::Cancelled;
        break;
    }
    // What came of an answer is kept, even when the call then failed or was cancelled: the
    // capture took it as it arrived; a refusal's text came whole with the failure.
    const bool answered =
        ASend.Outcome == TSendCall::TOutcome::Succeeded || AResult.Refused || ASend.Arrived;
    if (answered)
        facts.Answer = THistoryAnswerHead{AResult.StatusLine, AResult.ContentType, AResult.CharSet,
                                          AResult.ByteSize};
    THistoryCall call = BuildHistoryCall(facts);
    if (AResult.Refused)
        ACapture.Write(std::u16string_view(AResult.Text));
    if (answered)
        ACapture.TakeInto(call);
    return call;
}

void TMainForm::ReopenAnswer(const THistoryCall& ACall) {
    FResultsForm->setWindowTitle(ACall.Command + QStringLiteral(" - ") +
                                 (ACall.Format == QLatin1String("Legacy")
                                      ? QStringLiteral("Legacy format")
                                      : QStringLiteral("JSON format")));
    TCallResult result;
    result.Text =
        (ACall.Outcome == THistoryOutcome::Answer || !ACall.Answer.isEmpty() ? ACall.Answer
                                                                             : ACall.ErrorText)
            .toStdU16String();
    result.StatusLine = ACall.StatusLine.toStdString();
    result.ContentType = ACall.ContentType.toStdString();
    result.CharSet = ACall.CharSet.toStdString();
    result.DurationMs = ACall.DurationMs;
    result.ByteSize = ACall.AnswerSize;
    if (ACall.AnswerCut)
        result.KeptBytes = ACall.Answer.toUtf8().size();
    FResultsForm->SetCommand(ACall.Command);
    FResultsForm->SetCallResult(std::move(result));
    FResultsForm->ShowModalOver(FHistoryForm ? static_cast<QWidget&>(*FHistoryForm) : *this);
}

void TMainForm::LoadIntoGrid(const THistoryCall& ACall) {
    // The history window takes input while a Send runs; the grid belongs to that Send then.
    if (Sending())
        return;
    int position = -1;
    for (std::size_t i = 0; i < FCommands.size(); ++i)
        if (!FCommands[i]->Header && QString::fromStdString(FCommands[i]->Name) == ACall.Command)
            position = static_cast<int>(i);
    if (position < 0) {
        QMessageBox box(
            QMessageBox::Warning, QStringLiteral("Call history"),
            QStringLiteral("The command %1 is not in the catalogue.").arg(ACall.Command),
            QMessageBox::Ok, FHistoryForm.get());
        box.exec();
        return;
    }
    GoToCommand(position);
    (ACall.Format == QLatin1String("Legacy") ? LegacyRB : JSONRB)->setChecked(true);

    // Every row takes its stored value and tick; rows the call did not send are emptied and
    // unticked. The password comes from the password field when the call is sent again. Other
    // secrets were kept without their values: their rows stay unticked rather than go out empty.
    TParamValues stored;
    for (const QString& line : ACall.Fields)
        stored.Add(line);
    for (int row = FixedRows; row < FParamValues.Count(); ++row) {
        const QString name = FParamValues.Name(row);
        qsizetype found = -1;
        for (qsizetype i = 0; i < stored.Count() && found < 0; ++i)
            if (stored.Name(i).compare(name, Qt::CaseInsensitive) == 0)
                found = i;
        const QString value = found >= 0 ? stored.Value(found) : QString();
        const bool withheld =
            value.isEmpty() && FCurrentCommand->Params[static_cast<std::size_t>(row)]->Secret;
        FParamValues.SetLine(row, name + u'=' + value);
        ParamTreeModel->SetChecked(row, found >= 0 && !withheld);
    }
    ParamTree->viewport()->update();
    raise();
    activateWindow();
    ParamTree->setFocus(Qt::OtherFocusReason);
}
