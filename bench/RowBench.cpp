// Row runs: vlcallbench-call --rows with 10,000 rows against a loopback server that answers every
// form (the journal on, in a private data folder), at one and at eight calls at once, side by side
// with newman running the same rows as its data file (-d) at its one call at a time; then the
// peak memory of runs of 10,000, 100,000 and 1,000,000 rows at eight calls at once, which must not
// grow with the rows. Wall time from fork to exit, peak memory from the exit's resource usage.
//
// Usage: vl_row_bench CALL_TOOL [NEWMAN]  (NEWMAN empty or missing: newman is skipped)
// VL_BENCH_BIG_ROWS: the rows of the largest memory run (default 1000000; 0 skips the memory runs).
// TMPDIR: where the journal is (its full syncs bound the rate at one call at a time).
// Each call goes out on a fresh connection, as Send sends it. A closed connection holds its port
// for a minute on the side that closed first: the memory runs' server closes first, so that runs
// of more calls a minute than the client has local ports go on.

#include "RowServer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct TResult {
    bool Ok = false;
    double Seconds = 0;
    long PeakKiB = 0;
    double CpuSeconds = 0; // user and system
};

// Runs AProgram with AArguments, its output to /dev/null, in the environment given.
TResult RunProcess(const std::vector<std::string>& AArguments,
                   const std::vector<std::string>& AEnvironment) {
    std::vector<char*> argv;
    argv.reserve(AArguments.size() + 1);
    for (const std::string& argument : AArguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    std::fflush(stdout); // not written twice by the child
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const std::string& entry : AEnvironment)
            ::putenv(const_cast<char*>(entry.c_str()));
        std::freopen("/dev/null", "w", stdout);
        if (std::getenv("VL_BENCH_VERBOSE") == nullptr)
            std::freopen("/dev/null", "w", stderr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    TResult result;
    result.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.PeakKiB = usage.ru_maxrss;
    result.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    result.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

void WriteRows(const std::string& APath, int ACount) {
    std::ofstream out(APath, std::ios::binary);
    out << "Player,Amount\n";
    for (int i = 1; i <= ACount; ++i)
        out << "player" << i << "," << (i % 1000) + 1 << "\n";
}

// A collection of one request, the form the call tool sends, its values from the data file.
void WriteCollection(const std::string& APath, const std::string& AURL) {
    std::ofstream(APath)
        << R"({"info":{"name":"rows","schema":"https://schema.getpostman.com/json/collection/v2.1.0/collection.json"},)"
        << R"("item":[{"name":"AccountsIncBalance","request":{"method":"POST","url":")" << AURL
        << R"(","body":{"mode":"urlencoded","urlencoded":[)"
        << R"({"key":"Command","value":"AccountsIncBalance"},{"key":"Password","value":"bench"},)"
        << R"({"key":"JSON","value":"Yes"},{"key":"Player","value":"{{Player}}"},)"
        << R"({"key":"Amount","value":"{{Amount}}"}]}}}]})";
}

void Print(const char* AName, int ARows, const TResult& AResult) {
    if (!AResult.Ok) {
        std::printf("%-34s failed\n", AName);
        return;
    }
    std::printf("%-34s %8.0f rows/s  %7.1f s  cpu %6.1f s  peak %6.1f MB\n", AName,
                static_cast<double>(ARows) / AResult.Seconds, AResult.Seconds, AResult.CpuSeconds,
                static_cast<double>(AResult.PeakKiB) / 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "Usage: vl_row_bench CALL_TOOL [NEWMAN]\n");
        return 2;
    }
    const std::string tool = argv[1];
    const std::string newman = argc > 2 ? argv[2] : "";
    // TMPDIR chooses the disk the journal is on.
    std::string folderName =
        (std::filesystem::temp_directory_path() / "vlrowbench-XXXXXX").string();
    if (::mkdtemp(folderName.data()) == nullptr)
        return 1;
    const std::filesystem::path folder = folderName;
    const std::vector<std::string> environment{"XDG_CONFIG_HOME=" + folder.string(),
                                               "XDG_DATA_HOME=" + folder.string() + "/data",
                                               "DBUS_SESSION_BUS_ADDRESS=", "VL_BENCH_PW=bench"};
    TRowServer server("Player");
    constexpr int Rows = 10000;
    const std::string rows = (folder / "rows.csv").string();
    WriteRows(rows, Rows);
    int status = 0;
    for (const int concurrency : {1, 8}) {
        const TResult result =
            RunProcess({tool, "--server", server.URL(), "--password-env", "VL_BENCH_PW", "--rows",
                        rows, "--concurrency", std::to_string(concurrency), "AccountsIncBalance"},
                       environment);
        const std::string name = "vlcallbench-call, concurrency " + std::to_string(concurrency);
        Print(name.c_str(), Rows, result);
        status |= result.Ok ? 0 : 1;
        std::filesystem::remove_all(folder / "data"); // each run with a journal of its own
    }
    if (newman.empty()) {
        std::printf("newman: not installed (npm install --prefix DIR newman; bench/run finds it "
                    "in VL_NEWMAN_DIR), skipped\n");
    } else {
        const std::string collection = (folder / "rows.postman_collection.json").string();
        WriteCollection(collection, server.URL());
        const TResult result = RunProcess(
            {newman, "run", collection, "-d", rows, "--reporters", "cli", "--silent"}, environment);
        Print("newman run -d", Rows, result);
    }
    const char* big = std::getenv("VL_BENCH_BIG_ROWS");
    const int bigRows = big != nullptr ? std::atoi(big) : 1000000;
    TRowServer closing("Player", true);
    std::vector<int> counts;
    for (const int count : {10000, 100000})
        if (count < bigRows)
            counts.push_back(count);
    if (bigRows > 0)
        counts.push_back(bigRows);
    for (const int count : counts) {
        const std::string bigFile = (folder / "big.csv").string();
        WriteRows(bigFile, count);
        const TResult result =
            RunProcess({tool, "--server", closing.URL(), "--password-env", "VL_BENCH_PW", "--rows",
                        bigFile, "--concurrency", "8", "AccountsIncBalance"},
                       environment);
        const std::string name = "vlcallbench-call, " + std::to_string(count) + " rows, c 8";
        Print(name.c_str(), count, result);
        status |= result.Ok ? 0 : 1;
        std::filesystem::remove_all(folder / "data");
    }
    std::filesystem::remove_all(folder);
    return status;
}
