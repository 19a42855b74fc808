#include "CallRecord.h"

#include "IdHTTPResponse.h"
#include "IdText.h"
#include "SecretParams.h"

TCallRecord::TCallRecord(bool AKeep, const QString& AURL, const TCommand& ACommand,
                         const QStringList& AFields, bool AJSON, const QString& AFolder)
    : TCallRecord(TBuiltOnly{}, AKeep, AURL, ACommand, AFields, AJSON) {
    // The words of a large answer are indexed when the history is next searched or the window
    // opens it, and the journal goes into the file as the next call starts, not while the tool's
    // caller waits.
    if (AKeep)
        FRecorder = std::make_unique<THistoryRecorder>(
            AFolder, THistoryLimits{}, THistoryIndexing::DeferLarge, THistoryFolding::OnNextOpen);
}

TCallRecord::TCallRecord(TBuiltOnly, bool AKeep, const QString& AURL, const TCommand& ACommand,
                         const QStringList& AFields, bool AJSON)
    : FKeep(AKeep), FAnswer(THistoryLimits{}.MaxAnswerBytes, THistoryStore::DeferIndexBytes) {
    if (AKeep)
        Describe(AURL, ACommand, AFields, AJSON);
}

void TCallRecord::Describe(const QString& AURL, const TCommand& ACommand,
                           const QStringList& AFields, bool AJSON) {
    FFacts.When = QDateTime::currentDateTimeUtc();
    FFacts.URL = AURL;
    FFacts.Command = QString::fromStdString(ACommand.Name);
    FFacts.Fields = AFields;
    FFacts.SecretNames = SecretNames(ACommand);
    FFacts.JSON = AJSON;
}

TCallRecord::~TCallRecord() = default;

void TCallRecord::Answer(std::string_view AUtf8) {
    if (FKeep)
        FAnswer.Write(AUtf8);
}

void TCallRecord::Answer(std::u16string_view AText) {
    if (FKeep)
        FAnswer.Write(IdText::ToUTF8(AText));
}

void TCallRecord::KeepBefore(THistoryCall ABefore) {
    FBefore = std::make_shared<const THistoryCall>(std::move(ABefore));
}

std::optional<THistoryCall> TCallRecord::Build(THistoryOutcome AOutcome, const QString& AErrorText,
                                               const TIdHTTPResponse* AResponse) {
    if (!FKeep)
        return std::nullopt;
    FFacts.DurationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - FStart)
                            .count();
    FFacts.Outcome = AOutcome;
    FFacts.ErrorText = AErrorText;
    if (AResponse != nullptr)
        FFacts.Answer = THistoryAnswerHead{AResponse->ResponseText, AResponse->ContentType,
                                           AResponse->CharSet, AResponse->BodySize};
    THistoryCall call = BuildHistoryCall(FFacts);
    if (AResponse != nullptr) {
        call.AnswerCut = FAnswer.Cut();
        FAnswer.TakeInto(call);
    }
    call.BeforeCopy = FBefore;
    return call;
}

QString TCallRecord::Finish(THistoryOutcome AOutcome, const QString& AErrorText,
                            const TIdHTTPResponse* AResponse) {
    std::optional<THistoryCall> call = Build(AOutcome, AErrorText, AResponse);
    if (!call || !FRecorder)
        return {};
    FRecorder->Record(std::move(*call));
    FRecorder->WaitIdle();
    return FRecorder->Status();
}

void TCallRecord::RecordBeforeOnly() {
    if (!FBefore || !FRecorder)
        return;
    FRecorder->Record(*FBefore);
    FRecorder->WaitIdle();
}
