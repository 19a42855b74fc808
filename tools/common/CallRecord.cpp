#include "CallRecord.h"

#include "IdHTTPResponse.h"
#include "IdText.h"
#include "SendRequest.h"

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

TCallRecord::TCallRecord(bool AKeep, const QString& AURL, const QString& ACommand,
                         const QStringList& AFields, bool AJSON, const QString& AFolder)
    : FAnswer(THistoryLimits{}.MaxAnswerBytes, THistoryStore::DeferIndexBytes) {
    if (!AKeep)
        return;
    // The words of a large answer are indexed when the history is next searched or the window
    // opens it, and the journal goes into the file as the next call starts, not while the tool's
    // caller waits.
    FRecorder = std::make_unique<THistoryRecorder>(
        AFolder, THistoryLimits{}, THistoryIndexing::DeferLarge, THistoryFolding::OnNextOpen);
    FCall.When = QDateTime::currentDateTimeUtc();
    FCall.URL = UrlForDisplay(AURL); // no user password from the address either
    FCall.Command = ACommand;
    FCall.Fields = AFields; // the recorder empties the password before it keeps them
    FCall.Format = AJSON ? QStringLiteral("JSON") : QStringLiteral("Legacy");
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
    FCall.DurationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - FStart)
                           .count();
    FCall.Outcome = AOutcome;
    FCall.ErrorText = AErrorText;
    if (AResponse != nullptr) {
        FCall.StatusLine = QString::fromStdString(AResponse->ResponseText);
        FCall.ContentType = QString::fromStdString(AResponse->ContentType);
        FCall.CharSet = QString::fromStdString(AResponse->CharSet);
        FCall.AnswerSize = AResponse->BodySize;
        FCall.AnswerCut = FAnswer.Cut();
        FAnswer.TakeInto(FCall);
    }
    FRecorder->Record(std::move(FCall));
    FRecorder->WaitIdle();
    return FRecorder->Status();
}
