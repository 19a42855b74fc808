// The command-line tools against curl on a 100 MB answer: curl, vlcallbench-post and
// vlcallbench-call run side by side as whole processes against the same loopback server, their
// output going to /dev/null or through a pipe to a reader. Wall time from fork to exit and peak
// memory from the exit's resource usage.
//
// The call tool's --jq, --table and --csv on a 50 MB JSON answer: their peak memory above the
// tool's own on a small answer, as a multiple of the answer, beside the jq program on the same
// bytes.
//
// Usage: vl_tool_bench CURL POST_TOOL CALL_TOOL [case: length, chunked, data] [JQ]
// VL_BENCH_RUNS: runs per tool and case (the fastest counts, the largest peak memory is shown).

#include "BenchPeer.h"
#include "LoopbackListener.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr long long AnswerSize = 100LL * 1000 * 1000;
constexpr std::size_t PieceSize = 64 * 1024;
const char* const Form = "Command=AccountsList&Password=bench&JSON=Yes";

// A JSON list of accounts, mostly ASCII with a few two-byte characters, whose values vary from
// record to record as a real list's do, so that what keeps or compresses the answer works as
// hard as it would on one.
std::string MakeAnswer(long long ASize = AnswerSize) {
    static const char* const Cities[] = {"M\xC3\xBCnchen",    "Berlin", "K\xC3\xB6ln", "Hamburg",
                                         "Z\xC3\xBCrich",     "Wien",   "Graz",        "Basel",
                                         "D\xC3\xBCsseldorf", "Bremen"};
    std::string answer;
    answer.reserve(static_cast<std::size_t>(ASize) + 256);
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    char record[256];
    for (long long number = 0; static_cast<long long>(answer.size()) < ASize; ++number) {
        const std::uint64_t value = next();
        const int length = std::snprintf(
            record, sizeof record,
            "{\"Player\":\"Spieler%lld\",\"Balance\":\"%llu.%02llu\",\"City\":\"%s\","
            "\"LastLogin\":\"2026-%02llu-%02llu %02llu:%02llu\"},\n",
            number, static_cast<unsigned long long>(value % 1000000),
            static_cast<unsigned long long>((value >> 20) % 100), Cities[(value >> 27) % 10],
            static_cast<unsigned long long>((value >> 31) % 12 + 1),
            static_cast<unsigned long long>((value >> 35) % 28 + 1),
            static_cast<unsigned long long>((value >> 40) % 24),
            static_cast<unsigned long long>((value >> 45) % 60));
        answer.append(record, static_cast<std::size_t>(length));
    }
    answer.resize(static_cast<std::size_t>(ASize));
    // The answer ends on a whole character.
    while ((static_cast<unsigned char>(answer.back()) & 0xC0) == 0x80 ||
           static_cast<unsigned char>(answer.back()) >= 0xC0)
        answer.back() = ' ';
    return answer;
}

constexpr long long DataSize = 50LL * 1000 * 1000;

// The same records as one JSON answer of about ASize bytes: {"Accounts":[...]}.
std::string MakeDataAnswer(long long ASize) {
    std::string records = MakeAnswer(ASize);
    records.resize(records.rfind("},\n") + 1);
    return "{\"Accounts\":[" + records + "]}";
}

// The answers of the data case, by the request's target.
struct TDataAnswers {
    std::string Large; // "/data"
    std::string Small; // "/small": the tool's memory without an answer to speak of
};

void Serve(const TLoopbackListener& AListener, const std::string& AAnswer,
           const TDataAnswers& AData) {
    for (;;) {
        const int fd = AListener.Accept();
        if (fd < 0)
            continue;
        const std::string target = ReadRequest(fd);
        const bool chunked = target == "/chunked";
        const std::string& body = target == "/data"    ? AData.Large
                                  : target == "/small" ? AData.Small
                                                       : AAnswer;
        std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\n";
        head += chunked ? "Transfer-Encoding: chunked\r\n"
                        : "Content-Length: " + std::to_string(body.size()) + "\r\n";
        head += "Connection: close\r\n\r\n";
        bool ok = SendAll(fd, head.data(), head.size());
        char size[32];
        for (std::size_t sent = 0; ok && sent < body.size();) {
            const std::size_t count = std::min(PieceSize, body.size() - sent);
            const char* piece = body.data() + sent;
            if (chunked) {
                const int length = std::snprintf(size, sizeof size, "%zx\r\n", count);
                ok = SendAll(fd, size, static_cast<std::size_t>(length)) &&
                     SendAll(fd, piece, count) && SendAll(fd, "\r\n", 2);
            } else {
                ok = SendAll(fd, piece, count);
            }
            sent += count;
        }
        if (ok && chunked)
            SendAll(fd, "0\r\n\r\n", 5);
        FinishAnswer(fd);
    }
}

struct TRun {
    double Seconds = 0;
    double CpuSeconds = 0; // user and system time of the process
    long PeakKiB = 0;
    long long OutBytes = -1; // through the pipe; -1 for /dev/null
    bool Ok = false;
};

// Runs AArgs as a process with its standard output on /dev/null or on a pipe read to its end.
TRun RunProcess(const std::vector<std::string>& AArgs, bool APipe) {
    int pipeFds[2] = {-1, -1};
    if (APipe && pipe2(pipeFds, O_CLOEXEC) != 0)
        return {};
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = APipe ? pipeFds[1] : open("/dev/null", O_WRONLY);
        dup2(out, STDOUT_FILENO);
        std::vector<char*> argv;
        argv.reserve(AArgs.size() + 1);
        for (const std::string& arg : AArgs)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    TRun run;
    std::thread reader;
    if (APipe) {
        close(pipeFds[1]);
        reader = std::thread([&run, fd = pipeFds[0]] {
            std::vector<char> buffer(1 << 16);
            long long total = 0;
            for (ssize_t got; (got = read(fd, buffer.data(), buffer.size())) != 0;) {
                if (got < 0 && errno == EINTR)
                    continue;
                if (got < 0)
                    break;
                total += got;
            }
            run.OutBytes = total;
        });
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (reader.joinable())
        reader.join();
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (APipe)
        close(pipeFds[0]);
    run.PeakKiB = usage.ru_maxrss;
    run.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

struct TTool {
    std::string Name;
    std::vector<std::string> Args; // the URL's place is "{URL}"
    TRun Best;
};

// Writes the data case's answer to AFile for the jq program and lets go of the answers, which the
// server has. Returns the answer's size.
std::size_t KeepDataFile(TDataAnswers& AData, const std::filesystem::path& AFile) {
    const std::size_t size = AData.Large.size();
    if (size != 0)
        if (FILE* out = std::fopen(AFile.c_str(), "wb")) {
            std::fwrite(AData.Large.data(), 1, size, out);
            std::fclose(out);
        }
    AData = TDataAnswers();
    return size;
}

// --jq, --table and --csv on the 50 MB answer at /data: each one's peak memory above the tool's
// on a small answer, against the answer's size, and the jq program's on the same bytes.
int RunDataCase(const std::string& ACallTool, const std::string& AJq, const std::string& ABase,
                const std::filesystem::path& AFile, std::size_t ASize, int ARuns) {
    const auto call = [&](const std::string& ATarget, std::vector<std::string> AOptions) {
        std::vector<std::string> args{ACallTool, "--server", ABase + ATarget, "--password-env",
                                      "VL_BENCH_PASSWORD"};
        args.insert(args.end(), AOptions.begin(), AOptions.end());
        args.emplace_back("AccountsList");
        return args;
    };
    const auto best = [ARuns](const std::vector<std::string>& AArgs) {
        TRun result;
        for (int round = 0; round < ARuns; ++round) {
            const TRun run = RunProcess(AArgs, true);
            const long peak = std::max(result.PeakKiB, run.PeakKiB);
            const bool ok = (round == 0 || result.Ok) && run.Ok;
            if (round == 0 || run.Seconds < result.Seconds)
                result = run;
            result.PeakKiB = peak;
            result.Ok = ok;
        }
        return result;
    };
    const double answerMiB = static_cast<double>(ASize) / (1024.0 * 1024.0);
    std::printf("Answers as data on a %.1f MB JSON answer, output to a pipe, best of %d runs\n",
                static_cast<double>(ASize) / 1e6, ARuns);
    int status = 0;
    const TRun baseline = best(call("/small", {}));
    std::printf("  %-26s %7.3f s   peak memory %6.1f MiB (the baseline)\n", "call, small answer",
                baseline.Seconds, baseline.PeakKiB / 1024.0);
    struct TDataCase {
        const char* Name;
        std::vector<std::string> Options;
    };
    const TDataCase cases[] = {{"call (streamed)", {}},
                               {"call --jq .", {"--jq", "."}},
                               {"call --jq . --compact", {"--jq", ".", "--compact"}},
                               {"call --table", {"--table"}},
                               {"call --csv", {"--csv"}},
                               {"call --jq .Accounts --csv", {"--jq", ".Accounts", "--csv"}}};
    for (const TDataCase& test : cases) {
        const TRun run = best(call("/data", test.Options));
        const double growth = (run.PeakKiB - baseline.PeakKiB) / 1024.0;
        std::printf("  %-26s %7.3f s   peak memory %6.1f MiB, %6.1f MiB over the baseline = "
                    "%4.2fx the answer%s\n",
                    test.Name, run.Seconds, run.PeakKiB / 1024.0, growth, growth / answerMiB,
                    run.Ok ? "" : "   FAILED");
        if (!run.Ok)
            status = 1;
    }
    if (access(AJq.c_str(), X_OK) == 0) {
        for (const char* program : {".", "-c ."}) {
            std::vector<std::string> args{AJq};
            if (std::strcmp(program, ".") != 0)
                args.emplace_back("-c");
            args.emplace_back(".");
            args.push_back(AFile.string());
            const TRun run = best(args);
            std::printf("  %-26s %7.3f s   peak memory %6.1f MiB = %4.2fx the answer\n",
                        (std::string("jq ") + program).c_str(), run.Seconds, run.PeakKiB / 1024.0,
                        run.PeakKiB / 1024.0 / answerMiB);
        }
    } else {
        std::printf("  jq is not installed (%s): the jq program is left out\n", AJq.c_str());
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "Usage: vl_tool_bench CURL POST_TOOL CALL_TOOL [length|chunked|data] [JQ]\n");
        return 2;
    }
    const std::string only = argc > 4 ? argv[4] : "";
    int runs = 3;
    if (const char* count = std::getenv("VL_BENCH_RUNS"); count != nullptr && std::atoi(count) > 0)
        runs = std::atoi(count);

    // Made before the server starts, so that no tool's run waits for it, and let go of here
    // afterwards, so that the tools forked from this process do not count it in their memory.
    std::string answer = only == "data" ? std::string() : MakeAnswer();
    TDataAnswers data;
    if (only.empty() || only == "data")
        data = TDataAnswers{MakeDataAnswer(DataSize), MakeDataAnswer(1000)};
    const TLoopbackListener listener(false, 64);
    const pid_t server = fork();
    if (server == 0) {
        Serve(listener, answer, data);
        _exit(0);
    }
    std::string().swap(answer);
    const std::filesystem::path dataFile = std::filesystem::temp_directory_path() /
                                           ("vl_tool_bench-" + std::to_string(getpid()) + ".json");
    const std::size_t dataSize = KeepDataFile(data, dataFile);
    // The call tool reads no settings of the user running the benchmark and keeps its calls in a
    // history of its own, as a user's call tool keeps them.
    const std::filesystem::path config =
        std::filesystem::temp_directory_path() / ("vl_tool_bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("XDG_DATA_HOME", config.c_str(), 1);
    setenv("VL_BENCH_PASSWORD", "bench", 1);
    const std::string base = "http://127.0.0.1:" + std::to_string(listener.Port());

    std::printf("Tools on a 100 MB answer from a loopback server, best of %d runs\n", runs);
    int status = 0;
    for (const char* framing : {"length", "chunked"}) {
        if (!only.empty() && only != framing)
            continue;
        const std::string url = base + "/" + framing;
        for (const bool piped : {false, true}) {
            std::vector<TTool> tools = {
                {"curl", {argv[1], "-s", "-d", Form, url}, {}},
                {"vlcallbench-post",
                 {argv[2], url, "Command=AccountsList", "Password=bench", "JSON=Yes"},
                 {}},
                {"vlcallbench-call",
                 {argv[3], "--server", url, "--password-env", "VL_BENCH_PASSWORD", "AccountsList"},
                 {}},
            };
            if (!piped)
                tools[0].Args.insert(tools[0].Args.begin() + 2, {"-o", "/dev/null"});
            // Round by round, so that a busy moment of the machine costs every tool alike.
            for (int round = 0; round < runs; ++round)
                for (TTool& tool : tools) {
                    const TRun run = RunProcess(tool.Args, piped);
                    TRun& best = tool.Best;
                    const long peak = std::max(best.PeakKiB, run.PeakKiB);
                    const bool ok =
                        (round == 0 || best.Ok) && run.Ok && (!piped || run.OutBytes >= AnswerSize);
                    if (round == 0 || run.Seconds < best.Seconds)
                        best = run;
                    best.PeakKiB = peak;
                    best.Ok = ok;
                }
            std::printf("%s, output to %s\n",
                        std::strcmp(framing, "length") == 0 ? "Content-Length" : "chunked",
                        piped ? "a pipe" : "/dev/null");
            const TRun& curl = tools[0].Best;
            for (const TTool& tool : tools) {
                std::printf("  %-17s %7.3f s", tool.Name.c_str(), tool.Best.Seconds);
                if (&tool != &tools[0])
                    std::printf(" = %5.2fx curl", tool.Best.Seconds / curl.Seconds);
                else
                    std::printf("             ");
                std::printf("   cpu %6.3f s   peak memory %6.1f MiB%s\n", tool.Best.CpuSeconds,
                            tool.Best.PeakKiB / 1024.0, tool.Best.Ok ? "" : "   FAILED");
                if (!tool.Best.Ok)
                    status = 1;
            }
        }
    }

    if (only.empty() || only == "data") {
        std::printf("\n");
        if (RunDataCase(argv[3], argc > 5 ? argv[5] : "/usr/bin/jq", base, dataFile, dataSize,
                        runs) != 0)
            status = 1;
        std::filesystem::remove(dataFile);
    }

    std::filesystem::remove_all(config);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    return status;
}
