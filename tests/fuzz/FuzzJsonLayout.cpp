// An answer of any shape laid out as indented JSON: however deep it nests, the indented text stays
// within a fixed multiple of the answer; with its escapes shown as characters it is still JSON of
// the same lines; and every line's text is made without reading outside the answer.

#include "JsonFormat.h"
#include "TextDocument.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

[[noreturn]] void Fail(const char* AWhat) {
    std::fprintf(stderr, "%s\n", AWhat);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    auto text = std::make_shared<const std::u16string>(
        QString::fromUtf8(reinterpret_cast<const char*>(AData), static_cast<qsizetype>(ASize))
            .toStdU16String());
    TJsonLayout verdict;
    const auto document = TTextDocument::MakePretty(text, verdict);
    if (!document)
        return 0;
    const int64_t widest = 2 * int64_t(TJsonLine::MaxIndentDepth) + 2;
    if (document->Length() > widest * static_cast<int64_t>(text->size()) + 1)
        Fail("the indented text grew beyond a fixed multiple of the answer");
    std::u16string shown;
    std::u16string buffer;
    for (int64_t line = 0; line < document->LineCount(); ++line) {
        const std::u16string_view lineText = document->Line(line, buffer);
        if (static_cast<int64_t>(lineText.size()) != document->LineLength(line))
            Fail("a line's text is not as long as its layout says");
        shown.append(lineText).push_back(u'\n');
    }
    const TJsonLayout again = FormatJson(shown);
    if (!again.Valid || static_cast<int64_t>(again.Lines.size()) != document->LineCount())
        Fail("the answer with its escapes shown is no longer the same JSON");
    return 0;
}
