#include "TextDocument.h"

#include <algorithm>

void TTextDocument::MarkLine(std::size_t ALine, bool AAscii) {
    if (ALine % 64 == 0)
        FNotAscii.push_back(0);
    if (!AAscii) {
        FNotAscii.back() |= uint64_t(1) << (ALine % 64);
        ++FNotAsciiCount;
    }
}

void TTextDocument::TRawIndex::MarkLine(std::size_t ALine, bool AAscii) {
    if (ALine % 64 == 0)
        FNotAscii.push_back(0);
    if (!AAscii) {
        FNotAscii.back() |= uint64_t(1) << (ALine % 64);
        ++FNotAsciiCount;
    }
}

bool TTextDocument::TRawIndex::Scan(std::u16string_view AText, bool AEnd,
                                    const std::atomic<bool>* ACancel) {
    const std::size_t size = AText.size();
    const char16_t* data = AText.data();
    std::size_t next = FScanned + (1 << 22);
    char16_t units = FUnits;
    bool tab = FTab;
    std::size_t i = FScanned;
    for (; i < size; ++i) {
        const char16_t c = data[i];
        units |= c;
        if (c > u'\r')
            continue;
        if (c != u'\n' && c != u'\r') {
            tab = tab || c == u'\t';
            continue;
        }
        if (c == u'\r' && i + 1 == size && !AEnd)
            break; // a LF may follow in the next piece
        if (c == u'\r' && i + 1 < size && data[i + 1] == u'\n')
            ++i;
        MarkLine(FStarts.size() - 1, units < 0x80 && !tab);
        units = 0;
        tab = false;
        FStarts.push_back(static_cast<int64_t>(i + 1));
        if (i > next) {
            next = i + (1 << 22);
            if (ACancel && ACancel->load(std::memory_order_relaxed))
                return false;
        }
    }
    FScanned = i;
    FUnits = units;
    FTab = tab;
    return true;
}

std::shared_ptr<TTextDocument> TTextDocument::FromIndex(TText AText, TRawIndex& AIndex) {
    auto document = std::make_shared<TTextDocument>();
    AIndex.MarkLine(AIndex.FStarts.size() - 1, AIndex.FUnits < 0x80 && !AIndex.FTab);
    document->FStarts = std::move(AIndex.FStarts);
    document->FNotAscii = std::move(AIndex.FNotAscii);
    document->FNotAsciiCount = AIndex.FNotAsciiCount;
    document->FTotal = static_cast<int64_t>(AText->size());
    document->FAnswer = std::move(AText);
    return document;
}

std::shared_ptr<const TTextDocument> TTextDocument::MakeRaw(TText AText,
                                                            const std::atomic<bool>* ACancel) {
    TRawIndex index;
    if (!index.Scan(*AText, true, ACancel))
        return nullptr;
    return FromIndex(std::move(AText), index);
}

std::shared_ptr<const TTextDocument> TTextDocument::MakeRaw(TText AText, TRawIndex AIndex) {
    AIndex.Scan(*AText, true, nullptr);
    return FromIndex(std::move(AText), AIndex);
}

std::shared_ptr<const TTextDocument> TTextDocument::MakePretty(TText AText, TJsonLayout& AError,
                                                               std::atomic<int64_t>* AProgress,
                                                               const std::atomic<bool>* ACancel,
                                                               bool ASequence) {
    TJsonLayout layout = FormatJson(*AText, AProgress, ACancel, ASequence);
    AError.Valid = layout.Valid;
    AError.ErrorOffset = layout.ErrorOffset;
    AError.ErrorLine = layout.ErrorLine;
    AError.ErrorColumn = layout.ErrorColumn;
    if (!layout.Valid)
        return nullptr;
    auto document = std::make_shared<TTextDocument>();
    document->FIsPretty = true;
    const std::u16string_view answer = *AText;
    std::u16string tokens;
    int64_t at = 0;
    for (std::size_t i = 0; i < layout.Lines.size(); ++i) {
        TJsonLine line = layout.Lines.At(answer, i);
        const char16_t* text = answer.data();
        // Escaped characters are shown as themselves, so that they read and are found as such.
        if (line.Escape()) {
            const TJsonLine decoded = DecodeJsonLine(answer, line, tokens);
            if (decoded.KeyLength != line.KeyLength || decoded.ValueLength != line.ValueLength) {
                if (document->FDecoded.empty())
                    document->FDecoded.resize((layout.Lines.size() + 63) / 64);
                document->FDecoded[i / 64] |= uint64_t(1) << (i % 64);
                line = decoded;
                text = tokens.data();
            }
        }
        document->FStarts.push_back(at);
        at += line.Length() + 1;
        // Tokens hold no tab; the indented form writes only ASCII.
        char16_t units = 0;
        const char16_t* key = text + line.Start;
        for (uint32_t k = 0; k < line.KeyLength; ++k)
            units |= key[k];
        const char16_t* value = key + line.ValueOffset;
        for (uint32_t k = 0; k < line.ValueLength; ++k)
            units |= value[k];
        document->MarkLine(i, units < 0x80);
    }
    document->FTotal = std::max<int64_t>(0, at - 1);
    document->FLayout = std::move(layout.Lines);
    document->FAnswer = std::move(AText);
    return document;
}

std::pair<std::u16string_view, TJsonLine>
TTextDocument::ShownJsonLine(int64_t ALine, std::u16string& ATokens) const {
    const TJsonLine line = JsonLine(ALine);
    if (!DecodedLine(ALine))
        return {*FAnswer, line};
    const TJsonLine decoded = DecodeJsonLine(*FAnswer, line, ATokens);
    return {ATokens, decoded};
}

int64_t TTextDocument::LineCount() const {
    return static_cast<int64_t>(FStarts.size());
}

int64_t TTextDocument::LineStart(int64_t ALine) const {
    return FStarts[static_cast<std::size_t>(ALine)];
}

int64_t TTextDocument::LineLength(int64_t ALine) const {
    const auto line = static_cast<std::size_t>(ALine);
    if (FIsPretty)
        return (line + 1 == FStarts.size() ? FTotal + 1 : FStarts[line + 1]) - FStarts[line] - 1;
    if (line + 1 == FStarts.size())
        return FTotal - FStarts[line];
    // The line ends before its break: CR LF, LF or CR.
    int64_t end = FStarts[line + 1] - 1;
    const std::u16string& text = *FAnswer;
    if (text[static_cast<std::size_t>(end)] == u'\n' && end > FStarts[line] &&
        text[static_cast<std::size_t>(end - 1)] == u'\r')
        --end;
    return end - FStarts[line];
}

int64_t TTextDocument::LineAt(int64_t AOffset) const {
    return std::max<int64_t>(0, static_cast<int64_t>(FStarts.UpperBound(AOffset)) - 1);
}

std::u16string_view TTextDocument::Line(int64_t ALine, std::u16string& ABuffer) const {
    if (FIsPretty) {
        thread_local std::u16string tokens;
        const auto [text, line] = ShownJsonLine(ALine, tokens);
        ABuffer.clear();
        AppendJsonLine(text, line, ABuffer);
        return ABuffer;
    }
    return std::u16string_view(*FAnswer).substr(static_cast<std::size_t>(LineStart(ALine)),
                                                static_cast<std::size_t>(LineLength(ALine)));
}

void TTextDocument::Spans(int64_t ALine, std::vector<TJsonSpan>& ASpans) const {
    ASpans.clear();
    if (FIsPretty) {
        thread_local std::u16string tokens;
        const auto [text, line] = ShownJsonLine(ALine, tokens);
        JsonLineSpans(text, line, ASpans);
    }
}

QString TTextDocument::Text(int64_t AFrom, int64_t ATo) const {
    AFrom = std::clamp<int64_t>(AFrom, 0, FTotal);
    ATo = std::clamp<int64_t>(ATo, AFrom, FTotal);
    QString result;
    result.reserve(static_cast<qsizetype>(ATo - AFrom));
    std::u16string buffer;
    for (int64_t line = LineAt(AFrom); line < LineCount(); ++line) {
        const int64_t start = LineStart(line);
        if (start >= ATo)
            break;
        const std::u16string_view text = Line(line, buffer);
        const int64_t from = std::max<int64_t>(0, AFrom - start);
        const int64_t to = std::min<int64_t>(static_cast<int64_t>(text.size()), ATo - start);
        if (to > from)
            result.append(reinterpret_cast<const QChar*>(text.data() + from),
                          static_cast<qsizetype>(to - from));
        // The break counts when the range reaches past the line's end.
        if (line + 1 < LineCount() && ATo > start + static_cast<int64_t>(text.size()))
            result.append(u'\n');
    }
    return result;
}

QString TTextDocument::Slice(int64_t AFrom, int64_t ATo) const {
    if (FIsPretty)
        return Text(AFrom, ATo);
    AFrom = std::clamp<int64_t>(AFrom, 0, FTotal);
    ATo = std::clamp<int64_t>(ATo, AFrom, FTotal);
    return QString(reinterpret_cast<const QChar*>(FAnswer->data() + AFrom),
                   static_cast<qsizetype>(ATo - AFrom));
}
