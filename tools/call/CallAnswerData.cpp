#include "CallAnswerData.h"

#include "AnswerTable.h"
#include "AnswerTree.h"
#include "AnswerWriter.h"
#include "CallArguments.h"
#include "JqFilter.h"
#include "TableText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
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

namespace {

// Writes a table as the options ask: aligned on a terminal, else tab-separated, or CSV.
void WriteTable(const TAnswerDataOptions& AOptions, const TDataTable& AData, TAnswerWriter& AOutput,
                int AFd) {
    const std::vector<std::uint32_t> rows = AllRows(AData.Table);
    if (!AOptions.Csv && ::isatty(AFd) != 0) {
        AOutput.Write(TableAligned(AData.Tree, AData.Table, rows));
        return;
    }
    // Written a slice of rows at a time: the text of the whole table is not held as well.
    constexpr std::size_t slice = 4096;
    std::vector<std::uint32_t> part;
    for (std::size_t first = 0; first == 0 || first < rows.size(); first += slice) {
        part.assign(rows.begin() + static_cast<std::ptrdiff_t>(first),
                    rows.begin() +
                        static_cast<std::ptrdiff_t>(std::min(rows.size(), first + slice)));
        AOutput.Write(AOptions.Csv ? TableCsv(AData.Tree, AData.Table, part, first == 0)
                                   : TableTsv(AData.Tree, AData.Table, part, first == 0));
    }
}

// The whole of AFile, written from its start, with room for the tree's look past the end.
std::string ReadBack(std::FILE* AFile) {
    std::string text;
    if (std::fflush(AFile) == 0 && std::fseek(AFile, 0, SEEK_END) == 0) {
        const long size = std::ftell(AFile);
        std::rewind(AFile);
        if (size >= 0) {
            text.reserve(static_cast<std::size_t>(size) + AnswerTreePadding);
            text.resize(static_cast<std::size_t>(size));
            if (std::fread(text.data(), 1, text.size(), AFile) == text.size())
                return text;
        }
    }
    throw std::runtime_error(std::string("Cannot read jq's results back: ") + std::strerror(errno));
}

} // namespace

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

TAnswerDataInput::TAnswerDataInput(const TAnswerDataOptions& AOptions)
    : FOptions(AOptions), FJq(AOptions.Jq ? std::make_unique<TJqInput>() : nullptr) {}

TAnswerDataInput::~TAnswerDataInput() = default;

void TAnswerDataInput::Reserve(std::size_t ALength) {
    // With room for the parser's look past the end, so that the tree reads it in place.
    if (!FJq)
        FWhole.reserve(ALength + AnswerTreePadding);
}

void TAnswerDataInput::Add(std::string_view APiece) {
    FStarted = true;
    if (FJq)
        FJq->Add(APiece);
    else
        FWhole += APiece;
}

std::string TAnswerDataInput::Write(int AFd) {
    TAnswerWriter output(AFd);
    try {
        if (FJq && !FOptions.Tabled()) {
            return FJq
                ->Run(*FOptions.Jq, TJqOptions{FOptions.Compact},
                      [&output](std::string_view APiece) { output.Write(APiece); })
                .Error;
        }
        std::optional<TDataTable> data;
        if (FJq) {
            // The results wait in a file while jq's values are held, and are read back once
            // those are let go of: the two are not in memory at once.
            const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(),
                                                                       &std::fclose);
            if (!file)
                throw std::runtime_error(std::string("Cannot keep jq's results: ") +
                                         std::strerror(errno));
            std::string error = FJq->Run(*FOptions.Jq, TJqOptions{true},
                                         [&file](std::string_view APiece) {
                                             if (std::fwrite(APiece.data(), 1, APiece.size(),
                                                             file.get()) != APiece.size())
                                                 throw std::runtime_error(
                                                     std::string("Cannot keep jq's results: ") +
                                                     std::strerror(errno));
                                         })
                                    .Error;
            FJq.reset();
            if (!error.empty())
                return error;
            data = ResultsTable(ReadBack(file.get()));
        } else {
            data = TableOf(std::move(FWhole));
        }
        if (!data)
            return NoTable;
        WriteTable(FOptions, *data, output, AFd);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}
