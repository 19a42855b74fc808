#pragma once

#include "BackgroundBlob.h"
#include "HistoryStore.h"

#include <QByteArray>

#include <memory>
#include <string_view>

// The part of an answer the call history keeps, taken as the answer arrives: its first ALimit
// bytes of UTF-8 text, ending with a whole character, and whether more came. A text of up to
// APlainLimit bytes is kept as it is, to be indexed at once; a longer one is compressed on a
// thread of its own as it comes, so memory stays small whatever the answer's size and no copy of
// the whole answer is made for the history.
class TAnswerCapture {
public:
    explicit TAnswerCapture(qint64 ALimit = THistoryLimits{}.MaxAnswerBytes,
                            qint64 APlainLimit = THistoryStore::DeferIndexBytes)
        : FLimit(ALimit), FPlainLimit(APlainLimit) {}

    // A piece of the answer as UTF-8, whole characters only.
    void Write(std::string_view APiece);
    // The same from UTF-16; nothing is converted once the limit is reached.
    void Write(std::u16string_view APiece);
    bool Cut() const { return FCut; }
    // Gives ACall what was kept: AnswerUtf8, or AnswerCompressed and AnswerTextBytes, and
    // AnswerCut. Never nothing, so that an empty answer is recorded as one. The capture is spent
    // afterwards.
    void TakeInto(THistoryCall& ACall);

private:
    void Keep(std::string_view AText);

    qint64 FLimit;
    qint64 FPlainLimit;
    qint64 FSize = 0;
    QByteArray FText;
    std::unique_ptr<TBackgroundBlob> FBlob;
    bool FCut = false;
};
