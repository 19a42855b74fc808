#include "CallAnswerData.h"

#include "AnswerTable.h"
#include "AnswerTree.h"
#include "AnswerWriter.h"
#include "CallArguments.h"
#include "JqFilter.h"
#include "TableText.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <unistd.h>

std::vector<char*> TakeAnswerDataOptions(int argc, char** argv, TAnswerDataOptions& AOptions) {
    std::vector<char*> rest;
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (i == 0 || optionsEnded) {
            rest.push_back(argv[i]);
            continue;
        }
        if (argument == "--")
            optionsEnded = true;
        if (argument == "--jq") {
            if (i + 1 >= argc)
                throw ECallUsage("Option --jq needs a value.");
            AOptions.Jq = argv[++i];
        } else if (argument.starts_with("--jq=")) {
            AOptions.Jq = std::string(argument.substr(5));
        } else if (argument == "--compact") {
            AOptions.Compact = true;
        } else if (argument == "--table") {
            AOptions.Table = true;
        } else if (argument == "--csv") {
            AOptions.Csv = true;
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (AOptions.Compact && !AOptions.Jq)
        throw ECallUsage("Option --compact goes with --jq.");
    if (AOptions.Table && AOptions.Csv)
        throw ECallUsage("Options --table and --csv exclude each other.");
    if (AOptions.Jq)
        if (const std::string errors = CheckJqProgram(*AOptions.Jq); !errors.empty())
            throw ECallUsage(errors);
    rest.push_back(nullptr);
    return rest;
}

std::string AnswerDataUsage() {
    return "  --jq PROGRAM            print the answer through the jq program PROGRAM, as jq "
           "prints it\n"
           "  --compact               with --jq: one result per line (jq -c)\n"
           "  --table                 print the answer's first array of objects (or the jq "
           "results)\n"
           "                          as a table: aligned on a terminal, tab-separated when piped\n"
           "  --csv                   the same table as CSV (RFC 4180, UTF-8)\n"
           "                          With --rows, --jq prints each answered row's results as the "
           "row\n"
           "                          ends (and --out keeps them as its answer), and a table holds "
           "all\n"
           "                          the rows at the end, each row's number in a first column "
           "\"row\".\n";
}

namespace {

const char* const NoTable = "The answer holds no array of objects to show as a table.";

TAnswerTree ReadTree(std::string AJson) {
    // Room for the parser's look past the end, so that it reads the answer in place: a string
    // grown piece by piece has it already, and the answer is not copied.
    AJson.reserve(AJson.size() + AnswerTreePadding);
    try {
        return TAnswerTree(std::make_shared<const std::string>(std::move(AJson)));
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(std::string("The answer is not JSON: ") + error.what());
    }
}

// The first table of ATree, if it has one.
std::optional<TDataTable> FirstTable(TAnswerTree ATree) {
    const std::vector<std::uint32_t> tables = FindTables(ATree);
    if (tables.empty())
        return std::nullopt;
    TAnswerTable table = MakeTable(ATree, tables.front());
    return TDataTable{std::move(ATree), std::move(table)};
}

TDataTable TableOf(std::string AJson) {
    std::optional<TDataTable> table = FirstTable(ReadTree(std::move(AJson)));
    if (!table)
        throw std::runtime_error(NoTable);
    return std::move(*table);
}

} // namespace

std::string FilterAnswer(const TAnswerDataOptions& AOptions, std::string_view AAnswer,
                         bool ACompact, const std::function<void(std::string_view)>& ASink) {
    return RunJq(AOptions.Jq.value_or("."), AAnswer, TJqOptions{ACompact}, ASink).Error;
}

std::optional<TDataTable> ResultsTable(std::string AResults) {
    if (AResults.empty())
        return std::nullopt;
    // One result that holds a table stands alone, as an answer would; one without (an object,
    // say) and several are the elements of one array, the line breaks turned into its commas in
    // place.
    if (AResults.find('\n') == AResults.size() - 1) {
        AResults.pop_back();
        TAnswerTree tree = ReadTree(std::move(AResults));
        if (FindTables(tree).empty())
            return TableOf("[" + tree.Text() + "]");
        return FirstTable(std::move(tree));
    }
    AResults.insert(AResults.begin(), '[');
    std::replace(AResults.begin(), AResults.end(), '\n', ',');
    AResults.back() = ']';
    return TableOf(std::move(AResults));
}

std::optional<TDataTable> AnswerDataTable(const TAnswerDataOptions& AOptions, std::string AAnswer) {
    if (!AOptions.Jq)
        return TableOf(std::move(AAnswer));
    std::string results;
    const std::string error = FilterAnswer(
        AOptions, AAnswer, true, [&results](std::string_view ALine) { results += ALine; });
    if (!error.empty())
        throw std::runtime_error(error);
    AAnswer = std::string();
    return ResultsTable(std::move(results));
}

std::string WriteAnswerData(const TAnswerDataOptions& AOptions, std::string AAnswer, int AFd) {
    TAnswerWriter output(AFd);
    try {
        if (!AOptions.Tabled()) {
            return FilterAnswer(AOptions, AAnswer, AOptions.Compact,
                                [&output](std::string_view ALine) { output.Write(ALine); });
        }
        const std::optional<TDataTable> data = AnswerDataTable(AOptions, std::move(AAnswer));
        if (!data)
            return NoTable;
        const std::vector<std::uint32_t> rows = AllRows(data->Table);
        if (!AOptions.Csv && ::isatty(AFd) != 0) {
            output.Write(TableAligned(data->Tree, data->Table, rows));
            return {};
        }
        // Written a slice of rows at a time: the text of the whole table is not held as well.
        constexpr std::size_t slice = 4096;
        std::vector<std::uint32_t> part;
        for (std::size_t first = 0; first == 0 || first < rows.size(); first += slice) {
            part.assign(rows.begin() + static_cast<std::ptrdiff_t>(first),
                        rows.begin() +
                            static_cast<std::ptrdiff_t>(std::min(rows.size(), first + slice)));
            output.Write(AOptions.Csv ? TableCsv(data->Tree, data->Table, part, first == 0)
                                      : TableTsv(data->Tree, data->Table, part, first == 0));
        }
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}
