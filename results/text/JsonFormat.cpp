#include "JsonFormat.h"

#include "JsonEscapes.h"

#include <algorithm>
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
    bool FEscape = false; // a \u escape in the line's key or value
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
            FEscape = true;
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
    line.DepthFlags =
        static_cast<uint32_t>(FStack.size()) | AFlags | (FEscape ? TJsonLine::EscapeFlag : 0);
    FLayout.Lines.push_back(line);
    FHasKey = false;
    FEscape = false;
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
                FLayout.Lines.SetComma();
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

void TJsonLines::push_back(const TJsonLine& ALine) {
    if (FStarts.size() % BlockSize == 0)
        FFlags.emplace_back().reserve(BlockSize);
    const uint32_t depth = ALine.Depth();
    if (depth >= DepthBits)
        FDeep.emplace_back(FStarts.size(), depth);
    FFlags.back().push_back(static_cast<uint16_t>(((ALine.DepthFlags >> 16) & 0xE000) |
                                                  (ALine.KeyLength ? KeyBit : 0) |
                                                  std::min<uint32_t>(depth, DepthBits)));
    FStarts.push_back(ALine.Start);
}

void TJsonLines::SetComma() {
    FFlags.back().back() |= static_cast<uint16_t>(TJsonLine::CommaFlag >> 16);
}

uint32_t TJsonLines::Depth(std::size_t AIndex) const {
    const uint32_t depth = Flags(AIndex) & DepthBits;
    if (depth < DepthBits)
        return depth;
    return std::lower_bound(FDeep.begin(), FDeep.end(), std::pair(AIndex, uint32_t(0)))->second;
}

TJsonLine TJsonLines::At(std::u16string_view AText, std::size_t AIndex) const {
    const uint16_t flags = Flags(AIndex);
    TJsonLine line;
    line.Start = FStarts[AIndex];
    line.DepthFlags = (uint32_t(flags & 0xE000) << 16) | Depth(AIndex);
    const auto start = static_cast<std::size_t>(line.Start);
    std::size_t value = start;
    if (flags & KeyBit) {
        // A key: to its closing quote, then past the colon and the blanks around it.
        std::size_t at = start + 1;
        while (AText[at] != u'"')
            at += AText[at] == u'\\' ? 2 : 1;
        line.KeyLength = static_cast<uint32_t>(at + 1 - start);
        value = at + 1;
        while (AText[value] != u':')
            ++value;
        ++value;
        while (IsBlank(AText[value]))
            ++value;
        line.ValueOffset = static_cast<uint32_t>(value - start);
    }
    const char16_t first = AText[value];
    if (first == u'{' || first == u'[' || first == u'}' || first == u']') {
        line.ValueLength = 1;
        return line;
    }
    // A scalar ends before the blanks and the comma in front of the next line (or the text's end).
    std::size_t end =
        AIndex + 1 < size() ? static_cast<std::size_t>(FStarts[AIndex + 1]) : AText.size();
    while (IsBlank(AText[end - 1]))
        --end;
    if (line.Comma()) {
        --end;
        while (IsBlank(AText[end - 1]))
            --end;
    }
    line.ValueLength = static_cast<uint32_t>(end - value);
    return line;
}

TJsonLine DecodeJsonLine(std::u16string_view AText, const TJsonLine& ALine,
                         std::u16string& ATokens) {
    const auto start = static_cast<std::size_t>(ALine.Start);
    const std::size_t valueLength = ALine.Empty() ? 1 : ALine.ValueLength;
    // Decoding never lengthens a token.
    ATokens.resize(ALine.KeyLength + valueLength);
    TJsonLine line = ALine;
    line.Start = 0;
    line.KeyLength =
        static_cast<uint32_t>(DecodeEscapes(AText.substr(start, ALine.KeyLength), ATokens.data()));
    line.ValueOffset = line.KeyLength;
    const std::u16string_view value = AText.substr(start + ALine.ValueOffset, valueLength);
    std::size_t length = 1;
    if (ALine.Empty())
        ATokens[line.ValueOffset] = value[0];
    else
        length = DecodeEscapes(value, ATokens.data() + line.ValueOffset);
    ATokens.resize(line.ValueOffset + length);
    if (!ALine.Empty())
        line.ValueLength = static_cast<uint32_t>(length);
    return line;
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
