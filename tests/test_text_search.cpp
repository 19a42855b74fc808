// The results viewer's find: raw and indented text, matches across the pieces a long line is
// searched in, needles that overlap themselves.

#include "TextDocument.h"
#include "TextSearch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::shared_ptr<const std::u16string> Text(const QString& AText) {
    return std::make_shared<const std::u16string>(AText.toStdU16String());
}

TEST(TextSearch, CountsInRawAndIndentedTextAndAcrossPieces) {
    const auto raw = TTextDocument::MakeRaw(Text(QStringLiteral("Abc abc\nxABCx\r\naBc")));
    EXPECT_EQ(FindAll(*raw, QStringLiteral("abc"), Qt::CaseInsensitive),
              (std::vector<int64_t>{0, 4, 9, 15}));
    EXPECT_EQ(FindAll(*raw, QStringLiteral("abc"), Qt::CaseSensitive), (std::vector<int64_t>{4}));
    EXPECT_TRUE(FindAll(*raw, QStringLiteral("c\nx"), Qt::CaseInsensitive).empty());

    TJsonLayout verdict;
    const auto pretty =
        TTextDocument::MakePretty(Text(QStringLiteral(R"({"k":"v","k2":1})")), verdict);
    ASSERT_TRUE(pretty);
    // Shown as {\n  "k": "v",\n  "k2": 1\n}: the search sees the indented text.
    EXPECT_EQ(FindAll(*pretty, QStringLiteral("\"k\": "), Qt::CaseSensitive),
              (std::vector<int64_t>{4}));
    EXPECT_EQ(FindAll(*pretty, QStringLiteral("k"), Qt::CaseSensitive),
              (std::vector<int64_t>{5, 17}));

    // One line longer than a search piece: a match across a cut is found once.
    QString line(3 * 1024 * 1024, u'a');
    line.replace((1 << 20) - 2, 5, QStringLiteral("needl"));
    line.replace(2 * (1 << 20) - 1, 6, QStringLiteral("needle"));
    const auto longLine = TTextDocument::MakeRaw(Text(line + QStringLiteral("\nneedle")));
    EXPECT_EQ(FindAll(*longLine, QStringLiteral("needle"), Qt::CaseSensitive),
              (std::vector<int64_t>{2 * (1 << 20) - 1, 3 * 1024 * 1024 + 1}));
    EXPECT_EQ(FindAll(*longLine, QStringLiteral("aa"), Qt::CaseSensitive).size(),
              std::size_t((3 * 1024 * 1024 - 11) / 2));
}

// The indented text is searched without being made: every match must be the one a search over
// the text as shown finds (searched here as a raw text of the same characters).
TEST(TextSearch, IndentedTextFindsWhatTheShownTextHolds) {
    const QString json =
        QStringLiteral(R"({"k":"v","K2":[1,-2.5e3,true,null,{},[ ],{"a: b":"c, d"}],)") +
        QStringLiteral(R"("deep":[[[[{"x":"aA"}]]]],"\u00e9":"\u00c9 )") +
        QStringLiteral("\u00e9\u00c9 \U0001F600\",\"s\":\"  spaced  \",\"e\":{\"\":\"\u212a\"},") +
        QStringLiteral(R"("aaaa":"aaaaa"})");
    TJsonLayout verdict;
    const auto pretty = TTextDocument::MakePretty(Text(json), verdict);
    ASSERT_TRUE(pretty);
    const auto shown = TTextDocument::MakeRaw(Text(pretty->Text(0, pretty->Length())));
    const QString needles[] = {QStringLiteral("k"),
                               QStringLiteral("\"k\": "),
                               QStringLiteral("\": "),
                               QStringLiteral(": "),
                               QStringLiteral("  "),
                               QStringLiteral("   \""),
                               QStringLiteral("},"),
                               QStringLiteral("{}"),
                               QStringLiteral("[]"),
                               QStringLiteral("1,"),
                               QStringLiteral(","),
                               QStringLiteral("}"),
                               QStringLiteral("aa"),
                               QStringLiteral("aaa"),
                               QStringLiteral("AA"),
                               QStringLiteral("\"aA\""),
                               QStringLiteral("a: b"),
                               QStringLiteral("c, d"),
                               QStringLiteral("\u00e9"),
                               QStringLiteral("\u00c9 \U0001F600"),
                               QStringLiteral("\U0001F600\","),
                               QStringLiteral("spaced  \""),
                               QStringLiteral("\"\": \"\""),
                               QStringLiteral("null,"),
                               QStringLiteral("e3,"),
                               QStringLiteral("{"),
                               QStringLiteral("\""),
                               QStringLiteral("\":"),
                               QStringLiteral("\\u00e9")};
    for (const QString& needle : needles) {
        for (const Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive})
            EXPECT_EQ(FindAll(*pretty, needle, sensitivity), FindAll(*shown, needle, sensitivity))
                << needle.toStdString()
                << (sensitivity == Qt::CaseSensitive ? " (match case)" : "");
    }

    // A newer search stops this one: nothing is counted.
    const std::atomic<bool> stopped{true};
    EXPECT_TRUE(FindAll(*pretty, QStringLiteral("k"), Qt::CaseSensitive, &stopped).empty());

    // A value longer than a search piece is searched in pieces like a long raw line.
    const QString longValue = QStringLiteral("[\"") + QString(3 * 1024 * 1024, u'a') +
                              QStringLiteral("needle\", \"needle\"]");
    const auto longPretty = TTextDocument::MakePretty(Text(longValue), verdict);
    ASSERT_TRUE(longPretty);
    const auto longShown = TTextDocument::MakeRaw(Text(longPretty->Text(0, longPretty->Length())));
    for (const char* text : {"needle", "aa", "a\",", "  \"a"})
        EXPECT_EQ(FindAll(*longPretty, QString::fromUtf8(text), Qt::CaseInsensitive),
                  FindAll(*longShown, QString::fromUtf8(text), Qt::CaseInsensitive))
            << text;
}

// Lines that show escapes decoded are made when searched, the rest read from the answer: the
// matches of both come in order, in every search piece, and copying a stretch across such lines
// gives the text as shown.
TEST(TextSearch, FindsAndCopiesDecodedEscapesAsShown) {
    QString json = QStringLiteral("[");
    QString expected = QStringLiteral("[\n");
    for (int i = 0; i < 40000; ++i) {
        json += QStringLiteral(R"({"k\u00e9y":"caf\u00e9","n":"cafe","x":"\\u00e9\u0041A"},)");
        expected += QStringLiteral("  {\n    \"k\u00e9y\": \"caf\u00e9\",\n    \"n\": \"cafe\",\n"
                                   "    \"x\": \"\\\\u00e9AA\"\n  },\n");
    }
    json += QStringLiteral(R"("\u00e9"])");
    expected += QStringLiteral("  \"\u00e9\"\n]");
    TJsonLayout verdict;
    const auto pretty = TTextDocument::MakePretty(Text(json), verdict);
    ASSERT_TRUE(pretty);
    ASSERT_EQ(pretty->Length(), expected.size());
    EXPECT_EQ(pretty->Text(0, pretty->Length()), expected);
    EXPECT_EQ(pretty->Text(3, 40), expected.mid(3, 37));
    EXPECT_FALSE(pretty->AsciiLine(2));
    EXPECT_TRUE(pretty->AsciiLine(3));
    EXPECT_TRUE(pretty->AsciiLine(4)); // "\\u00e9" stays as it is, "\u0041" is shown as "A"
    std::vector<TJsonSpan> spans;
    pretty->Spans(2, spans);
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(spans[0].Length, 5); // "kéy"
    EXPECT_EQ(spans[1].Length, 6); // "café"

    const auto shown = TTextDocument::MakeRaw(Text(expected));
    for (const char* needle : {"\u00e9", "caf\u00e9", "caf", "\u00e9\",", "y\": \"c", "\\u00e9",
                               "\\\\u00e9", "aa", "\u00c9\"", "\"\u00e9\"", " "})
        for (const Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive})
            EXPECT_EQ(FindAll(*pretty, QString::fromUtf8(needle), sensitivity),
                      FindAll(*shown, QString::fromUtf8(needle), sensitivity))
                << needle << (sensitivity == Qt::CaseSensitive ? " (match case)" : "");
}

// A needle that overlaps itself, matched across the cut between two pieces of a long line: the
// matches after the cut follow on from the one that reaches over it.
TEST(TextSearch, OverlappingNeedleStaysInStepAcrossPieces) {
    const int64_t length = 3 * 1024 * 1024;
    const auto raw = TTextDocument::MakeRaw(Text(QStringLiteral("b") + QString(length, u'a')));
    const std::vector<int64_t> found = FindAll(*raw, QStringLiteral("aa"), Qt::CaseSensitive);
    ASSERT_EQ(found.size(), std::size_t(length / 2));
    for (std::size_t i = 0; i < found.size(); ++i)
        ASSERT_EQ(found[i], int64_t(1 + 2 * i)) << i;
}

// The matches a plain search over the shown text finds, unit by unit from every place: leftmost
// first, none overlapping; units compared folded when case-blind.
std::vector<int64_t> NaiveFind(const QString& AShown, const QString& ANeedle,
                               Qt::CaseSensitivity ACase) {
    const auto units = [&](const QString& AText) {
        std::vector<char16_t> result(static_cast<std::size_t>(AText.size()));
        const QChar* text = AText.constData();
        for (std::size_t i = 0; i < result.size(); ++i)
            result[i] =
                ACase == Qt::CaseInsensitive ? text[i].toCaseFolded().unicode() : text[i].unicode();
        return result;
    };
    const std::vector<char16_t> text = units(AShown);
    const std::vector<char16_t> needle = units(ANeedle);
    const std::size_t size = needle.size() * sizeof(char16_t);
    std::vector<int64_t> found;
    for (std::size_t i = 0; i + needle.size() <= text.size();) {
        if (std::memcmp(text.data() + i, needle.data(), size) != 0) {
            ++i;
            continue;
        }
        found.push_back(static_cast<int64_t>(i));
        i += needle.size();
    }
    return found;
}

// Needles that overlap themselves, in texts made to lead a search astray, raw and indented, in
// both case modes, short and across the cuts between the pieces of a long line: what a plain
// search finds.
TEST(TextSearch, SelfSimilarNeedlesFindWhatAPlainSearchFinds) {
    const std::pair<QString, const char*> cases[] = {
        {QStringLiteral("aaaaaaab aab"), "aab"},
        {QStringLiteral("aabaabaabaab aabaab"), "aabaab"},
        {QStringLiteral("abababababc ababc"), "ababc"},
        {QStringLiteral("aAaAaAb AAB"), "aab"},
        {QStringLiteral("abcabcabdabcabd"), "abcabd"},
        {QStringLiteral("aaaa"), "a"},
        {QStringLiteral("aaaaa"), "aa"},
        {QStringLiteral("xaaa\naaab\r\naab\raaab"), "aab"},
        {QStringLiteral("\u212a\u212akkK \u212akkK"), "kk"},
        {QStringLiteral("s\u017f\u017fS\u00df\u00dfss"), "ss"},
        {QStringLiteral("\u00e9\u00c9\u00e9\u00c9\u00e9x"), "\u00e9\u00e9x"},
        {QStringLiteral("  \"  \"  \" a"), "  \""},
    };
    // The cuts of a long line fall every 2^20 characters: matches run across them.
    QString periodic;
    while (periodic.size() < (2 << 20) + 100)
        periodic += QStringLiteral("aab");
    QString runs((2 << 20) + 100, u'a');
    for (const int cut : {1 << 20, 2 << 20})
        for (const int at : {-7, -3, -1, 0, 2, 5})
            runs[cut + at] = u'b';
    for (const auto& [text, needleText] : cases) {
        const QString needle = QString::fromUtf8(needleText);
        const auto raw = TTextDocument::MakeRaw(Text(text));
        for (const Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive})
            EXPECT_EQ(FindAll(*raw, needle, sensitivity), NaiveFind(text, needle, sensitivity))
                << text.toStdString() << " / " << needleText << " " << sensitivity;
    }
    const std::pair<QString, std::vector<const char*>> longCases[] = {
        {periodic, {"aabaab", "baa"}}, {runs, {"aaaab", "aaaaaaab", "ba", "\"aa"}}};
    TJsonLayout verdict;
    for (const auto& [text, needles] : longCases) {
        const auto raw = TTextDocument::MakeRaw(Text(text));
        const auto pretty = TTextDocument::MakePretty(
            Text(QStringLiteral("[\"%1\",{\"aab\":\"%1\"}]").arg(text)), verdict);
        ASSERT_TRUE(pretty);
        const QString shown = pretty->Text(0, pretty->Length());
        for (const char* needleText : needles) {
            const QString needle = QString::fromUtf8(needleText);
            for (const Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
                EXPECT_EQ(FindAll(*raw, needle, sensitivity), NaiveFind(text, needle, sensitivity))
                    << needleText << " " << sensitivity;
                EXPECT_EQ(FindAll(*pretty, needle, sensitivity),
                          NaiveFind(shown, needle, sensitivity))
                    << needleText << " (indented) " << sensitivity;
            }
        }
    }
}

// "aa...ab" in a long run of "a": every unit of the text is read a bounded number of times, so
// the search ends (how fast is measured by the benchmark).
TEST(TextSearch, NeedleThatAlmostMatchesEverywhereEnds) {
    constexpr int Run = 8 * 1024 * 1024;
    const QString needle = QString(4000, u'a') + u'b';
    const QString text = QString(Run, u'a') + u'b';
    const auto raw = TTextDocument::MakeRaw(Text(text));
    TJsonLayout verdict;
    const auto pretty = TTextDocument::MakePretty(Text(u'"' + text + u'"'), verdict);
    ASSERT_TRUE(pretty);
    for (const Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        EXPECT_EQ(FindAll(*raw, needle, sensitivity), (std::vector<int64_t>{Run + 1 - 4001}));
        EXPECT_EQ(FindAll(*pretty, needle, sensitivity), (std::vector<int64_t>{Run + 2 - 4001}));
    }
}

} // namespace
