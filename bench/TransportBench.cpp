// Transport throughput and line reading; Google Benchmark's flags apply.
#include "IdIOHandler.h"
#include "IdIOHandlerStack.h"
#include "IdStream.h"
#include "IdTCPClient.h"
#include "LoopbackListener.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t BlockBytes = 1 << 20;
constexpr int64_t StreamBytes = 200 * BlockBytes;

// A loopback server that sends AContent ARepeat times to the first client and closes.
class TSender {
public:
    TSender(std::string AContent, int64_t ARepeat) {
        FThread = std::thread([this, Content = std::move(AContent), ARepeat] {
            const int Client = FListener.Accept();
            if (Client < 0) {
                return;
            }
            for (int64_t Round = 0; Round < ARepeat; ++Round) {
                for (size_t Sent = 0; Sent < Content.size();) {
                    const ssize_t Count =
                        send(Client, Content.data() + Sent, Content.size() - Sent, MSG_NOSIGNAL);
                    if (Count <= 0) {
                        close(Client);
                        return;
                    }
                    Sent += static_cast<size_t>(Count);
                }
            }
            close(Client);
        });
    }
    ~TSender() { FThread.join(); }
    uint16_t Port() const { return FListener.Port(); }

private:
    TLoopbackListener FListener{false, 1};
    std::thread FThread;
};

// Counts what is written and keeps nothing.
class TCountingStream : public TIdStream {
public:
    int64_t Size() const override { return FPosition; }
    void SetSize(int64_t) override {}
    int64_t Position() const override { return FPosition; }
    void SetPosition(int64_t APosition) override { FPosition = APosition; }
    size_t Read(std::span<uint8_t>) override { return 0; }
    void Write(std::span<const uint8_t> ABytes) override {
        benchmark::DoNotOptimize(ABytes.data());
        FPosition += static_cast<int64_t>(ABytes.size());
    }

private:
    int64_t FPosition = 0;
};

// 200 MB through InputBuffer in RecvBufferSize (32 KiB) receives.
void BM_StreamThroughInputBuffer(benchmark::State& AState) {
    for (auto _ : AState) { // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        TSender Sender(std::string(BlockBytes, 'x'), StreamBytes / BlockBytes);
        TIdIOHandlerStack Handler;
        TIdTCPClientCustom Client;
        Client.SetIOHandler(&Handler);
        Client.Host = "127.0.0.1";
        Client.Port = Sender.Port();
        Client.Connect();
        TCountingStream Sink;
        Handler.ReadStream(Sink, -1, true);
        if (Sink.Size() != StreamBytes) {
            AState.SkipWithError("short stream");
        }
    }
    AState.SetBytesProcessed(AState.iterations() * StreamBytes);
}
BENCHMARK(BM_StreamThroughInputBuffer)->Unit(benchmark::kMillisecond)->UseRealTime();

// A handler whose receives copy from memory: InputBuffer's own cost without the kernel's.
class TMemoryHandler : public TIdIOHandler {
public:
    explicit TMemoryHandler(int64_t ABytes) : FLeft(ABytes), FBlock(32768, 'x') {}
    bool Readable(int32_t) override { return true; }

protected:
    bool SocketAvailable() override { return FLive; }
    int ReceiveChunk(std::span<uint8_t> ABuffer) override {
        const size_t Count = static_cast<size_t>(std::min<int64_t>(FLeft, ABuffer.size()));
        std::memcpy(ABuffer.data(), FBlock.data(), std::min(Count, FBlock.size()));
        FLeft -= static_cast<int64_t>(Count);
        return static_cast<int>(Count);
    }
    int SendChunk(std::span<const uint8_t> ABytes) override {
        return static_cast<int>(ABytes.size());
    }
    void Close() override {
        FLive = false;
        TIdIOHandler::Close();
    }

private:
    int64_t FLeft;
    bool FLive = true;
    std::vector<uint8_t> FBlock;
};

void BM_StreamThroughInputBufferInMemory(benchmark::State& AState) {
    for (auto _ : AState) { // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        TMemoryHandler Handler(StreamBytes);
        Handler.Open();
        TCountingStream Sink;
        Handler.ReadStream(Sink, -1, true);
        if (Sink.Size() != StreamBytes) {
            AState.SkipWithError("short stream");
        }
    }
    AState.SetBytesProcessed(AState.iterations() * StreamBytes);
}
BENCHMARK(BM_StreamThroughInputBufferInMemory)->Unit(benchmark::kMillisecond);

// The same bytes with bare recv calls of 32 KiB: the floor the transport is measured against.
void BM_StreamBareRecv(benchmark::State& AState) {
    std::vector<char> Buffer(32768);
    for (auto _ : AState) { // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        TSender Sender(std::string(BlockBytes, 'x'), StreamBytes / BlockBytes);
        const int Fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in Address{};
        Address.sin_family = AF_INET;
        Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Address.sin_port = htons(Sender.Port());
        if (connect(Fd, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0) {
            close(Fd);
            AState.SkipWithError("connect failed");
            break;
        }
        int64_t Total = 0;
        for (ssize_t Got; (Got = recv(Fd, Buffer.data(), Buffer.size(), 0)) > 0;) {
            Total += Got;
        }
        close(Fd);
        if (Total != StreamBytes) {
            AState.SkipWithError("short stream");
        }
    }
    AState.SetBytesProcessed(AState.iterations() * StreamBytes);
}
BENCHMARK(BM_StreamBareRecv)->Unit(benchmark::kMillisecond)->UseRealTime();

// Plain memory copy of 200 MB in 32 KiB blocks, for the order of magnitude.
void BM_Memcpy(benchmark::State& AState) {
    std::vector<char> Source(32768, 'x');
    std::vector<char> Target(StreamBytes);
    for (auto _ : AState) { // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        for (int64_t At = 0; At + 32768 <= StreamBytes; At += 32768) {
            std::memcpy(Target.data() + At, Source.data(), 32768);
        }
        benchmark::ClobberMemory();
    }
    AState.SetBytesProcessed(AState.iterations() * StreamBytes);
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

// ReadLn over N short lines that are all buffered: the cost must grow linearly with N.
void BM_ReadLnBuffered(benchmark::State& AState) {
    const auto Lines = static_cast<int>(AState.range(0));
    std::string Text;
    for (int I = 0; I < Lines; ++I) {
        Text += "line " + std::to_string(I) + "\r\n";
    }
    TIdIOHandlerStack Handler;
    for (auto _ : AState) { // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        AState.PauseTiming();
        Handler.InputBuffer().Clear();
        Handler.InputBuffer().Write(std::string_view(Text));
        AState.ResumeTiming();
        for (int I = 0; I < Lines; ++I) {
            benchmark::DoNotOptimize(Handler.ReadLn());
        }
    }
    AState.SetComplexityN(Lines);
    AState.SetItemsProcessed(AState.iterations() * Lines);
}
BENCHMARK(BM_ReadLnBuffered)
    ->RangeMultiplier(4)
    ->Range(1 << 12, 1 << 18)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// ReadLn over 100000 short lines arriving over a socket.
void BM_ReadLnOverSocket(benchmark::State& AState) {
    constexpr int Lines = 100000;
    for (auto _ : AState) { // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
        std::string Text;
        for (int I = 0; I < Lines; ++I) {
            Text += "a short line\r\n";
        }
        TSender Sender(std::move(Text), 1);
        TIdIOHandlerStack Handler;
        TIdTCPClientCustom Client;
        Client.SetIOHandler(&Handler);
        Client.Host = "127.0.0.1";
        Client.Port = Sender.Port();
        Client.Connect();
        for (int I = 0; I < Lines; ++I) {
            benchmark::DoNotOptimize(Handler.ReadLn());
        }
    }
    AState.SetItemsProcessed(AState.iterations() * Lines);
}
BENCHMARK(BM_ReadLnOverSocket)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
