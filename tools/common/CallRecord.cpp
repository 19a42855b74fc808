#include "CallRecord.h"

#include "IdHTTPResponse.h"
#include "IdText.h"
#include "SecretParams.h"

void TAnswerCapture::Write(std::string_view APiece) {
    if (FCut || APiece.empty())
        return;
    const auto room = static_cast<std::size_t>(FLimit - FSize);
    if (APiece.size() <= room) {
        Keep(APiece);
        return;
    }
    std::size_t end = room;
    while (end > 0 && (static_cast<unsigned char>(APiece[end]) & 0xC0) == 0x80)
        --end; // not inside a character
    Keep(APiece.substr(0, end));
    FCut = true;
}

void TAnswerCapture::Keep(std::string_view AText) {
    FSize += static_cast<qint64>(AText.size());
    if (FBlob) {
        FBlob->Append(AText);
        return;
    }
    if (FSize <= FPlainLimit) {
        FText.append(AText.data(), static_cast<qsizetype>(AText.size()));
        return;
    }
    // Too long to be indexed at once: from here on the text is compressed as it comes.
    FBlob = std::make_unique<TBackgroundBlob>();
    FBlob->Append(std::string_view(FText.constData(), static_cast<std::size_t>(FText.size())));
    FBlob->Append(AText);
    FText = QByteArray();
}

void TAnswerCapture::TakeInto(THistoryCall& ACall) {
    if (FBlob) {
        ACall.AnswerCompressed = FBlob->Finish();
        ACall.AnswerTextBytes = FSize;
        FBlob.reset();
        return;
    }
    ACall.AnswerUtf8 = FText.isNull() ? QByteArray("") : std::move(FText);
    FText = QByteArray();
}

TCallRecord::TCallRecord(bool AKeep, const QString& AURL, const TCommand& ACommand,
                         const QStringList& AFields, bool AJSON, const QString& AFolder)
    : FAnswer(THistoryLimits{}.MaxAnswerBytes, THistoryStore::DeferIndexBytes) {
    if (!AKeep)
        return;
    // The words of a large answer are indexed when the history is next searched or the window
    // opens it, and the journal goes into the file as the next call starts, not while the tool's
    // caller waits.
    FRecorder = std::make_unique<THistoryRecorder>(
        AFolder, THistoryLimits{}, THistoryIndexing::DeferLarge, THistoryFolding::OnNextOpen);
    FFacts.When = QDateTime::currentDateTimeUtc();
    FFacts.URL = AURL;
    FFacts.Command = QString::fromStdString(ACommand.Name);
    FFacts.Fields = AFields;
    FFacts.SecretNames = SecretNames(ACommand);
    FFacts.JSON = AJSON;
}

TCallRecord::~TCallRecord() = default;

void TCallRecord::Answer(std::string_view AUtf8) {
    if (FRecorder)
        FAnswer.Write(AUtf8);
}

void TCallRecord::Answer(std::u16string_view AText) {
    if (FRecorder)
        FAnswer.Write(IdText::ToUTF8(AText));
}

QString TCallRecord::Finish(THistoryOutcome AOutcome, const QString& AErrorText,
                            const TIdHTTPResponse* AResponse) {
    if (!FRecorder)
        return {};
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
    FRecorder->Record(std::move(call));
    FRecorder->WaitIdle();
    return FRecorder->Status();
}
