#pragma once

#include "LineOffsets.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One line of the indented view of a JSON text: an optional key, then one value token (a scalar,
// an opening or closing bracket, or an empty "{}" / "[]"), then an optional comma. The tokens are
// not copied: the line points into the text it was made from.
struct TJsonLine {
    // Indentation stops growing at this depth, so that the indented text stays within a small
    // multiple of the answer however deep it nests; the view marks deeper lines with their depth.
    static constexpr uint32_t MaxIndentDepth = 20;
    static constexpr uint32_t CommaFlag = 1u << 31;
    static constexpr uint32_t EmptyFlag = 1u << 30;  // "{}" or "[]", whatever stood between them
    static constexpr uint32_t EscapeFlag = 1u << 29; // the key or the value holds a \u escape
    static constexpr uint32_t DepthMask = EscapeFlag - 1;

    int64_t Start = 0;        // offset of the key, or of the value when there is no key
    uint32_t KeyLength = 0;   // 0: no key
    uint32_t ValueOffset = 0; // from Start to the value
    uint32_t ValueLength = 0;
    uint32_t DepthFlags = 0;

    uint32_t Depth() const { return DepthFlags & DepthMask; }
    bool Comma() const { return (DepthFlags & CommaFlag) != 0; }
    bool Empty() const { return (DepthFlags & EmptyFlag) != 0; }
    bool Escape() const { return (DepthFlags & EscapeFlag) != 0; }
    bool DeeperThanIndent() const { return Depth() > MaxIndentDepth; }
    // Spaces before the line's text: two per level, up to MaxIndentDepth levels.
    int64_t Indent() const { return 2 * int64_t(std::min(Depth(), MaxIndentDepth)); }
    // Characters of the line as shown from the text it points into, without its line break.
    int64_t Length() const {
        return Indent() + (KeyLength ? int64_t(KeyLength) + 2 : 0) +
               (Empty() ? 2 : int64_t(ValueLength)) + (Comma() ? 1 : 0);
    }
};

// The lines of a layout in six bytes each: where a line starts in the text, its depth and flags,
// and whether it has a key. The lengths of its tokens are read again from the text when the line
// is asked for (a key forward from its start, a value back from the next line's start), so a
// long string is never read through for them.
class TJsonLines {
public:
    void push_back(const TJsonLine& ALine);
    // Marks the last line as followed by a comma.
    void SetComma();
    std::size_t size() const { return FStarts.size(); }
    bool empty() const { return FStarts.empty(); }
    int64_t Start(std::size_t AIndex) const { return FStarts[AIndex]; }
    uint32_t Depth(std::size_t AIndex) const;
    // Line AIndex of AText, the text the layout was made from.
    TJsonLine At(std::u16string_view AText, std::size_t AIndex) const;

private:
    static constexpr std::size_t BlockSize = 1 << 16;
    // Flags of a line: the line's own flags in the top three bits, a key, and the depth below.
    static constexpr uint16_t KeyBit = 1u << 12;
    static constexpr uint16_t DepthBits = KeyBit - 1; // all set: the depth is in FDeep
    uint16_t Flags(std::size_t AIndex) const {
        return FFlags[AIndex / BlockSize][AIndex % BlockSize];
    }

    TLineOffsets FStarts;
    std::vector<std::vector<uint16_t>> FFlags;
    std::vector<std::pair<std::size_t, uint32_t>> FDeep; // lines nested deeper than DepthBits
};

enum class TJsonTokenKind { Key, String, Number, Literal, Punctuation };

// A coloured stretch of a shown line.
struct TJsonSpan {
    int64_t Start;
    int64_t Length;
    TJsonTokenKind Kind;
};

// The indented view of a JSON text, made in one pass without building the document in memory.
struct TJsonLayout {
    TJsonLines Lines;
    bool Valid = false;
    int64_t ErrorOffset = 0; // where reading stopped when not valid
    // 1-based line and column of ErrorOffset; line breaks are CR LF, LF or CR.
    int64_t ErrorLine = 0;
    int64_t ErrorColumn = 0;
};

// Reads AText as one JSON value (RFC 8259) and lays it out with two spaces per level (see
// TJsonLine::MaxIndentDepth); with ASequence, as one or more values one after another (a jq
// program's results), each laid out from the left margin. AProgress, when given, receives the
// offset reached; ACancel, when set, stops the work (the result is then not valid).
TJsonLayout FormatJson(std::u16string_view AText, std::atomic<int64_t>* AProgress = nullptr,
                       const std::atomic<bool>* ACancel = nullptr, bool ASequence = false);

// ALine with the \uXXXX escapes of its key and value that stand for printable characters decoded
// into ATokens (overwritten), and the line pointing there. Escapes that must stay one (quote,
// backslash, control characters, line and paragraph separators) and surrogates that are not a
// pair stay escaped, so the decoded line is JSON of the same shape; the rule is JsonEscapes.h's,
// which the history's word index follows too.
TJsonLine DecodeJsonLine(std::u16string_view AText, const TJsonLine& ALine,
                         std::u16string& ATokens);

// Appends the shown text of ALine to AOut.
void AppendJsonLine(std::u16string_view AText, const TJsonLine& ALine, std::u16string& AOut);

// The coloured stretches of the shown text of ALine.
void JsonLineSpans(std::u16string_view AText, const TJsonLine& ALine,
                   std::vector<TJsonSpan>& ASpans);
