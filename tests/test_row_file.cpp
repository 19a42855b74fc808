// The row files as they are read: CSV as RFC 4180 writes it and JSON Lines, their edge cases and
// the line and column of the first fault, and the file's SHA-256.

#include "RowFile.h"
#include "RowOutput.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using TRows = std::vector<std::vector<std::pair<std::string, std::string>>>;

class RowFileTest : public ::testing::Test {
protected:
    std::string Write(const std::string& AName, const std::string& AContent) {
        std::string path = (FFolder.Path() / AName).string();
        std::ofstream(path, std::ios::binary) << AContent;
        return path;
    }
    // Every row of the file, and the lines the rows start on.
    TRows ReadAll(const std::string& AName, const std::string& AContent,
                  std::vector<std::int64_t>* ALines = nullptr) {
        TRowFile file(Write(AName, AContent), *RowFormatOfFile(AName));
        TRows rows;
        TFileRow row;
        while (file.Next(row)) {
            EXPECT_EQ(row.Number, static_cast<std::int64_t>(rows.size()) + 1);
            std::vector<std::pair<std::string, std::string>> values;
            for (const TRowValue& value : row.Values)
                values.emplace_back(value.Name, value.Value);
            rows.push_back(values);
            if (ALines)
                ALines->push_back(row.Line);
        }
        return rows;
    }

    TTempFolder FFolder{"vlrows-"};
};

TEST_F(RowFileTest, CsvAsRfc4180WritesIt) {
    struct Case {
        const char* Name;
        std::string Content;
        TRows Rows;
        std::vector<std::int64_t> Lines;
    } cases[] = {
        {"LF",
         "Player,Amount\nann,5\nbob,6\n",
         {{{"Player", "ann"}, {"Amount", "5"}}, {{"Player", "bob"}, {"Amount", "6"}}},
         {2, 3}},
        {"CRLF, byte order mark, no last line end",
         "\xEF\xBB\xBFPlayer,Amount\r\nann,5\r\nbob,6",
         {{{"Player", "ann"}, {"Amount", "5"}}, {{"Player", "bob"}, {"Amount", "6"}}},
         {2, 3}},
        {"quotes, commas and line breaks",
         "Player,Note\n\"a,b\",\"say \"\"hi\"\"\"\n\"x\r\ny\",\"\"\nc,\"1\n2\n3\"\nd,e\n",
         {{{"Player", "a,b"}, {"Note", "say \"hi\""}},
          {{"Player", "x\r\ny"}, {"Note", ""}},
          {{"Player", "c"}, {"Note", "1\n2\n3"}},
          {{"Player", "d"}, {"Note", "e"}}},
         {2, 3, 5, 8}},
        {"empty cells and blank lines",
         " Player , Amount\n\n,\nann,\r\n\r\n,7\n\n",
         {{{"Player", ""}, {"Amount", ""}},
          {{"Player", "ann"}, {"Amount", ""}},
          {{"Player", ""}, {"Amount", "7"}}},
         {3, 4, 6}},
        {"UTF-8 and spaces kept in values",
         "Player\n B\xC3\xB6rse \n",
         {{{"Player", " B\xC3\xB6rse "}}},
         {2}},
        {"header only", "Player,Amount\r\n", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::int64_t> lines;
        EXPECT_EQ(ReadAll("rows.csv", c.Content, &lines), c.Rows);
        EXPECT_EQ(lines, c.Lines);
    }
}

TEST_F(RowFileTest, JsonLinesRows) {
    struct Case {
        const char* Name;
        std::string Content;
        TRows Rows;
        std::vector<std::int64_t> Lines;
    } cases[] = {
        {"strings and numbers as written",
         "{\"Player\":\"ann\",\"Amount\":5}\n{\"Amount\": 1.50 , \"Player\":\"b\\u00f6b\"}\n"
         "{\"Amount\":-2e3}\n",
         {{{"Player", "ann"}, {"Amount", "5"}},
          {{"Amount", "1.50"},
           {"Player", "b\xC3\xB6"
                      "b"}},
          {{"Amount", "-2e3"}}},
         {1, 2, 3}},
        {"CRLF, byte order mark, blank lines, escapes",
         "\xEF\xBB\xBF{\"Note\":\"a\\nb \\\"q\\\"\"}\r\n\r\n  \n{}\r\n{\"Note\":\"\"}",
         {{{"Note", "a\nb \"q\""}}, {}, {{"Note", ""}}},
         {1, 4, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::int64_t> lines;
        EXPECT_EQ(ReadAll("rows.jsonl", c.Content, &lines), c.Rows);
        EXPECT_EQ(lines, c.Lines);
    }
}

TEST_F(RowFileTest, FirstFaultWithItsLineAndColumn) {
    struct Case {
        const char* File;
        std::string Content;
        const char* Message;
        std::int64_t Line;
        std::int64_t Column;
    } cases[] = {
        {"a.csv", "A,B\n1,2\n1,2,3\n", "this row has 3 fields, the header 2", 3, 5},
        {"a.csv", "A,B\n1,2\n\"x\ny\"\n", "this row has 1 field, the header 2", 3, 1},
        {"a.csv", "A\n\"abc\nd\n", "the quoted field that starts here is not closed", 2, 1},
        {"a.csv", "A,B\n\xC3\xA9,\"ab\"c\n", "text after the closing quote of a field", 2, 7},
        {"a.csv", "A\nab\"c\n", "a quote inside a field that does not start with one", 2, 3},
        {"a.csv", "A,B\nok,\xFF\n", "not UTF-8 text", 2, 4},
        {"a.csv", "", "the file is empty: it needs a header row of parameter names", 1, 1},
        {"a.csv", "\n\n", "the file is empty: it needs a header row of parameter names", 1, 1},
        {"a.csv", "A,,B\n", "a column of the header has no name", 1, 3},
        {"a.jsonl", "{\"A\":\"1\"}\n[1]\n", "the line is not a JSON object", 2, 1},
        {"a.jsonl", "{\"A\":\"1\", \"B\": true}",
         "the value of \"B\" is neither a string nor a number", 1, 16},
        {"a.jsonl", "{\"A\":\"1\", \"B\": null}",
         "the value of \"B\" is neither a string nor a number", 1, 16},
        {"a.jsonl", "{\"A\":{\"x\":1}}", "the value of \"A\" is neither a string nor a number", 1,
         6},
        {"a.jsonl", "{\"A\":\"1\",\"A\":\"2\"}", "the key \"A\" is given twice", 1, 0},
        {"a.jsonl", "{\"A\":\"1\"} x", "not a valid JSON object", 1, 1},
        {"a.jsonl", "{\"A\":\"1\"} {}", "more after the JSON object", 1, 11},
        {"a.jsonl", "{\"A\":\"1\"", "not a valid JSON object", 1, 1},
        {"a.jsonl", "{\"A\":12x}", "not a valid JSON number", 1, 6},
        {"a.jsonl", "\n\n{\"A\":\"\xFF\"}", "not UTF-8 text", 3, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Content);
        try {
            ReadAll(c.File, c.Content);
            ADD_FAILURE() << "no error";
        } catch (const ERowSyntax& error) {
            EXPECT_EQ(std::string(error.what()), c.Message);
            EXPECT_EQ(error.Line, c.Line);
            if (c.Column > 0) {
                EXPECT_EQ(error.Column, c.Column);
            }
        }
    }
}

TEST_F(RowFileTest, Sha256OfTheBytesRead) {
    const std::string path = Write("h.csv", "abc");
    EXPECT_EQ(FileSha256(path), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // The byte order mark is skipped for the rows but not for the hash.
    const std::string bom = Write("b.csv", "\xEF\xBB\xBF"
                                           "A\n1\n");
    TRowFile file(bom, TRowFormat::Csv);
    TFileRow row;
    while (file.Next(row)) {
    }
    EXPECT_EQ(file.Sha256(), FileSha256(bom));
    EXPECT_NE(file.Sha256(), FileSha256(Write("c.csv", "A\n1\n")));
    EXPECT_THROW(TRowFile((FFolder.Path() / "none.csv").string(), TRowFormat::Csv), ERowFileError);
}

TEST_F(RowFileTest, FormatsByNameAndExtension) {
    EXPECT_EQ(RowFormatOfFile("a/b.CSV"), TRowFormat::Csv);
    EXPECT_EQ(RowFormatOfFile("b.ndjson"), TRowFormat::JsonLines);
    EXPECT_EQ(RowFormatOfFile("b.jsonl"), TRowFormat::JsonLines);
    EXPECT_EQ(RowFormatOfFile("a.csv/b"), std::nullopt);
    EXPECT_EQ(RowFormatOfFile("b.txt"), std::nullopt);
    EXPECT_EQ(RowFormatNamed("jsonl"), TRowFormat::JsonLines);
    EXPECT_EQ(RowFormatNamed("json"), std::nullopt);
}

TEST_F(RowFileTest, OutputRecordsReadBackAsRows) {
    // What --out writes is a row file itself: its fields come back as written.
    const std::string path = (FFolder.Path() / "out.csv").string();
    {
        TRowOutput output(path, {"Player", "Note"});
        TFileRow row{1, 2, {{"Player", "a,b"}, {"Note", "x\"y\nz"}}};
        TRowRecord record;
        record.State = TRowState::Failed;
        record.Status = 500;
        record.DurationMs = 12;
        record.Answer = "{\"Result\":\"Error\",\n\"Error\":\"x\"}";
        output.Write(row, record);
        output.Close();
    }
    TRowFile back(path, TRowFormat::Csv);
    EXPECT_EQ(back.Header(), (std::vector<std::string>{"row", "Player", "Note", "outcome", "status",
                                                       "ms", "answer"}));
    TFileRow row;
    ASSERT_TRUE(back.Next(row));
    std::vector<std::string> values;
    for (const TRowValue& value : row.Values)
        values.push_back(value.Value);
    EXPECT_EQ(values, (std::vector<std::string>{"1", "a,b", "x\"y\nz", "failed", "500", "12",
                                                "{\"Result\":\"Error\",\n\"Error\":\"x\"}"}));
    const std::string json = (FFolder.Path() / "out.jsonl").string();
    {
        TRowOutput output(json, {});
        TRowRecord record;
        record.State = TRowState::Answered;
        record.Status = 200;
        record.Answer = "\x01\t\\";
        output.Write(TFileRow{3, 4, {{"Player", "\xC3\xA9"}}}, record);
        output.Close();
    }
    std::ifstream in(json, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "{\"row\":3,\"values\":{\"Player\":\"\xC3\xA9\"},\"outcome\":\"answered\","
                    "\"status\":200,\"ms\":0,\"answer\":\"\\u0001\\t\\\\\"}\n");
}

} // namespace
