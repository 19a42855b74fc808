#include "PreparedAnswer.h"

#include "AnswerBlob.h"

TPreparedAnswer PrepareAnswer(const THistoryCall& ACall, const THistoryLimits& ALimits,
                              bool ASearchable, THistoryIndexing AIndexing) {
    QByteArray text = ACall.AnswerUtf8.isNull() ? ACall.Answer.toUtf8() : ACall.AnswerUtf8;
    QByteArray compressed = ACall.AnswerCompressed;
    // A text given only compressed is unpacked only where it is needed whole.
    bool packedOnly = ACall.AnswerUtf8.isNull() && ACall.Answer.isNull() && !compressed.isEmpty();
    qint64 textBytes = packedOnly ? ACall.AnswerTextBytes : text.size();
    const auto deferredFor = [&](qint64 ABytes) {
        return ASearchable && AIndexing == THistoryIndexing::DeferLarge &&
               ABytes > THistoryStore::DeferIndexBytes;
    };
    if (packedOnly &&
        (textBytes > ALimits.MaxAnswerBytes || (ASearchable && !deferredFor(textBytes)))) {
        text = AnswerBlob::Decompress(compressed);
        textBytes = text.size();
        packedOnly = false;
    }
    TPreparedAnswer answer;
    answer.AnswerSize = ACall.AnswerSize > 0 ? ACall.AnswerSize : textBytes;
    answer.Cut = ACall.AnswerCut || textBytes > ALimits.MaxAnswerBytes;
    if (text.size() > ALimits.MaxAnswerBytes) {
        compressed = QByteArray(); // made of more than is kept
        qsizetype end = static_cast<qsizetype>(ALimits.MaxAnswerBytes);
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end; // not inside a character
        text.truncate(end);
        textBytes = text.size();
    }
    answer.Blob = packedOnly             ? compressed
                  : text.isEmpty()       ? QByteArray()
                  : !compressed.isNull() ? compressed
                                         : AnswerBlob::Compress(text);
    answer.Deferred = deferredFor(textBytes);
    answer.Text = std::move(text);
    return answer;
}
