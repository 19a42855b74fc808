#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One line of the indented view of a JSON text: an optional key, then one value token (a scalar,
// an opening or closing bracket, or an empty "{}" / "[]"), then an optional comma. The tokens are
// not copied: the line points into the text it was made from.
struct TJsonLine {
    // Indentation stops growing at this depth, so that the indented text stays within a small
    // multiple of the answer however deep it nests; the view marks deeper lines with their depth.
    static constexpr uint32_t MaxIndentDepth = 20;
    static constexpr uint32_t CommaFlag = 1u << 31;
    static constexpr uint32_t EmptyFlag = 1u << 30; // "{}" or "[]", whatever stood between them
    static constexpr uint32_t DepthMask = EmptyFlag - 1;

    int64_t Start = 0;        // offset of the key, or of the value when there is no key
    uint32_t KeyLength = 0;   // 0: no key
    uint32_t ValueOffset = 0; // from Start to the value
    uint32_t ValueLength = 0;
    uint32_t DepthFlags = 0;

    uint32_t Depth() const { return DepthFlags & DepthMask; }
    bool Comma() const { return (DepthFlags & CommaFlag) != 0; }
    bool Empty() const { return (DepthFlags & EmptyFlag) != 0; }
    bool DeeperThanIndent() const { return Depth() > MaxIndentDepth; }
    // Spaces before the line's text: two per level, up to MaxIndentDepth levels.
    int64_t Indent() const { return 2 * int64_t(std::min(Depth(), MaxIndentDepth)); }
    // Characters of the line as shown, without its line break.
    int64_t Length() const {
        return Indent() + (KeyLength ? int64_t(KeyLength) + 2 : 0) +
               (Empty() ? 2 : int64_t(ValueLength)) + (Comma() ? 1 : 0);
    }
};

// The lines of a layout, kept in blocks so that growing never copies them or holds them twice.
class TJsonLines {
public:
    void push_back(const TJsonLine& ALine) {
        if (FSize % BlockSize == 0)
            FBlocks.emplace_back().reserve(BlockSize);
        FBlocks.back().push_back(ALine);
        ++FSize;
    }
    TJsonLine& back() { return FBlocks.back().back(); }
    const TJsonLine& operator[](std::size_t AIndex) const {
        return FBlocks[AIndex / BlockSize][AIndex % BlockSize];
    }
    TJsonLine& operator[](std::size_t AIndex) {
        return FBlocks[AIndex / BlockSize][AIndex % BlockSize];
    }
    std::size_t size() const { return FSize; }
    bool empty() const { return FSize == 0; }

private:
    static constexpr std::size_t BlockSize = 1 << 16;
    std::vector<std::vector<TJsonLine>> FBlocks;
    std::size_t FSize = 0;
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

// Writes into ADecoded a copy of AText in which the \uXXXX escapes of the keys and strings of
// ALines stand for the characters they mean, and moves ALines onto it; returns false, leaving both
// as they were, when no escape is to be shown so. Escapes that must stay one (quote, backslash,
// control characters, line and paragraph separators) and surrogates that are not a pair stay
// escaped, so the copy is JSON of the same shape; the rule is JsonEscapes.h's, which the
// history's word index follows too.
bool DecodeJsonEscapes(std::u16string_view AText, TJsonLines& ALines, std::u16string& ADecoded);

// Appends the shown text of ALine to AOut.
void AppendJsonLine(std::u16string_view AText, const TJsonLine& ALine, std::u16string& AOut);

// The coloured stretches of the shown text of ALine.
void JsonLineSpans(std::u16string_view AText, const TJsonLine& ALine,
                   std::vector<TJsonSpan>& ASpans);
