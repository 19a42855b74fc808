// HTTP client benchmark against curl on loopback. A forked server process answers; every measured
// client runs in a process of its own so that its peak memory is its own.
//
// Usage: vl_http_bench [path of curl [case: small, tls, length, chunked]]

#include "BenchPeer.h"
#include "IdHTTP.h"
#include "IdSSLIOHandlerSocketOpenSSL.h"
#include "LoopbackListener.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <signal.h>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int SmallPosts = 1000;
constexpr long long BigBodySize = 100LL * 1000 * 1000;
constexpr std::size_t PieceSize = 64 * 1024;

void Serve(const TLoopbackListener& AListener) {
    std::string Piece(PieceSize, 'x');
    for (std::size_t I = 0; I < Piece.size(); I += 64)
        Piece.replace(I, 12, "{\"k\":\"\xC3\xA4\xC3\xB6\"}");
    for (;;) {
        const int Fd = AListener.Accept();
        if (Fd < 0)
            continue;
        const std::string Target = ReadRequest(Fd);
        if (Target == "/small") {
            const std::string Answer = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                       "Content-Length: 15\r\nConnection: close\r\n\r\n"
                                       "{\"Result\":\"Ok\"}";
            SendAll(Fd, Answer.data(), Answer.size());
        } else if (Target == "/big") {
            const std::string Head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                     "Content-Length: " +
                                     std::to_string(BigBodySize) + "\r\nConnection: close\r\n\r\n";
            bool Ok = SendAll(Fd, Head.data(), Head.size());
            for (long long Sent = 0; Ok && Sent < BigBodySize;) {
                const std::size_t N =
                    static_cast<std::size_t>(std::min<long long>(PieceSize, BigBodySize - Sent));
                Ok = SendAll(Fd, Piece.data(), N);
                Sent += static_cast<long long>(N);
            }
        } else if (Target == "/chunked") {
            const std::string Head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                     "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
            bool Ok = SendAll(Fd, Head.data(), Head.size());
            char Size[32];
            for (long long Sent = 0; Ok && Sent < BigBodySize;) {
                const std::size_t N =
                    static_cast<std::size_t>(std::min<long long>(PieceSize, BigBodySize - Sent));
                const int Len = std::snprintf(Size, sizeof Size, "%zx\r\n", N);
                Ok = SendAll(Fd, Size, static_cast<std::size_t>(Len)) &&
                     SendAll(Fd, Piece.data(), N) && SendAll(Fd, "\r\n", 2);
                Sent += static_cast<long long>(N);
            }
            if (Ok)
                SendAll(Fd, "0\r\n\r\n", 5);
        }
        FinishAnswer(Fd);
    }
}

struct TRun {
    double Seconds = 0;
    double CpuSeconds = 0; // user + system time of the client process
    long PeakKiB = 0;
    bool Ok = false;
};

// Runs AWork in a child process; times it and reads its peak resident memory.
template <typename TWork> TRun RunChild(TWork AWork) {
    const auto Start = std::chrono::steady_clock::now();
    const pid_t Pid = fork();
    if (Pid == 0)
        _exit(AWork() ? 0 : 1);
    int Status = 0;
    rusage Usage{};
    wait4(Pid, &Status, 0, &Usage);
    TRun Run;
    Run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    Run.PeakKiB = Usage.ru_maxrss;
    Run.CpuSeconds = static_cast<double>(Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) +
                     static_cast<double>(Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e6;
    Run.Ok = WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
    return Run;
}

// The machine is shared: every case runs several times and the fastest run counts, for curl as for
// the client. The peak memory is the largest seen.
int Runs = 3;

template <typename TWork> TRun BestOf(TWork AWork) {
    TRun Best;
    for (int I = 0; I < Runs; ++I) {
        const TRun Run = RunChild(AWork);
        if (I == 0 || Run.Seconds < Best.Seconds) {
            const long Peak = std::max(Best.PeakKiB, Run.PeakKiB);
            const bool Ok = I == 0 ? Run.Ok : Best.Ok && Run.Ok;
            Best = Run;
            Best.PeakKiB = Peak;
            Best.Ok = Ok;
        } else {
            Best.PeakKiB = std::max(Best.PeakKiB, Run.PeakKiB);
            Best.Ok = Best.Ok && Run.Ok;
        }
    }
    return Best;
}

TRun RunCurl(const std::string& ACurl, const std::vector<std::string>& AArgs) {
    return BestOf([&] {
        std::vector<char*> Argv;
        Argv.push_back(const_cast<char*>(ACurl.c_str()));
        for (const std::string& Arg : AArgs)
            Argv.push_back(const_cast<char*>(Arg.c_str()));
        Argv.push_back(nullptr);
        execv(ACurl.c_str(), Argv.data());
        return false;
    });
}

TRun RunClient(const std::string& ABase, const std::string& APath, int ACount,
               std::size_t AExpectedChars, bool ATlsHandler = false) {
    return BestOf([&] {
        try {
            // The program posts through its TLS-capable handler, which passes http through.
            TIdSSLIOHandlerSocketOpenSSL SSLHandler;
            TIdHTTP HTTP;
            if (ATlsHandler)
                HTTP.SetIOHandler(&SSLHandler);
            const std::u16string URL(ABase.begin(), ABase.end());
            const std::u16string Path(APath.begin(), APath.end());
            for (int I = 0; I < ACount; ++I) {
                const std::u16string Text =
                    HTTP.Post(URL + Path, {u"Command=AccountsList", u"JSON=Yes"});
                if (AExpectedChars != 0 && Text.size() != AExpectedChars)
                    return false;
            }
            return true;
        } catch (const std::exception& E) {
            std::fprintf(stderr, "client failed: %s\n", E.what());
            return false;
        }
    });
}

// The least any client can do for the large answer: receive it into one reused buffer and widen
// every byte into a UTF-16 text reserved in full from the start, its pages faulted in 2 MiB ahead
// of the writing (no decoding, no growth). What this costs beyond curl is the price of writing the
// text into fresh memory.
TRun RunFloor(uint16_t APort, std::size_t AExpectedChars) {
    return BestOf([&] {
        const int Fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in Address{};
        Address.sin_family = AF_INET;
        Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Address.sin_port = htons(APort);
        if (Fd < 0 || connect(Fd, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0)
            return false;
        const std::string Request = "POST /big HTTP/1.0\r\nContent-Length: 29\r\n\r\n"
                                    "Command=AccountsList&JSON=Yes";
        if (!SendAll(Fd, Request.data(), Request.size()))
            return false;
        std::u16string Text;
        Text.reserve(static_cast<std::size_t>(BigBodySize));
        std::vector<char> Buffer(64 * 1024);
        std::string Head;
        bool InBody = false;
        [[maybe_unused]] std::size_t Prefaulted = 0;
        for (;;) {
            const ssize_t N = recv(Fd, Buffer.data(), Buffer.size(), 0);
            if (N <= 0)
                break;
            std::string_view Piece(Buffer.data(), static_cast<std::size_t>(N));
            if (!InBody) {
                Head.append(Piece);
                const std::size_t End = Head.find("\r\n\r\n");
                if (End == std::string::npos)
                    continue;
                InBody = true;
                Piece = std::string_view(Head).substr(End + 4);
            }
            const std::size_t Old = Text.size();
#ifdef MADV_POPULATE_WRITE
            if (Old + Piece.size() > Prefaulted) {
                const std::size_t End =
                    std::min(Text.capacity(), Prefaulted + (std::size_t(1) << 20));
                const auto First = reinterpret_cast<std::uintptr_t>(Text.data() + Prefaulted) &
                                   ~std::uintptr_t(4095);
                const auto Last =
                    reinterpret_cast<std::uintptr_t>(Text.data() + End) & ~std::uintptr_t(4095);
                if (Last > First)
                    madvise(reinterpret_cast<void*>(First), Last - First, MADV_POPULATE_WRITE);
                Prefaulted = End;
            }
#endif
            Text.resize(Old + Piece.size());
            for (std::size_t I = 0; I < Piece.size(); ++I)
                Text[Old + I] = static_cast<unsigned char>(Piece[I]);
        }
        close(Fd);
        // The widened text keeps every byte: the two-byte characters count twice here.
        return Text.size() == AExpectedChars;
    });
}

void Report(const char* AName, const TRun& AOurs, const TRun& ACurl, bool AHaveCurl,
            long long ABodySize) {
    std::printf("%s\n", AName);
    std::printf("  vlcallbench %7.3f s (cpu %7.3f s)%s", AOurs.Seconds, AOurs.CpuSeconds,
                AOurs.Ok ? "" : " FAILED");
    if (AHaveCurl)
        std::printf(" | curl %7.3f s (cpu %7.3f s)%s | ratio %5.2fx (cpu %5.2fx)", ACurl.Seconds,
                    ACurl.CpuSeconds, ACurl.Ok ? "" : " FAILED", AOurs.Seconds / ACurl.Seconds,
                    AOurs.CpuSeconds / ACurl.CpuSeconds);
    std::printf("\n  peak memory %.1f MiB", AOurs.PeakKiB / 1024.0);
    if (ABodySize > 0)
        std::printf(" = %.2fx the body", AOurs.PeakKiB * 1024.0 / static_cast<double>(ABodySize));
    if (AHaveCurl)
        std::printf(" (curl %.1f MiB)", ACurl.PeakKiB / 1024.0);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    const std::string Curl = argc > 1 ? argv[1] : "curl";
    const bool HaveCurl = Curl.find('/') != std::string::npos && access(Curl.c_str(), X_OK) == 0;
    const std::string Only = argc > 2 ? argv[2] : "";
    if (const char* Count = std::getenv("VL_BENCH_RUNS"); Count != nullptr && std::atoi(Count) > 0)
        Runs = std::atoi(Count);
    const auto Wanted = [&Only](const char* ACase) { return Only.empty() || Only == ACase; };

    const TLoopbackListener Listener(false, 64);
    const pid_t Server = fork();
    if (Server == 0) {
        Serve(Listener);
        _exit(0);
    }
    const std::string Base = "http://127.0.0.1:" + std::to_string(Listener.Port());

    std::string ConfigPattern =
        (std::filesystem::temp_directory_path() / "vl_http_bench_XXXXXX").string();
    char* ConfigName = ConfigPattern.data();
    const int ConfigFd = mkstemp(ConfigName);
    if (ConfigFd >= 0) {
        std::string Config = "silent\nhttp1.0\ndata = \"Command=AccountsList&JSON=Yes\"\n";
        for (int I = 0; I < SmallPosts; ++I)
            Config += "url = \"" + Base + "/small\"\noutput = \"/dev/null\"\n";
        if (write(ConfigFd, Config.data(), Config.size()) != static_cast<ssize_t>(Config.size()))
            std::perror("config");
        close(ConfigFd);
    }

    std::printf("HTTP client benchmark on loopback (%s), best of %d runs\n",
                HaveCurl ? Curl.c_str() : "no curl", Runs);
    const std::size_t BigChars = static_cast<std::size_t>(BigBodySize) - (BigBodySize / 64) * 2;

    TRun Ours;
    TRun Theirs;
    if (Wanted("small") || Wanted("tls"))
        Theirs = HaveCurl ? RunCurl(Curl, {"-K", ConfigName}) : TRun{};
    if (Wanted("small")) {
        Ours = RunClient(Base, "/small", SmallPosts, 15);
        Report("1000 small POSTs", Ours, Theirs, HaveCurl, 0);
    }
    if (Wanted("tls")) {
        Ours = RunClient(Base, "/small", SmallPosts, 15, true);
        Report("1000 small POSTs, TLS handler passing through", Ours, Theirs, HaveCurl, 0);
    }
    if (Wanted("length")) {
        Ours = RunClient(Base, "/big", 1, BigChars);
        Theirs = HaveCurl ? RunCurl(Curl, {"-s", "-0", "-o", "/dev/null", "-d",
                                           "Command=AccountsList&JSON=Yes", Base + "/big"})
                          : TRun{};
        Report("100 MB, Content-Length", Ours, Theirs, HaveCurl, BigBodySize);
        const TRun Floor = RunFloor(Listener.Port(), static_cast<std::size_t>(BigBodySize));
        std::printf("  floor (receive, widen into a fresh text) %7.3f s (cpu %7.3f s)%s",
                    Floor.Seconds, Floor.CpuSeconds, Floor.Ok ? "" : " FAILED");
        if (HaveCurl)
            std::printf(" = %.2fx curl", Floor.Seconds / Theirs.Seconds);
        std::printf(", peak memory %.1f MiB\n", Floor.PeakKiB / 1024.0);
    }
    if (Wanted("chunked")) {
        Ours = RunClient(Base, "/chunked", 1, BigChars);
        Theirs = HaveCurl ? RunCurl(Curl, {"-s", "-o", "/dev/null", "-d",
                                           "Command=AccountsList&JSON=Yes", Base + "/chunked"})
                          : TRun{};
        Report("100 MB, chunked", Ours, Theirs, HaveCurl, BigBodySize);
    }

    unlink(ConfigName);
    kill(Server, SIGTERM);
    waitpid(Server, nullptr, 0);
    return 0;
}
