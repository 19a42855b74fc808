#include "CallRecord.h"

#include "AnswerBlob.h"

#include "IdHTTPResponse.h"
#include "SendRequest.h"

#include <system_error>

void TAnswerCapture::Write(std::u16string_view APiece) {
    if (FCut || APiece.empty())
        return;
    std::u16string_view rest = APiece;
    if (FPendingHigh != 0) {
        const char16_t pair[2] = {FPendingHigh, rest.front()};
        FPendingHigh = 0;
        const bool joined = QChar::isLowSurrogate(pair[1]);
        Append(QStringView(pair, joined ? 2 : 1));
        if (joined)
            rest.remove_prefix(1);
    }
    if (!rest.empty() && QChar::isHighSurrogate(rest.back())) {
        FPendingHigh = rest.back();
        rest.remove_suffix(1);
    }
    if (!rest.empty())
        Append(QStringView(rest.data(), static_cast<qsizetype>(rest.size())));
}

void TAnswerCapture::Append(QStringView AText) {
    if (FCut)
        return;
    const QByteArray bytes = AText.toUtf8();
    const auto room = static_cast<qsizetype>(FLimit - FText.size());
    if (bytes.size() <= room) {
        // Made as large as it may grow at once rather than grown by copies; the memory is
        // taken only as it is filled.
        if (FText.capacity() < FLimit)
            FText.reserve(static_cast<qsizetype>(FLimit));
        FText.append(bytes);
        return;
    }
    qsizetype end = room;
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
        --end; // not inside a character
    FText.append(bytes.constData(), end);
    FCut = true;
}

QByteArray TAnswerCapture::Take() {
    if (FPendingHigh != 0) {
        const char16_t lone = FPendingHigh;
        FPendingHigh = 0;
        Append(QStringView(&lone, 1));
    }
    // Never null, so that an empty answer is recorded as one.
    QByteArray text = FText.isNull() ? QByteArray("") : std::move(FText);
    FText = QByteArray();
    return text;
}

TCallRecord::TCallRecord(bool AKeep, const QString& AURL, const QString& ACommand,
                         const QStringList& AFields, bool AJSON, const QString& AFolder)
    : FAnswer(THistoryLimits{}.MaxAnswerBytes) {
    if (!AKeep)
        return;
    // The words of a large answer are indexed when the history is next searched or the window
    // opens it, not while the tool's caller waits.
    FRecorder =
        std::make_unique<THistoryRecorder>(AFolder, THistoryLimits{}, THistoryIndexing::DeferLarge);
    FCall.When = QDateTime::currentDateTimeUtc();
    FCall.URL = UrlForDisplay(AURL); // no user password from the address either
    FCall.Command = ACommand;
    FCall.Fields = AFields; // the recorder empties the password before it keeps them
    FCall.Format = AJSON ? QStringLiteral("JSON") : QStringLiteral("Legacy");
}

TCallRecord::~TCallRecord() = default;

void TCallRecord::Answer(std::u16string_view APiece) {
    if (!FRecorder || FFull)
        return;
    FAnswer.Write(APiece);
    if (!FAnswer.Cut())
        return;
    FFull = true;
    FText = FAnswer.Take();
    try {
        FCompressed =
            std::async(std::launch::async, [text = FText] { return AnswerBlob::Compress(text); });
    } catch (const std::system_error&) {
        // No thread to spare: the store compresses the text itself.
    }
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
        FCall.AnswerUtf8 = FFull ? FText : FAnswer.Take();
        if (FCompressed.valid()) {
            try {
                FCall.AnswerCompressed = FCompressed.get();
            } catch (const std::exception&) {
                // Out of memory on the way: the store tries again.
            }
        }
    }
    FRecorder->Record(std::move(FCall));
    FRecorder->WaitIdle();
    return FRecorder->Status();
}
