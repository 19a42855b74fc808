// The JSON layout of the results viewer: the indented form, one token per line, and where reading
// stops in a text that is not JSON.

#include "JsonFormat.h"
#include "TextDocument.h"
#include "TextSearch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::shared_ptr<const std::u16string> Text(const QString& AText) {
    return std::make_shared<const std::u16string>(AText.toStdU16String());
}

QString Pretty(const QString& AJson) {
    TJsonLayout verdict;
    const auto document = TTextDocument::MakePretty(Text(AJson), verdict);
    return document ? document->Text(0, document->Length()) : QStringLiteral("<not JSON>");
}

TEST(JsonFormat, IndentsByTwoSpacesOneTokenPerLine) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"a":1,"b":[true,false,null],"c":{},"d":[ ],"e":{"f":"g"}})",
         "{\n  \"a\": 1,\n  \"b\": [\n    true,\n    false,\n    null\n  ],\n  \"c\": {},\n"
         "  \"d\": [],\n  \"e\": {\n    \"f\": \"g\"\n  }\n}"},
        {" [1 , \"x\\\"y\\u00e9\" ,\r\n -0.5e+3]\n", "[\n  1,\n  \"x\\\"y\u00e9\",\n  -0.5e+3\n]"},
        {"\"only\"", "\"only\""},
        {"[[[]]]", "[\n  [\n    []\n  ]\n]"},
    };
    for (const auto& [json, shown] : cases)
        EXPECT_EQ(Pretty(QString::fromUtf8(json)), QString::fromUtf8(shown)) << json;
}

TEST(JsonFormat, SaysWhereReadingStopped) {
    struct Case {
        const char* Json;
        int64_t Line, Column;
    };
    const Case cases[] = {
        {"", 1, 1},
        {"{\"a\":1,}", 1, 8},
        {"{\n \"a\" 1}", 2, 6},
        {"[01]", 1, 3},
        {"[1] x", 1, 5},
        {"\"a\x01\"", 1, 3},
        {"{\"a\":tru}", 1, 9},
        {"[1,\r\n2,\r3", 3, 2},
        {"{\"a\":\"\\x\"}", 1, 8},
        {"[1.]", 1, 4},
        {"[\"\xc3\xa9\xf0\x9f\x98\x80\" 1]", 1, 7},
    };
    for (const Case& c : cases) {
        const TJsonLayout layout = FormatJson(QString::fromUtf8(c.Json).toStdU16String());
        EXPECT_FALSE(layout.Valid) << c.Json;
        EXPECT_EQ(layout.ErrorLine, c.Line) << c.Json;
        EXPECT_EQ(layout.ErrorColumn, c.Column) << c.Json;
    }
}

// A jq program's results, several values one after another, each laid out from the left margin;
// only with ASequence, and still read to the end.
TEST(JsonFormat, ReadsASequenceOfValues) {
    const QString results = QStringLiteral("{\"a\":[1]}\n\"x\"\n[]\n3");
    TJsonLayout verdict;
    const auto document = TTextDocument::MakePretty(Text(results), verdict, nullptr, nullptr, true);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->Text(0, document->Length()), "{\n  \"a\": [\n    1\n  ]\n}\n\"x\"\n[]\n3");
    EXPECT_EQ(Pretty(results), "<not JSON>");
    for (const char* broken : {"1 2 [", "{} }", "[1]\n{\"a\" 1}"})
        EXPECT_FALSE(
            FormatJson(QString::fromUtf8(broken).toStdU16String(), nullptr, nullptr, true).Valid)
            << broken;
}

// Escapes of printable characters are shown as the characters, in keys and values alike, so that
// they read and are found as such; those that must stay escapes for the text to be the same JSON
// stay as they are.
TEST(JsonFormat, ShowsEscapedCharactersAsThemselves) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"n":"M\u00fcller"})", "{\n  \"n\": \"M\u00fcller\"\n}"},
        {R"({"\u00E9t\u00e9":[ "\u0041" , {}]})",
         "{\n  \"\u00e9t\u00e9\": [\n    \"A\",\n    {}\n  ]\n}"},
        {R"(["\ud83d\ude00","\ud83d","\ude00x","\ud83d\u0041"])",
         "[\n  \"\U0001F600\",\n  \"\\ud83d\",\n  \"\\ude00x\",\n  \"\\ud83dA\"\n]"},
        // Quote, backslash, controls, line separators and an escaped backslash stay.
        {R"(["\u0022\u005c\u001f\u007f\u2028","\\u00e9","\\\u00e9"])",
         "[\n  \"\\u0022\\u005c\\u001f\\u007f\\u2028\",\n  \"\\\\u00e9\",\n  "
         "\"\\\\\u00e9\"\n]"},
    };
    for (const auto& [json, shown] : cases)
        EXPECT_EQ(Pretty(QString::fromUtf8(json)), QString::fromUtf8(shown)) << json;

    TJsonLayout verdict;
    const auto document = TTextDocument::MakePretty(
        Text(QStringLiteral(R"({"a":[{"name":"M\u00fcller"},{"name":"M\u00FCller"}]})")), verdict);
    ASSERT_TRUE(document);
    EXPECT_EQ(FindAll(*document, QStringLiteral("m\u00fcller"), Qt::CaseInsensitive).size(), 2u);
}

// However deep the nesting, the indent stops growing: the text stays within a constant times the
// answer (before, 60 KB nested 30,000 deep became 1.8 GB).
TEST(JsonFormat, IndentStopsGrowingAtAFixedDepth) {
    constexpr int Depth = 30000;
    const QString json = QString(Depth, u'[') + QStringLiteral("7") + QString(Depth, u']');
    TJsonLayout verdict;
    const auto document = TTextDocument::MakePretty(Text(json), verdict);
    ASSERT_TRUE(document);
    constexpr int64_t Widest = 2 * TJsonLine::MaxIndentDepth + 1;
    EXPECT_LE(document->Length(), (Widest + 1) * json.size());
    std::u16string buffer;
    const struct {
        int64_t Line;
        int64_t Indent;
    } lines[] = {{0, 0}, {5, 10}, {20, 40}, {21, 40}, {Depth, 40}, {2 * Depth, 0}};
    for (const auto& line : lines) {
        const std::u16string_view text = document->Line(line.Line, buffer);
        EXPECT_EQ(static_cast<int64_t>(text.find_first_not_of(u' ')), line.Indent) << line.Line;
        EXPECT_EQ(document->JsonLine(line.Line).DeeperThanIndent(),
                  line.Line > TJsonLine::MaxIndentDepth && line.Line < 2 * Depth - 20)
            << line.Line;
    }
    // The depth is kept exactly, also past what a line's flags hold (the "depth N" marks).
    for (const int64_t line :
         {int64_t(4094), int64_t(4095), int64_t(20000), int64_t(Depth), int64_t(2 * Depth - 4095)})
        EXPECT_EQ(document->JsonLine(line).Depth(), line <= Depth ? line : 2 * Depth - line)
            << line;
}

// Each line's parts are read again from the answer when asked for: keys with escaped quotes
// and blanks before the colon, values before commas and blanks, the last value before the end.
TEST(JsonFormat, LinesReadBackTheirTokens) {
    const std::pair<const char*, const char*> cases[] = {
        {"{ \"a\\\"b\" \t: \"x,y\" ,\r\n \"c\":-1.5e3 , \"d\" : [ ] ,\"e\":{\"f\":null}}  \n",
         "{\n  \"a\\\"b\": \"x,y\",\n  \"c\": -1.5e3,\n  \"d\": [],\n  \"e\": {\n"
         "    \"f\": null\n  }\n}"},
        {"\"\\u00e9\\\\\"", "\"\u00e9\\\\\""},
        {"[true,false ,\"\",0]", "[\n  true,\n  false,\n  \"\",\n  0\n]"},
    };
    for (const auto& [json, shown] : cases)
        EXPECT_EQ(Pretty(QString::fromUtf8(json)), QString::fromUtf8(shown)) << json;
}

} // namespace
