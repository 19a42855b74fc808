#include "AnswerCapture.h"

#include "IdText.h"

#include <algorithm>

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

void TAnswerCapture::Write(std::u16string_view APiece) {
    if (FCut || APiece.empty())
        return;
    // A unit is at most three bytes (a pair four), so a piece past the room is converted only as
    // far as it can be kept, without cutting a pair.
    const auto room = static_cast<std::size_t>(FLimit - FSize);
    std::size_t units = std::min(APiece.size(), room + 1);
    if (units < APiece.size() && units > 0 && APiece[units - 1] >= 0xD800 &&
        APiece[units - 1] < 0xDC00)
        ++units;
    Write(std::string_view(IdText::ToUTF8(APiece.substr(0, units))));
    if (units < APiece.size())
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
    ACall.AnswerCut = FCut;
    if (FBlob) {
        ACall.AnswerCompressed = FBlob->Finish();
        ACall.AnswerTextBytes = FSize;
        FBlob.reset();
        return;
    }
    ACall.AnswerUtf8 = FText.isNull() ? QByteArray("") : std::move(FText);
    FText = QByteArray();
}
