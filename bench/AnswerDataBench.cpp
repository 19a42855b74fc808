// Answers as data on a large JSON answer, beside the jq program in the same run: the tree ready
// (the window's Ctrl+T), its first table made and sorted by a number and by a text column (a
// header click), CSV written, and a jq program through jq's library against the jq program on the
// same bytes. Run by bench/run:
//   build/bin/vl_answerdata_bench [megabytes] [jq]

#include "AnswerTable.h"
#include "AnswerTree.h"
#include "JqFilter.h"
#include "TableSort.h"
#include "TableText.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The process's processor time, which a busy machine does not stretch as it does wall time.
double Cpu() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Accounts as a server lists them, compact, about AMegabytes long; the number of rows.
std::string Accounts(std::size_t ABytes, std::size_t& ARows) {
    std::string text = R"({"Result":"Ok","Accounts":[)";
    ARows = 0;
    while (text.size() < ABytes) {
        if (ARows != 0)
            text += ',';
        const std::size_t i = ARows++;
        text += R"({"Player":"player)" + std::to_string((i * 7919) % 1000003) +
                R"(","RealName":"Name )" + std::to_string(i) + R"(","Balance":)" +
                std::to_string((i * 104729) % 100000) + "." + std::to_string(i % 100) +
                R"(,"Chips":)" + std::to_string(i * 3) + R"(,"Email":"p)" + std::to_string(i) +
                R"(@example.test","Tags":["a","b"],"Big":123456789012345678901234567890})";
    }
    text += "]}";
    return text;
}

// The jq program's time for AProgram over AFile, its output thrown away.
double JqSeconds(const std::string& AJq, const std::string& AProgram, const std::string& AFile) {
    std::fflush(stdout);
    const double start = Now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        execl(AJq.c_str(), AJq.c_str(), AProgram.c_str(), AFile.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return Now() - start;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
    const std::string jq = argc > 2 ? argv[2] : "/usr/bin/jq";
    std::size_t rows = 0;
    auto text = std::make_shared<std::string>(Accounts(megabytes * 1024 * 1024, rows));
    text->reserve(text->size() + AnswerTreePadding); // as the window and the tool hand it over
    const double mb = static_cast<double>(text->size()) / (1024 * 1024);
    const std::string file = "/tmp/vl_answerdata_bench.json";
    std::ofstream(file, std::ios::binary) << *text;
    std::printf("answer: %.1f MB of compact JSON, %zu accounts\n", mb, rows);

    const long before = PeakKiB();
    double start = Now();
    const TAnswerTree tree(text);
    const double treeSeconds = Now() - start;
    std::printf("tree ready: %.3f s (%zu nodes, peak memory +%.1f MB, %.2fx the answer)\n",
                treeSeconds, tree.Size(), static_cast<double>(PeakKiB() - before) / 1024,
                static_cast<double>(PeakKiB() - before) / 1024 / mb);
    start = Now();
    const std::vector<std::uint32_t> children = tree.Children(tree.Children(0)[1]);
    std::printf("open the array of %zu: %.3f s\n", children.size(), Now() - start);

    start = Now();
    const std::vector<std::uint32_t> tables = FindTables(tree);
    const TAnswerTable table = MakeTable(tree, tables.front());
    std::printf("table of %zu rows made: %.3f s\n", table.Rows, Now() - start);
    // 200,000 rows, as the target names them.
    const std::size_t sortRows = std::min<std::size_t>(table.Rows, 200000);
    TAnswerTable part = table;
    part.Rows = sortRows;
    part.Cells.resize(sortRows * table.Columns.size());
    // A header click and a second one on the same header, on a number and on a text column.
    TTableSorter sorter;
    for (const std::size_t column : {std::size_t(2), std::size_t(0)}) {
        const char* kind = column == 2 ? "number" : "text";
        for (const bool again : {false, true}) {
            start = Now();
            const double cpu = Cpu();
            sorter.Sort(tree, part, column, !again);
            std::printf("%zu rows sorted by %s %s column%s: %.3f s (processor %.3f s)\n", sortRows,
                        again ? "the same" : "a", kind, again ? " again, descending" : "",
                        Now() - start, Cpu() - cpu);
        }
    }
    start = Now();
    const std::string csv = TableCsv(tree, table, AllRows(table));
    std::printf("CSV of the whole table (%.1f MB): %.3f s\n",
                static_cast<double>(csv.size()) / (1024 * 1024), Now() - start);

    for (const std::string program :
         {".", ".Accounts | length", "[.Accounts[] | .Balance] | add"}) {
        std::size_t out = 0;
        start = Now();
        RunJq(program, *text, {}, [&out](std::string_view APiece) { out += APiece.size(); });
        const double ours = Now() - start;
        const double theirs = JqSeconds(jq, program, file);
        std::printf("jq '%s': library %.3f s, jq program %.3f s (ratio %.2f)\n", program.c_str(),
                    ours, theirs, theirs > 0 ? ours / theirs : 0.0);
    }
    std::printf("jq . on the same bytes, for the tree: tree %.3f s against jq %.3f s\n",
                treeSeconds, JqSeconds(jq, ".", file));
    std::remove(file.c_str());
    return 0;
}
