#include "JsonFormat.h"

#include "JsonEscapes.h"

#include <limits>

namespace {

bool IsBlank(char16_t AChar) {
    return AChar == u' ' || AChar == u'\t' || AChar == u'\n' || AChar == u'\r';
}

bool IsDigit(char16_t AChar) {
    return AChar >= u'0' && AChar <= u'9';
}

bool IsHex(char16_t AChar) {
    return IsDigit(AChar) || (AChar >= u'a' && AChar <= u'f') || (AChar >= u'A' && AChar <= u'F');
}

// The reader's position and its failure; every step returns false at the first fault, with the
// position on the character that could not be read.
class TJsonReader {
public:
    TJsonReader(std::u16string_view AText, TJsonLayout& ALayout, std::atomic<int64_t>* AProgress,
                const std::atomic<bool>* ACancel, bool ASequence)
        : FText(AText), FSize(AText.size()), FLayout(ALayout), FProgress(AProgress),
          FCancel(ACancel), FSequence(ASequence) {}

    bool Read();
    std::size_t Pos = 0;

private:
    void SkipBlanks() {
        while (Pos < FSize && IsBlank(FText[Pos]))
            ++Pos;
    }
    bool ReadString();
    bool ReadNumber();
    bool ReadLiteral();
    bool ReadKey();
    bool Emit(std::size_t ALineStart, std::size_t AValueStart, std::size_t AValueLength,
              uint32_t AFlags = 0);
    bool Checkpoint();

    std::u16string_view FText;
    std::size_t FSize;
    TJsonLayout& FLayout;
    std::atomic<int64_t>* FProgress;
    const std::atomic<bool>* FCancel;
    bool FSequence;
    std::vector<char16_t> FStack; // the open brackets
    std::size_t FKeyStart = 0;
    std::size_t FKeyLength = 0;
    bool FHasKey = false;
    std::size_t FNextCheck = 1 << 20;
};

bool TJsonReader::ReadString() {
    // At the opening quote.
    ++Pos;
    for (;;) {
        while (Pos < FSize && FText[Pos] != u'"' && FText[Pos] != u'\\' && FText[Pos] >= 0x20)
            ++Pos;
        if (Pos >= FSize || FText[Pos] < 0x20)
            return false;
        if (FText[Pos] == u'"') {
            ++Pos;
            return true;
        }
        ++Pos; // backslash
        if (Pos >= FSize)
            return false;
        switch (FText[Pos]) {
        case u'"':
        case u'\\':
        case u'/':
        case u'b':
        case u'f':
        case u'n':
        case u'r':
        case u't':
            ++Pos;
            break;
        case u'u':
            ++Pos;
            for (int i = 0; i < 4; ++i, ++Pos)
                if (Pos >= FSize || !IsHex(FText[Pos]))
                    return false;
            break;
        default:
            return false;
        }
    }
}

bool TJsonReader::ReadNumber() {
    if (FText[Pos] == u'-')
        ++Pos;
    if (Pos >= FSize || !IsDigit(FText[Pos]))
        return false;
    if (FText[Pos] == u'0')
        ++Pos;
    else
        while (Pos < FSize && IsDigit(FText[Pos]))
            ++Pos;
    if (Pos < FSize && FText[Pos] == u'.') {
        ++Pos;
        if (Pos >= FSize || !IsDigit(FText[Pos]))
            return false;
        while (Pos < FSize && IsDigit(FText[Pos]))
            ++Pos;
    }
    if (Pos < FSize && (FText[Pos] == u'e' || FText[Pos] == u'E')) {
        ++Pos;
        if (Pos < FSize && (FText[Pos] == u'+' || FText[Pos] == u'-'))
            ++Pos;
        if (Pos >= FSize || !IsDigit(FText[Pos]))
            return false;
        while (Pos < FSize && IsDigit(FText[Pos]))
            ++Pos;
    }
    return true;
}

bool TJsonReader::ReadLiteral() {
    for (const std::u16string_view word : {u"true", u"false", u"null"}) {
        if (FText[Pos] != word[0])
            continue;
        for (const char16_t c : word) {
            if (Pos >= FSize || FText[Pos] != c)
                return false;
            ++Pos;
        }
        return true;
    }
    return false;
}

bool TJsonReader::ReadKey() {
    SkipBlanks();
    if (Pos >= FSize || FText[Pos] != u'"')
        return false;
    FKeyStart = Pos;
    if (!ReadString())
        return false;
    FKeyLength = Pos - FKeyStart;
    SkipBlanks();
    if (Pos >= FSize || FText[Pos] != u':')
        return false;
    ++Pos;
    FHasKey = true;
    return true;
}

bool TJsonReader::Emit(std::size_t ALineStart, std::size_t AValueStart, std::size_t AValueLength,
                       uint32_t AFlags) {
    constexpr std::size_t Limit = std::numeric_limits<uint32_t>::max();
    if (FStack.size() > TJsonLine::DepthMask || AValueLength > Limit ||
        AValueStart - ALineStart > Limit)
        return false;
    TJsonLine line;
    line.Start = static_cast<int64_t>(ALineStart);
    line.KeyLength = FHasKey ? static_cast<uint32_t>(FKeyLength) : 0;
    line.ValueOffset = static_cast<uint32_t>(AValueStart - ALineStart);
    line.ValueLength = static_cast<uint32_t>(AValueLength);
    line.DepthFlags = static_cast<uint32_t>(FStack.size()) | AFlags;
    FLayout.Lines.push_back(line);
    FHasKey = false;
    return true;
}

bool TJsonReader::Checkpoint() {
    if (Pos < FNextCheck)
        return true;
    FNextCheck = Pos + (1 << 20);
    if (FProgress)
        FProgress->store(static_cast<int64_t>(Pos), std::memory_order_relaxed);
    return !(FCancel && FCancel->load(std::memory_order_relaxed));
}

bool TJsonReader::Read() {
    for (;;) {
        // A value is expected here, after its key when inside an object.
        SkipBlanks();
        if (Pos >= FSize || !Checkpoint())
            return false;
        const std::size_t lineStart = FHasKey ? FKeyStart : Pos;
        const std::size_t valueStart = Pos;
        const char16_t c = FText[Pos];
        if (c == u'{' || c == u'[') {
            const char16_t close = c == u'{' ? u'}' : u']';
            ++Pos;
            SkipBlanks();
            if (Pos < FSize && FText[Pos] == close) {
                ++Pos;
                if (!Emit(lineStart, valueStart, 1, TJsonLine::EmptyFlag))
                    return false;
            } else {
                if (!Emit(lineStart, valueStart, 1))
                    return false;
                FStack.push_back(close);
                if (c == u'{' && !ReadKey())
                    return false;
                continue;
            }
        } else {
            bool read = false;
            if (c == u'"')
                read = ReadString();
            else if (c == u'-' || IsDigit(c))
                read = ReadNumber();
            else if (c == u't' || c == u'f' || c == u'n')
                read = ReadLiteral();
            if (!read || !Emit(lineStart, valueStart, Pos - valueStart))
                return false;
        }
        // After a value: a comma, the closing bracket of its container, or the end.
        for (;;) {
            SkipBlanks();
            if (FStack.empty() && (Pos == FSize || !FSequence))
                return Pos == FSize;
            if (FStack.empty())
                break; // the next value of a sequence
            if (Pos >= FSize)
                return false;
            if (FText[Pos] == u',') {
                FLayout.Lines.back().DepthFlags |= TJsonLine::CommaFlag;
                ++Pos;
                if (FStack.back() == u'}' && !ReadKey())
                    return false;
                break;
            }
            if (FText[Pos] != FStack.back())
                return false;
            FStack.pop_back();
            if (!Emit(Pos, Pos, 1))
                return false;
            ++Pos;
        }
    }
}

} // namespace

TJsonLayout FormatJson(std::u16string_view AText, std::atomic<int64_t>* AProgress,
                       const std::atomic<bool>* ACancel, bool ASequence) {
    TJsonLayout layout;
    TJsonReader reader(AText, layout, AProgress, ACancel, ASequence);
    layout.Valid = reader.Read();
    if (layout.Valid)
        return layout;
    layout.Lines = {};
    const std::size_t stop = std::min(reader.Pos, AText.size());
    layout.ErrorOffset = static_cast<int64_t>(stop);
    int64_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < stop; ++i) {
        if (AText[i] == u'\n' || AText[i] == u'\r') {
            if (AText[i] == u'\r' && i + 1 < stop && AText[i + 1] == u'\n')
                ++i;
            ++line;
            lineStart = i + 1;
        }
    }
    // Columns count characters: the second half of a surrogate pair is not one.
    int64_t column = 1;
    for (std::size_t i = lineStart; i < stop; ++i)
        if (AText[i] < 0xDC00 || AText[i] > 0xDFFF)
            ++column;
    layout.ErrorLine = line;
    layout.ErrorColumn = column;
    return layout;
}

bool DecodeJsonEscapes(std::u16string_view AText, TJsonLines& ALines, std::u16string& ADecoded) {
    if (!HasDecodableEscape(AText))
        return false;
    ADecoded.clear();
    ADecoded.reserve(AText.size());
    std::size_t copied = 0; // AText before this is in ADecoded
    // Copies AText up to a string token, then the token decoded; returns its new start and
    // length.
    const auto token = [&](std::size_t AStart, std::size_t ALength) {
        ADecoded.append(AText.substr(copied, AStart - copied));
        const std::size_t start = ADecoded.size();
        if (ALength > 0 && AText[AStart] == u'"') {
            // Never longer than the token, and the whole text's room is reserved.
            ADecoded.resize(start + ALength);
            ADecoded.resize(start + DecodeEscapes(AText.substr(AStart, ALength), &ADecoded[start]));
        } else {
            ADecoded.append(AText.substr(AStart, ALength));
        }
        copied = AStart + ALength;
        return std::pair(start, ADecoded.size() - start);
    };
    for (std::size_t i = 0; i < ALines.size(); ++i) {
        TJsonLine& line = ALines[i];
        const auto start = static_cast<std::size_t>(line.Start);
        const std::size_t valueStart = start + line.ValueOffset;
        std::size_t newStart = 0;
        if (line.KeyLength) {
            const auto [keyStart, keyLength] = token(start, line.KeyLength);
            newStart = keyStart;
            line.KeyLength = static_cast<uint32_t>(keyLength);
        }
        const auto [newValue, valueLength] = token(valueStart, line.Empty() ? 1 : line.ValueLength);
        if (!line.KeyLength)
            newStart = newValue;
        line.Start = static_cast<int64_t>(newStart);
        line.ValueOffset = static_cast<uint32_t>(newValue - newStart);
        if (!line.Empty())
            line.ValueLength = static_cast<uint32_t>(valueLength);
    }
    ADecoded.append(AText.substr(copied));
    return true;
}

void AppendJsonLine(std::u16string_view AText, const TJsonLine& ALine, std::u16string& AOut) {
    AOut.append(static_cast<std::size_t>(ALine.Indent()), u' ');
    if (ALine.KeyLength) {
        AOut.append(AText.substr(static_cast<std::size_t>(ALine.Start), ALine.KeyLength));
        AOut.append(u": ");
    }
    const std::size_t value = static_cast<std::size_t>(ALine.Start) + ALine.ValueOffset;
    if (ALine.Empty()) {
        AOut.push_back(AText[value]);
        AOut.push_back(AText[value] == u'{' ? u'}' : u']');
    } else {
        AOut.append(AText.substr(value, ALine.ValueLength));
    }
    if (ALine.Comma())
        AOut.push_back(u',');
}

void JsonLineSpans(std::u16string_view AText, const TJsonLine& ALine,
                   std::vector<TJsonSpan>& ASpans) {
    ASpans.clear();
    int64_t at = ALine.Indent();
    if (ALine.KeyLength) {
        ASpans.push_back({at, ALine.KeyLength, TJsonTokenKind::Key});
        at += ALine.KeyLength + 2;
    }
    const char16_t first = AText[static_cast<std::size_t>(ALine.Start) + ALine.ValueOffset];
    TJsonTokenKind kind = TJsonTokenKind::Punctuation;
    if (first == u'"')
        kind = TJsonTokenKind::String;
    else if (first == u'-' || IsDigit(first))
        kind = TJsonTokenKind::Number;
    else if (first == u't' || first == u'f' || first == u'n')
        kind = TJsonTokenKind::Literal;
    const int64_t length = ALine.Empty() ? 2 : ALine.ValueLength;
    if (kind != TJsonTokenKind::Punctuation)
        ASpans.push_back({at, length, kind});
}
