// Answers as data: the tree of a JSON answer and its paths, the tables found in it with their
// cells, CSV and aligned text, and jq programs run through jq's library, compared with what the
// jq program prints for the same input.

#include "AnswerTable.h"
#include "AnswerTree.h"
#include "JqFilter.h"
#include "TableSort.h"
#include "TableText.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

TAnswerTree Tree(std::string AText) {
    return TAnswerTree(std::make_shared<const std::string>(std::move(AText)));
}

std::string FirstTableCsv(const std::string& AText) {
    const TAnswerTree tree = Tree(AText);
    const std::vector<std::uint32_t> tables = FindTables(tree);
    if (tables.empty())
        return "(none)";
    const TAnswerTable table = MakeTable(tree, tables.front());
    return TableCsv(tree, table, AllRows(table));
}

// The node at a path of keys and indexes, walked through the tree's own children.
std::uint32_t NodeAt(const TAnswerTree& ATree, const std::vector<std::string>& ASteps) {
    std::uint32_t at = 0;
    for (const std::string& step : ASteps) {
        std::uint32_t next = NoNode;
        const std::vector<std::uint32_t> children = ATree.Children(at);
        if (ATree.Kind(at) == TNodeKind::Array) {
            next = children.at(std::stoul(step));
        } else {
            for (const std::uint32_t child : children)
                if (ATree.Key(child) == step)
                    next = child;
        }
        if (next == NoNode)
            throw std::runtime_error("no step " + step);
        at = next;
    }
    return at;
}

} // namespace

TEST(AnswerTree, PathsCountsAndValuesAsWritten) {
    const TAnswerTree tree = Tree(R"({"Accounts": [ {"Player":"ann","Balance":12.50},
        {"Player":"b\u00e9a","Balance":123456789012345678901234567890} ],
        "odd key":{"a\"b":[true,null]}, "Result":"Ok"})");
    EXPECT_EQ(tree.Node(0).Length, 3U);
    const std::uint32_t accounts = NodeAt(tree, {"Accounts"});
    EXPECT_EQ(tree.Kind(accounts), TNodeKind::Array);
    EXPECT_EQ(tree.Node(accounts).Length, 2U);
    const std::uint32_t big = NodeAt(tree, {"Accounts", "1", "Balance"});
    EXPECT_EQ(tree.Path(big), ".Accounts[1].Balance");
    EXPECT_EQ(tree.Raw(big), "123456789012345678901234567890");
    EXPECT_EQ(tree.DisplayText(NodeAt(tree, {"Accounts", "0", "Balance"})), "12.50");
    EXPECT_EQ(tree.DisplayText(NodeAt(tree, {"Accounts", "1", "Player"})), "b\xC3\xA9"
                                                                           "a");
    const std::uint32_t odd = NodeAt(tree, {"odd key", "a\"b", "1"});
    EXPECT_EQ(tree.Path(odd), R"(."odd key"."a\"b"[1])");
    EXPECT_EQ(tree.Json(NodeAt(tree, {"Accounts", "1"})),
              R"({"Player":"b\u00e9a","Balance":123456789012345678901234567890})");
    EXPECT_EQ(tree.Path(0), ".");
    EXPECT_EQ(Tree("[[1],[2,3]]").Path(4), ".[1][0]");
    EXPECT_EQ(Tree(" 42 ").DisplayText(0), "42");
    // Keys are read back from the value, over blanks and escapes.
    const TAnswerTree spaced = Tree("{ \"a\\\\\" :\t\n1 ,\"\\\"\"  : [ 2 ] }");
    EXPECT_EQ(spaced.Key(1), "a\\");
    EXPECT_EQ(spaced.Key(2), "\"");
    EXPECT_EQ(spaced.Path(3), R"(."\""[0])");
    EXPECT_EQ(spaced.Json(0), R"({"a\\":1,"\"":[2]})");
    EXPECT_EQ(Tree(R"(["\ud83c\udca1\u00e9\n"])").DisplayText(1), "\xF0\x9F\x82\xA1\xC3\xA9\n");
}

TEST(AnswerTree, RejectsWhatIsNotOneJsonValue) {
    for (const char* text : {"", "{", "[1,]", "{\"a\":1} x", "[1] [2]", "nul", "{\"a\" 1}"})
        EXPECT_THROW(Tree(text), std::runtime_error) << text;
}

TEST(AnswerTree, ChildrenOfALargeArrayAndFind) {
    std::string text = "{\"Items\":[";
    for (int i = 0; i < 100000; ++i)
        text += (i ? ",{\"Id\":" : "{\"Id\":") + std::to_string(i) + ",\"Name\":\"n" +
                std::to_string(i) + "\"}";
    text += "]}";
    const TAnswerTree tree = Tree(text);
    const std::uint32_t items = NodeAt(tree, {"Items"});
    const std::vector<std::uint32_t> children = tree.Children(items);
    ASSERT_EQ(children.size(), 100000U);
    EXPECT_EQ(tree.Path(children.back()), ".Items[99999]");
    const std::uint32_t found = tree.Find("N99998", NoNode);
    ASSERT_NE(found, NoNode);
    EXPECT_EQ(tree.Path(found), ".Items[99998].Name");
    EXPECT_EQ(tree.Find("n99998", found), found); // wraps round to itself
    EXPECT_EQ(tree.Find("absent", NoNode), NoNode);
}

TEST(AnswerTable, ShapesToCsv) {
    struct TCase {
        const char* Name;
        const char* Answer;
        const char* Csv;
    };
    const TCase cases[] = {
        {"missing and extra keys", R"([{"a":1,"b":"x"},{"b":"y","c":true},{"a":null}])",
         "a,b,c\r\n1,x,\r\n,y,true\r\n,,\r\n"},
        {"parallel arrays", R"({"Name":["ann","bob"],"Balance":[1.50,-2]})",
         "Name,Balance\r\nann,1.50\r\nbob,-2\r\n"},
        {"nested values as compact JSON", R"([{"k":{"x": [1, 2]},"l":[ ]}])",
         "k,l\r\n\"{\"\"x\"\":[1,2]}\",[]\r\n"},
        {"numbers beyond 64 bits as written",
         R"([{"n":123456789012345678901234567890,"f":1.0e+400}])",
         "n,f\r\n123456789012345678901234567890,1.0e+400\r\n"},
        {"non-ASCII keys and quoting",
         "[{\"Spieler\xC3\xA9\":\"a,b\",\"\xE6\x97\xA5\":\"l1\\nl2\"}]",
         "Spieler\xC3\xA9,\xE6\x97\xA5\r\n\"a,b\",\"l1\nl2\"\r\n"},
        {"found inside the answer", R"({"Result":"Ok","Accounts":[{"Id":7}]})", "Id\r\n7\r\n"},
        {"arrays of unequal length", R"({"a":[1],"b":[1,2]})", "(none)"},
        {"array with a non-object", R"([{"a":1},2])", "(none)"},
        {"empty array", "[]", "(none)"},
    };
    for (const TCase& test : cases)
        EXPECT_EQ(FirstTableCsv(test.Answer), test.Csv) << test.Name;
}

TEST(AnswerTable, NumericColumnsSortAsNumbersAndAlignRight) {
    const TAnswerTree tree = Tree(R"({"List":[{"Name":"b","Balance":10},{"Name":"a","Balance":9.5},
        {"Name":"c"},{"Name":"D","Balance":-100},{"Name":"e","Balance":100000000000000000000000}]})");
    const std::vector<std::uint32_t> tables = FindTables(tree);
    ASSERT_EQ(tables.size(), 1U);
    const TAnswerTable table = MakeTable(tree, tables.front());
    EXPECT_EQ(table.Numeric, (std::vector<bool>{false, true}));
    const auto order = [&](std::size_t AColumn, bool AAscending) {
        std::string names;
        for (const std::uint32_t row : SortRows(tree, table, AColumn, AAscending))
            names += CellText(tree, table.Cell(row, 0));
        return names;
    };
    EXPECT_EQ(order(1, true), "cDabe");
    EXPECT_EQ(order(1, false), "ebaDc");
    EXPECT_EQ(order(0, true), "Dabce");
    EXPECT_EQ(TableAligned(tree, table, AllRows(table)), "Name                   Balance\n"
                                                         "b                           10\n"
                                                         "a                          9.5\n"
                                                         "c\n"
                                                         "D                         -100\n"
                                                         "e     100000000000000000000000\n");
    EXPECT_EQ(TableTsv(tree, table, {1}), "Name\tBalance\na\t9.5\n");
}

TEST(AnswerTable, SortOrderOfMixedValues) {
    // Row i holds the i-th value of v; row 3 has none.
    const char* const values[] = {"10",
                                  R"("b")",
                                  "null",
                                  "",
                                  "1e400",
                                  "-1e400",
                                  "9.5",
                                  R"("a")",
                                  "true",
                                  R"({"x":1})",
                                  R"("\u0041")",
                                  "10.0",
                                  "123456789012345678901234567890",
                                  R"("b")"};
    std::string answer = "[";
    for (std::size_t i = 0; i < std::size(values); ++i) {
        answer += i == 0 ? "{" : ",{";
        answer += R"("i":)" + std::to_string(i);
        if (*values[i] != '\0')
            answer += std::string(R"(,"v":)") + values[i];
        answer += "}";
    }
    answer += "]";
    const TAnswerTree tree = Tree(answer);
    const TAnswerTable table = MakeTable(tree, 0);
    const auto ids = [](const std::vector<std::uint32_t>& ARows) {
        std::string text;
        for (const std::uint32_t row : ARows)
            text += (text.empty() ? "" : ",") + std::to_string(row);
        return text;
    };
    // Nothing, numbers by value (past a double's range as infinite, equal ones in the answer's
    // order), then texts in byte order (escapes read, nested values as compact JSON).
    const std::string ascending = "2,3,5,6,0,11,12,4,10,7,1,13,8,9";
    const std::string descending = "9,8,1,13,7,10,4,12,0,11,6,5,2,3";
    EXPECT_EQ(ids(SortRows(tree, table, 1, true)), ascending);
    EXPECT_EQ(ids(SortRows(tree, table, 1, false)), descending);
    // A sorter turns its kept order round, and keeps it per column.
    TTableSorter sorter;
    for (const bool first : {true, false}) {
        EXPECT_EQ(ids(sorter.Sort(tree, table, 1, first)), first ? ascending : descending);
        EXPECT_EQ(ids(sorter.Sort(tree, table, 1, !first)), first ? descending : ascending);
        EXPECT_EQ(ids(sorter.Sort(tree, table, 0, false)), "13,12,11,10,9,8,7,6,5,4,3,2,1,0");
    }
}

namespace {

// What the jq program prints for AProgram over AInput.
std::string JqProgramOutput(const std::string& AProgram, const std::string& AInput, bool ACompact) {
    char path[] = "/tmp/vl_jq_inputXXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    ::close(fd);
    std::ofstream(path, std::ios::binary) << AInput;
    std::string quoted = "'";
    for (const char c : AProgram)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    const std::string command = std::string(VL_JQ_PROGRAM) + (ACompact ? " -c " : " ") + quoted +
                                " " + path + " 2>/dev/null";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        std::size_t read = 0;
        while ((read = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            output.append(buffer.data(), read);
        pclose(pipe);
    }
    std::remove(path);
    return output;
}

} // namespace

TEST(JqFilter, PrintsWhatTheJqProgramPrints) {
#ifndef VL_JQ_PROGRAM
    GTEST_SKIP() << "no jq program to compare with";
#else
    const std::string answer = R"({"Result":"Ok","Accounts":[{"Player":"ann","Balance":12.50},
        {"Player":"b\u00e9a \ud83c\udca1","Balance":123456789012345678901234567890,"Tags":[]},
        {"Player":"c\"d","Balance":-0.0,"Tags":["x",{"y":null}]}],"e":1e1000,"s":"\u0001\t/"})";
    const char* programs[] = {".",
                              ".Accounts[1].Balance",
                              ".Accounts[] | select(.Balance > 1) | .Player",
                              "[.Accounts[].Player]",
                              ".Accounts | map(keys)",
                              ".e, .s, 1.5, -0",
                              "{a: .Accounts[0]}",
                              ".Accounts[] | .Tags",
                              "[.Accounts[] | .Balance] | add",
                              ".missing",
                              "empty"};
    for (const bool compact : {false, true})
        for (const char* program : programs) {
            const std::string theirs = JqProgramOutput(program, answer, compact);
            std::string ours;
            const TJqOutcome outcome = RunJq(program, answer, TJqOptions{compact},
                                             [&ours](std::string_view APiece) { ours += APiece; });
            EXPECT_TRUE(outcome.Ok()) << program << ": " << outcome.Error;
            EXPECT_EQ(ours, theirs) << program << (compact ? " (compact)" : "");
            // The same answer read as it arrives, in pieces that cut its characters.
            TJqInput input;
            for (std::size_t at = 0; at < answer.size(); at += 5)
                input.Add(std::string_view(answer).substr(at, 5));
            std::string streamed;
            EXPECT_TRUE(input
                            .Run(program, TJqOptions{compact},
                                 [&streamed](std::string_view APiece) { streamed += APiece; })
                            .Ok());
            EXPECT_EQ(streamed, theirs)
                << program << (compact ? " (compact, pieces)" : " (pieces)");
        }
#endif
}

TEST(JqFilter, LongResultsInPiecesOfWholeCharacters) {
    // A result of 300 kB, its characters of one to four bytes, comes in pieces that each end on a
    // whole character.
    std::string text;
    while (text.size() < 300000)
        text += "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x82\xA1";
    std::vector<std::string> pieces;
    const TJqOutcome outcome =
        RunJq(".", "\"" + text + "\"", TJqOptions{true},
              [&pieces](std::string_view APiece) { pieces.emplace_back(APiece); });
    EXPECT_TRUE(outcome.Ok()) << outcome.Error;
    EXPECT_GT(pieces.size(), 2U);
    std::string whole;
    for (const std::string& piece : pieces) {
        ASSERT_FALSE(piece.empty());
        EXPECT_NE(static_cast<unsigned char>(piece.front()) & 0xC0, 0x80);
        whole += piece;
    }
    EXPECT_EQ(whole, "\"" + text + "\"\n");

    // A sink that throws (a closed pipe) ends the run with its exception.
    EXPECT_THROW(
        RunJq(".[]", "[1,2,3]", {}, [](std::string_view) { throw std::runtime_error("closed"); }),
        std::runtime_error);

    // A parse error read in pieces is worded as when read whole, the values before it run.
    std::string out;
    TJqInput input;
    for (const char piece : std::string("1 [2,\n3 x"))
        input.Add(std::string_view(&piece, 1));
    const TJqOutcome broken =
        input.Run(".", TJqOptions{true}, [&out](std::string_view APiece) { out += APiece; });
    EXPECT_EQ(out, "1\n");
    EXPECT_EQ(broken.Error, RunJq(".", "1 [2,\n3 x", {true}, [](std::string_view) {}).Error);
    EXPECT_NE(broken.Error.find("parse error"), std::string::npos);
}

TEST(JqFilter, ErrorsCancelAndSeveralInputs) {
    std::string out;
    const auto sink = [&out](std::string_view APiece) { out += APiece; };
    TJqOutcome outcome = RunJq(".[", "{}", {}, sink);
    EXPECT_FALSE(outcome.Compiled);
    EXPECT_NE(outcome.Error.find("syntax error"), std::string::npos) << outcome.Error;
    EXPECT_FALSE(CheckJqProgram(".a |").empty());
    EXPECT_TRUE(CheckJqProgram(".a | length").empty());

    out.clear();
    outcome = RunJq(".[] | 1 / .", "[2, 0]", {true}, sink);
    EXPECT_EQ(out, "0.5\n"); // the results before the failure are out
    EXPECT_NE(outcome.Error.find("jq: error: "), std::string::npos) << outcome.Error;

    out.clear();
    outcome = RunJq(".a", R"({"a":1} {"a":2} {)", {true}, sink);
    EXPECT_EQ(out, "1\n2\n");
    EXPECT_NE(outcome.Error.find("parse error"), std::string::npos);

    out.clear();
    std::atomic<bool> cancel{false};
    outcome = RunJq(
        "range(1000000)", "null", {true},
        [&](std::string_view APiece) {
            out += APiece;
            cancel = out.size() > 20;
        },
        &cancel);
    EXPECT_TRUE(outcome.Cancelled);
    EXPECT_LT(out.size(), 40U);
}
