#include "CallAnswerData.h"

#include "AnswerTable.h"
#include "AnswerTree.h"
#include "AnswerWriter.h"
#include "CallArguments.h"
#include "JqFilter.h"
#include "TableText.h"

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
           "  --csv                   the same table as CSV (RFC 4180, UTF-8)\n";
}

namespace {

// The table of the answer (or of the jq results, as one array when there are several).
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

std::string TableText(const TAnswerDataOptions& AOptions, std::string AJson) {
    const TAnswerTree tree = ReadTree(std::move(AJson));
    const std::vector<std::uint32_t> tables = FindTables(tree);
    if (tables.empty())
        throw std::runtime_error("The answer holds no array of objects to show as a table.");
    const TAnswerTable table = MakeTable(tree, tables.front());
    const std::vector<std::uint32_t> rows = AllRows(table);
    if (AOptions.Csv)
        return TableCsv(tree, table, rows);
    return ::isatty(STDOUT_FILENO) != 0 ? TableAligned(tree, table, rows)
                                        : TableTsv(tree, table, rows);
}

} // namespace

std::string WriteAnswerData(const TAnswerDataOptions& AOptions, std::string AAnswer, int AFd) {
    TAnswerWriter output(AFd);
    try {
        if (!AOptions.Jq) {
            output.Write(TableText(AOptions, std::move(AAnswer)));
            return {};
        }
        const bool table = AOptions.Table || AOptions.Csv;
        // For a table the results are gathered compact, as the elements of one array.
        std::string results;
        std::size_t count = 0;
        const TJqOutcome outcome =
            RunJq(*AOptions.Jq, AAnswer, TJqOptions{AOptions.Compact || table},
                  [&](std::string_view ALine) {
                      if (!table) {
                          output.Write(ALine);
                          return;
                      }
                      results += count++ == 0 ? "" : ",";
                      results += ALine.substr(0, ALine.size() - 1);
                  });
        if (!outcome.Error.empty())
            return outcome.Error;
        if (!table)
            return {};
        AAnswer = std::string();
        output.Write(TableText(AOptions, count == 1 ? results : "[" + results + "]"));
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}
