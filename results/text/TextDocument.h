#pragma once

#include "JsonFormat.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A text as the results view shows it: lines, each reachable by its number, over an answer that
// is held once and never copied. Positions are offsets into the shown text, in which every line
// is followed by its line break. The raw form shows the answer itself (line breaks CR LF, LF or
// CR, as received); the indented form shows a JSON answer one token per line, made up on demand.
// Immutable once made, so background work may read it while the window paints.
class TTextDocument {
public:
    using TText = std::shared_ptr<const std::u16string>;

    // The line index of a text that grows at its end, made as it grows: each Add reads only what
    // was appended since the last. Its document is made without another pass over the text.
    class TRawIndex {
    public:
        TRawIndex() { FStarts.push_back(0); }
        // AText: the whole text so far, the text before unchanged.
        void Add(std::u16string_view AText) { Scan(AText, false, nullptr); }

    private:
        friend class TTextDocument;
        // AEnd: the text is complete, so a CR at its end is a line break of its own. False when
        // ACancel stopped it.
        bool Scan(std::u16string_view AText, bool AEnd, const std::atomic<bool>* ACancel);
        void MarkLine(std::size_t ALine, bool AAscii);

        TLineOffsets FStarts;
        std::vector<uint64_t> FNotAscii;
        int64_t FNotAsciiCount = 0;
        std::size_t FScanned = 0; // units read, up to a CR that may be followed by a LF
        char16_t FUnits = 0;      // every unit of the line so far, or-ed
        bool FTab = false;
    };

    // Indexes the lines of AText in one pass.
    static std::shared_ptr<const TTextDocument> MakeRaw(TText AText,
                                                        const std::atomic<bool>* ACancel = nullptr);
    // The document of AText, which AIndex has read as it grew (all of it or a start).
    static std::shared_ptr<const TTextDocument> MakeRaw(TText AText, TRawIndex AIndex);
    // Lays AText out as indented JSON; AError receives the layout's verdict either way. Null
    // when the text is not JSON or the work was cancelled. \uXXXX escapes of printable
    // characters are shown decoded (see DecodeJsonLine), each line's when it is asked for: no
    // decoded copy of the text is held. ASequence: AText holds several values one after another
    // (see FormatJson).
    static std::shared_ptr<const TTextDocument>
    MakePretty(TText AText, TJsonLayout& AError, std::atomic<int64_t>* AProgress = nullptr,
               const std::atomic<bool>* ACancel = nullptr, bool ASequence = false);

    const TText& Source() const { return FAnswer; }
    bool Pretty() const { return FIsPretty; }
    int64_t LineCount() const;
    int64_t LineStart(int64_t ALine) const;
    int64_t LineLength(int64_t ALine) const;
    // The shown length, including every line break.
    int64_t Length() const { return FTotal; }
    // The line holding AOffset; offsets inside a line break belong to its line.
    int64_t LineAt(int64_t AOffset) const;
    // The shown text of ALine: a view into the answer, or made in ABuffer.
    std::u16string_view Line(int64_t ALine, std::u16string& ABuffer) const;
    // Whether ALine holds only ASCII characters other than a tab: in a fixed-pitch font, one column
    // each. Other lines are measured character by character.
    bool AsciiLine(int64_t ALine) const {
        const auto line = static_cast<std::size_t>(ALine);
        return ((FNotAscii[line / 64] >> (line % 64)) & 1) == 0;
    }
    // Whether every line is an AsciiLine.
    bool AllAscii() const { return FNotAsciiCount == 0; }
    // The layout of ALine in the indented form (only there), pointing into Source(): with its
    // escapes as they stand in the answer.
    TJsonLine JsonLine(int64_t ALine) const {
        return FLayout.At(*FAnswer, static_cast<std::size_t>(ALine));
    }
    // Where ALine starts in Source(), in the indented form.
    int64_t JsonLineStart(int64_t ALine) const {
        return FLayout.Start(static_cast<std::size_t>(ALine));
    }
    // Whether ALine of the indented form shows escapes decoded, so that its text is not the
    // answer's.
    bool DecodedLine(int64_t ALine) const {
        const auto line = static_cast<std::size_t>(ALine);
        return !FDecoded.empty() && ((FDecoded[line / 64] >> (line % 64)) & 1) != 0;
    }
    // The layout of ALine as shown, and the text it points into: Source(), or ATokens where
    // escapes are decoded.
    std::pair<std::u16string_view, TJsonLine> ShownJsonLine(int64_t ALine,
                                                            std::u16string& ATokens) const;
    // Colours of ALine in the indented form; nothing in the raw form.
    void Spans(int64_t ALine, std::vector<TJsonSpan>& ASpans) const;
    // The shown text from AFrom to ATo, each line break written as one LF.
    QString Text(int64_t AFrom, int64_t ATo) const;
    // The shown text from AFrom to ATo with its line breaks as shown: one character per offset.
    QString Slice(int64_t AFrom, int64_t ATo) const;

private:
    TText FAnswer;
    bool FIsPretty = false;
    int64_t FTotal = 0;
    TLineOffsets FStarts;            // raw: offset of each line; indented: shown offset
    TJsonLines FLayout;              // indented only
    std::vector<uint64_t> FDecoded;  // indented only: one bit per line, see DecodedLine
    std::vector<uint64_t> FNotAscii; // one bit per line
    int64_t FNotAsciiCount = 0;
    void MarkLine(std::size_t ALine, bool AAscii);
    static std::shared_ptr<TTextDocument> FromIndex(TText AText, TRawIndex& AIndex);
};
