#include "IdBuffer.h"
#include "IdConnectThread.h"
#include "IdException.h"
#include "IdIOHandlerStack.h"
#include "IdStackPosix.h"
#include "IdStream.h"
#include "IdTCPClient.h"
#include "ScriptedServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr auto Bound = std::chrono::seconds(10);

int FailingResolver(const char*, const char*, const addrinfo*, addrinfo**) {
    return EAI_NONAME;
}

// A resolver that hangs until released, like one waiting for a silent name server.
std::mutex HangLock;
std::condition_variable HangChanged;
bool HangReleased = false;
int HangsStarted = 0;
int HangsEnded = 0;

int HangingResolver(const char*, const char*, const addrinfo*, addrinfo**) {
    std::unique_lock Guard(HangLock);
    ++HangsStarted;
    HangChanged.notify_all();
    HangChanged.wait_for(Guard, Bound, [] { return HangReleased; });
    ++HangsEnded;
    HangChanged.notify_all();
    return EAI_AGAIN;
}

// A client with its own plain handler and a read time-out, so no test can hang.
struct TClient {
    TIdIOHandlerStack Handler;
    TIdTCPClientCustom Connection;

    TClient(const std::string& AHost, uint16_t APort) {
        Connection.SetIOHandler(&Handler);
        Connection.Host = AHost;
        Connection.Port = APort;
        Connection.ReadTimeout = 10000;
    }
    explicit TClient(const TScriptedServer& AServer) : TClient(AServer.Address(), AServer.Port()) {
        Connection.IPVersion = AServer.Address() == "::1" ? Id_IPv6 : Id_IPv4;
    }
};

template <class TException, class F> std::string MessageOf(F&& AAction) {
    try {
        AAction();
    } catch (const TException& E) {
        return E.what();
    }
    return "no exception";
}

// A listener whose accept queue is full, so further connects get no answer to their SYN.
class TStalledListener {
public:
    TStalledListener() {
        sockaddr_in Address{};
        Address.sin_family = AF_INET;
        Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Address.sin_port = htons(FListener.Port());
        const socklen_t Length = sizeof Address;
        for (int& Filler : FFillers) {
            Filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            // A filler that could not even start its connect would leave room in the queue.
            if (connect(Filler, reinterpret_cast<sockaddr*>(&Address), Length) != 0 &&
                errno != EINPROGRESS) {
                throw std::runtime_error("could not fill the accept queue");
            }
        }
    }
    ~TStalledListener() {
        for (const int Filler : FFillers) {
            close(Filler);
        }
    }
    uint16_t Port() const { return FListener.Port(); }

private:
    TLoopbackListener FListener{false, 0};
    int FFillers[4] = {-1, -1, -1, -1};
};

} // namespace

TEST(Connect, RefusedConnectNamesTheSocketError) {
    TRefusingPort Refusing;
    TClient Client("127.0.0.1", Refusing.Port());
    try {
        Client.Connection.Connect();
        FAIL();
    } catch (const EIdSocketError& E) {
        EXPECT_EQ(E.LastError, 10061);
        EXPECT_STREQ(E.what(), "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_FALSE(Client.Handler.Opened()) << "a failed connect closes the handler";
    EXPECT_FALSE(Client.Connection.Connected());
}

TEST(Connect, MissingHostOrPortAndDoubleConnect) {
    TClient NoPort("127.0.0.1", 0);
    EXPECT_EQ(MessageOf<EIdPortRequired>([&] { NoPort.Connection.Connect(); }),
              "A Port is required");
    TClient NoHost("", 80);
    EXPECT_EQ(MessageOf<EIdHostRequired>([&] { NoHost.Connection.Connect(); }),
              "A Host is required");

    TScriptedServer Server(TServerScript().Hold());
    TClient Client(Server);
    Client.Connection.Connect();
    EXPECT_EQ(MessageOf<EIdAlreadyConnected>([&] { Client.Connection.Connect(); }),
              "Already connected.");
    Server.Release();
}

TEST(Connect, UnresolvableHostIsHostNotFound) {
    TIdStackPosix::SetResolver(FailingResolver);
    TClient Client("no-such-host.invalid", 80);
    const std::string Message = MessageOf<EIdSocketError>([&] { Client.Connection.Connect(); });
    TIdStackPosix::SetResolver(nullptr);
    EXPECT_EQ(Message, "Socket Error # 11001\r\nHost not found.");
    EXPECT_FALSE(Client.Handler.Opened());
}

TEST(Connect, LocalhostInAnyCaseWithoutResolver) {
    TIdStackPosix::SetResolver(FailingResolver);
    for (const char* Host : {"localhost", "LOCALHOST", "LocalHost"}) {
        TScriptedServer Server(TServerScript().Send("hi\r\n"));
        TClient Client(Host, Server.Port());
        ASSERT_NO_THROW(Client.Connection.Connect()) << Host;
        EXPECT_EQ(Client.Handler.Binding()->PeerIP, "127.0.0.1");
        EXPECT_EQ(Client.Handler.Binding()->PeerPort, Server.Port());
        EXPECT_EQ(Client.Handler.ReadLn(), "hi");
    }
    TIdStackPosix::SetResolver(nullptr);
}

TEST(Connect, BracketedIPv6LiteralUsesIPv6) {
    std::unique_ptr<TScriptedServer> Server;
    try {
        Server = std::make_unique<TScriptedServer>(TServerScript().Send("six\n"), true);
    } catch (const std::exception&) {
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    }
    TClient Client("::1", Server->Port());
    Client.Connection.IPVersion = Id_IPv6;
    Client.Connection.Connect();
    EXPECT_EQ(Client.Handler.Binding()->IPVersion(), Id_IPv6);
    EXPECT_EQ(Client.Handler.Binding()->PeerIP, "0:0:0:0:0:0:0:1");
    EXPECT_EQ(Client.Handler.ReadLn(), "six");
}

TEST(Connect, TimesOutWhenALimitIsSet) {
    TStalledListener Stalled;
    TClient Client("127.0.0.1", Stalled.Port());
    Client.Connection.ConnectTimeout = 200;
    EXPECT_EQ(MessageOf<EIdConnectTimeout>([&] { Client.Connection.Connect(); }),
              "Connect timed out.");
    EXPECT_FALSE(Client.Handler.Opened());
    EXPECT_FALSE(Client.Handler.Binding()->HandleAllocated());
}

TEST(Connect, WithALimitStillReportsRefusal) {
    TRefusingPort Refusing;
    TClient Client("127.0.0.1", Refusing.Port());
    Client.Connection.ConnectTimeout = 5000;
    EXPECT_EQ(MessageOf<EIdSocketError>([&] { Client.Connection.Connect(); }),
              "Socket Error # 10061\r\nConnection refused.");
}

TEST(Reading, ReplyThenImmediateCloseStaysReadable) {
    TScriptedServer Server(TServerScript().Send("one\r\ntwo\nrest").Close());
    TClient Client(Server);
    Client.Connection.Connect();
    ASSERT_TRUE(Server.WaitForScriptsDone());
    EXPECT_EQ(Client.Handler.ReadLn(), "one");
    EXPECT_TRUE(Client.Connection.Connected()) << "bytes are still buffered";
    EXPECT_EQ(Client.Handler.ReadLn(), "two");
    // The unterminated last line is not returned.
    EXPECT_EQ(MessageOf<EIdConnClosedGracefully>([&] { Client.Handler.ReadLn(); }),
              "Connection Closed Gracefully.");
    TIdBytes Rest;
    Client.Handler.ReadBytes(Rest, 4);
    EXPECT_EQ(std::string(Rest.begin(), Rest.end()), "rest");
    EXPECT_FALSE(Client.Connection.Connected());
    EXPECT_THROW(Client.Handler.ReadBytes(Rest, 1), EIdConnClosedGracefully);
}

TEST(Reading, LineLengthLimit) {
    const std::string Exact(16384, 'x');
    const std::string Over(16385, 'y');
    struct TCase {
        std::string Sent;
        TIdMaxLineAction Action;
        bool Fails;
        size_t Length;
    } Cases[] = {
        {Exact + "\n", maException, false, 16384},
        {Exact + "\r\n", maException, true, 0}, // the CR counts towards the limit
        {Over + "\n", maException, true, 0},
        {Over + "zz", maException, true, 0}, // unterminated and already too long
        {Over + "\n", maSplit, false, 16384},
    };
    for (const auto& Case : Cases) {
        TScriptedServer Server(TServerScript().Send(Case.Sent).Hold());
        TClient Client(Server);
        Client.Handler.MaxLineAction = Case.Action;
        Client.Connection.Connect();
        if (Case.Fails) {
            EXPECT_EQ(MessageOf<EIdReadLnMaxLineLengthExceeded>([&] { Client.Handler.ReadLn(); }),
                      "Max line length exceeded.");
        } else {
            EXPECT_EQ(Client.Handler.ReadLn().size(), Case.Length);
            EXPECT_EQ(Client.Handler.ReadLnSplit(), Case.Action == maSplit);
        }
        Server.Release();
    }
}

TEST(Reading, LineEndsAndEncoding) {
    TScriptedServer Server(TServerScript()
                               .Send("a\rb\r\n\r\n\nplain\n\xC3\xA9t\xE9\n"
                                     "x--y--z")
                               .Close());
    TClient Client(Server);
    Client.Connection.Connect();
    EXPECT_EQ(Client.Handler.ReadLn(), "a\rb") << "a lone CR stays in the line";
    EXPECT_EQ(Client.Handler.ReadLn(), "");
    EXPECT_EQ(Client.Handler.ReadLn(), "");
    EXPECT_EQ(Client.Handler.ReadLn(), "plain");
    EXPECT_EQ(Client.Handler.ReadLn(), "\xEF\xBF\xBD\xEF\xBF\xBDt\xEF\xBF\xBD")
        << "bytes above 127 read as U+FFFD by default";
    EXPECT_EQ(Client.Handler.ReadLn("--"), "x");
    EXPECT_EQ(Client.Handler.ReadLn("--"), "y");
}

TEST(Reading, TerminatorSplitAcrossReceives) {
    TScriptedServer Server(TServerScript().Send("abc\r").ReadUntil("more").Send("\ndef\n"));
    TClient Client(Server);
    Client.Connection.Connect();
    ASSERT_TRUE(Client.Handler.CheckForDataOnSource(5000));
    Client.Handler.Write(std::string_view("more"));
    EXPECT_EQ(Client.Handler.ReadLn("\r\n"), "abc");
    EXPECT_EQ(Client.Handler.ReadLn(), "def");
}

TEST(Reading, ResetWhileWaitingIsConnectionReset) {
    TScriptedServer Server(TServerScript().ReadUntil("go").Reset());
    TClient Client(Server);
    Client.Connection.Connect();
    Client.Handler.Write(std::string_view("go"));
    try {
        Client.Handler.ReadLn();
        FAIL();
    } catch (const EIdSocketError& E) {
        EXPECT_EQ(E.LastError, 10054);
        EXPECT_STREQ(E.what(), "Socket Error # 10054\r\nConnection reset by peer.");
    }
    EXPECT_FALSE(Client.Connection.Connected());
}

TEST(Reading, BytesAsTheyCome) {
    TScriptedServer Server(TServerScript().Send("abc").ReadUntil("!").Close());
    TClient Client(Server);
    Client.Connection.Connect();
    TIdBytes Bytes{'>'};
    Client.Handler.ReadBytes(Bytes, -1, true);
    EXPECT_EQ(std::string(Bytes.begin(), Bytes.end()), ">abc");
    Client.Handler.Write(std::string_view("!"));
    EXPECT_THROW(Client.Handler.ReadBytes(Bytes, -1, false), EIdConnClosedGracefully);
}

TEST(Reading, ReadTimeoutWhenSet) {
    TScriptedServer Server(TServerScript().Hold());
    TClient Client(Server);
    Client.Connection.ReadTimeout = 100;
    Client.Connection.Connect();
    EXPECT_EQ(Client.Handler.ReadLn(), "");
    EXPECT_TRUE(Client.Handler.ReadLnTimedOut());
    TIdBytes Bytes;
    EXPECT_EQ(MessageOf<EIdReadTimeout>([&] { Client.Handler.ReadBytes(Bytes, 1); }),
              "Read timed out.");
    EXPECT_TRUE(Client.Connection.Connected()) << "a time-out leaves the connection open";
    EXPECT_FALSE(Client.Handler.CheckForDataOnSource(10));
    Server.Release();
}

TEST(Reading, StreamGrowsOnlyWithArrivedBytes) {
    TScriptedServer Server(TServerScript().Send("abc").Close());
    TClient Client(Server);
    Client.Connection.Connect();
    TIdMemoryStream Stream;
    // A length claimed by the peer must neither be reserved nor crash.
    EXPECT_THROW(Client.Handler.ReadStream(Stream, 1'000'000'000'000'000), EIdConnClosedGracefully);
    EXPECT_LE(Stream.Size(), 3);
    EXPECT_LT(Stream.Bytes().capacity(), 1u << 20);

    TIdMemoryStream Positioned;
    Positioned.SetPosition(1);
    EXPECT_EQ(MessageOf<EIdException>([&] {
                  Client.Handler.ReadStream(Positioned, std::numeric_limits<int64_t>::max());
              }),
              "Data is too large for stream");
}

TEST(Reading, StreamByCountAndUntilClose) {
    std::string Body;
    for (int I = 0; I < 50000; ++I) {
        Body += static_cast<char>('a' + I % 26);
    }
    TScriptedServer Server(TServerScript().Send(Body).Send("tail").Close());
    TClient Client(Server);
    Client.Connection.Connect();
    TIdMemoryStream Counted;
    Client.Handler.ReadStream(Counted, static_cast<int64_t>(Body.size()));
    EXPECT_EQ(std::string(Counted.Bytes().begin(), Counted.Bytes().end()), Body);
    TIdMemoryStream Rest;
    Client.Handler.ReadStream(Rest, -1, true);
    EXPECT_EQ(std::string(Rest.Bytes().begin(), Rest.Bytes().end()), "tail");
}

TEST(Writing, BufferedWritesArriveExactly) {
    TScriptedServer Server(TServerScript().ReadUntil("END").Send("ok\n"));
    TClient Client(Server);
    Client.Connection.Connect();
    Client.Handler.WriteBufferOpen();
    Client.Handler.WriteLn("POST / x\xC3\xA9");
    Client.Handler.Write(std::string_view(""));
    TIdMemoryStream Body(std::vector<uint8_t>(70000, 'b'));
    Client.Handler.Write(Body);
    Client.Handler.Write(std::string_view("END"));
    Client.Handler.WriteBufferClose();
    EXPECT_EQ(Client.Handler.ReadLn(), "ok");
    EXPECT_EQ(Server.Received(), "POST / x?\r\n" + std::string(70000, 'b') + "END")
        << "characters above 127 go out as ?";
}

TEST(Writing, ThresholdFlushesInBlocks) {
    TScriptedServer Server(TServerScript().ReadBytes(10).Send("ok\n"));
    TClient Client(Server);
    Client.Connection.Connect();
    Client.Handler.WriteBufferOpen(4);
    Client.Handler.Write(std::string_view("0123456789"));
    ASSERT_TRUE(Server.WaitForReceived(0, "01234567"));
    Client.Handler.WriteBufferCancel();
    EXPECT_EQ(Server.Received(), "01234567") << "the two bytes below the threshold were dropped";
}

TEST(Writing, StreamShorterThanPromisedIsNoDataToRead) {
    TScriptedServer Server(TServerScript().ReadUntilClosed());
    TClient Client(Server);
    Client.Connection.Connect();
    TIdMemoryStream Short(std::vector<uint8_t>{'a', 'b', 'c'});
    Short.SetPosition(1);
    Client.Handler.Write(Short, -1); // from the position to the end
    Short.SetPosition(0);
    EXPECT_EQ(MessageOf<EIdNoDataToRead>([&] { Client.Handler.Write(Short, 10); }),
              "No data to read.");
    Client.Connection.Disconnect();
    ASSERT_TRUE(Server.WaitForScriptsDone());
    EXPECT_EQ(Server.Received(), "bcabc");
}

TEST(Writing, WriteAfterCloseNoticedFailsBeforeSending) {
    TScriptedServer Server(TServerScript().Send("a\nb\n").Close());
    TClient Client(Server);
    Client.Connection.Connect();
    while (!Client.Handler.ClosedGracefully()) {
        ASSERT_NE(Client.Handler.FillInputBuffer(false, 5000, false), -1);
    }
    EXPECT_FALSE(Client.Handler.InputBufferIsEmpty());
    EXPECT_EQ(
        MessageOf<EIdConnClosedGracefully>([&] { Client.Handler.Write(std::string_view("x")); }),
        "Connection Closed Gracefully.")
        << "buffered input does not keep a closed connection writable";
    EXPECT_EQ(Client.Handler.ReadLn(), "a");
    EXPECT_EQ(Client.Handler.ReadLn(), "b");
}

TEST(Disconnect, LeftoverBytesDoNotBlockTheNextConnect) {
    TScriptedServer Server(std::vector<TServerScript>{TServerScript().Send("line\nextra").Close(),
                                                      TServerScript().Send("second\n")});
    TClient Client(Server);
    Client.Connection.Connect();
    EXPECT_EQ(Client.Handler.ReadLn(), "line");
    EXPECT_THROW(Client.Handler.ReadLn(), EIdConnClosedGracefully);
    Client.Connection.Disconnect();
    EXPECT_NO_THROW(Client.Connection.Connect());
    EXPECT_EQ(Client.Handler.ReadLn(), "second");
    Client.Connection.Disconnect();
    EXPECT_FALSE(Client.Connection.Connected());
    Client.Connection.Disconnect(); // a second disconnect does nothing
}

TEST(Disconnect, GracefulCheckWithoutHandler) {
    TIdTCPClientCustom Connection;
    EXPECT_EQ(MessageOf<EIdNotConnected>([&] { Connection.CheckForGracefulDisconnect(true); }),
              "Not Connected");
    EXPECT_NO_THROW(Connection.CheckForGracefulDisconnect(false));
    EXPECT_FALSE(Connection.Connected());
}

TEST(Disconnect, OwnHandlerWhenNoneIsSet) {
    TScriptedServer Server(TServerScript().Send("own\n"));
    TIdTCPClientCustom Connection;
    Connection.Host = "127.0.0.1";
    Connection.Port = Server.Port();
    Connection.ReadTimeout = 10000;
    Connection.Connect();
    ASSERT_NE(Connection.IOHandler(), nullptr);
    EXPECT_EQ(Connection.IOHandler()->ReadLn(), "own");
}

TEST(Abort, EndsABlockedReadPromptly) {
    TScriptedServer Server(TServerScript().Hold());
    TClient Client(Server);
    Client.Connection.ReadTimeout = -1;
    Client.Connection.Connect();
    auto Reader = std::async(std::launch::async, [&] {
        return MessageOf<EIdOperationAborted>([&] { Client.Handler.ReadLn(); });
    });
    Client.Connection.Abort();
    ASSERT_EQ(Reader.wait_for(Bound), std::future_status::ready);
    EXPECT_EQ(Reader.get(), "Operation aborted.");
    EXPECT_THROW(Client.Handler.Write(std::string_view("x")), EIdOperationAborted)
        << "later operations fail too";
    Client.Connection.Disconnect();
    EXPECT_THROW(Client.Connection.Connect(), EIdOperationAborted);
    Client.Handler.ClearAbort();
    Server.Release();
}

TEST(Abort, EndsABlockedConnectPromptly) {
    TStalledListener Stalled;
    TClient Client("127.0.0.1", Stalled.Port());
    auto Connector = std::async(std::launch::async, [&] {
        return MessageOf<EIdOperationAborted>([&] { Client.Connection.Connect(); });
    });
    Client.Connection.Abort();
    ASSERT_EQ(Connector.wait_for(Bound), std::future_status::ready);
    EXPECT_EQ(Connector.get(), "Operation aborted.");
    EXPECT_FALSE(Client.Handler.Opened());
}

TEST(Abort, EndsASlowResolutionPromptly) {
    TIdStackPosix::SetResolver(HangingResolver);
    TClient Client("slow.example", 80);
    auto Connector = std::async(std::launch::async, [&] {
        return MessageOf<EIdOperationAborted>([&] { Client.Connection.Connect(); });
    });
    {
        std::unique_lock Guard(HangLock);
        ASSERT_TRUE(HangChanged.wait_for(Guard, Bound, [] { return HangsStarted > 0; }));
    }
    Client.Connection.Abort();
    const bool Ended = Connector.wait_for(Bound) == std::future_status::ready;
    {
        std::unique_lock Guard(HangLock);
        HangReleased = true;
        HangChanged.notify_all();
        HangChanged.wait_for(Guard, Bound, [] { return HangsEnded > 0; });
    }
    TIdStackPosix::SetResolver(nullptr);
    ASSERT_TRUE(Ended);
    EXPECT_EQ(Connector.get(), "Operation aborted.");
}

TEST(Abort, EndsABlockedSendPromptly) {
    TScriptedServer Server(TServerScript().Hold());
    TClient Client(Server);
    Client.Connection.Connect();
    auto Writer = std::async(std::launch::async, [&] {
        const std::vector<uint8_t> Block(1 << 20, 'w');
        return MessageOf<EIdOperationAborted>([&] {
            for (;;) {
                Client.Handler.Write(Block); // the silent peer lets the socket fill up
            }
        });
    });
    Client.Connection.Abort();
    ASSERT_EQ(Writer.wait_for(Bound), std::future_status::ready);
    EXPECT_EQ(Writer.get(), "Operation aborted.");
    Server.Release();
}

TEST(Abort, RacesWithCloseSafely) {
    TScriptedServer Server(TServerScript().Hold());
    for (int Round = 0; Round < 20; ++Round) {
        TClient Client(Server);
        Client.Connection.Connect();
        auto Aborter = std::async(std::launch::async, [&] { Client.Connection.Abort(); });
        Client.Connection.Disconnect();
        Aborter.get();
        Client.Handler.ClearAbort();
    }
    Server.Release();
}

// ---------------------------------------------------------------------------------------------
// Descriptors: a program started while a call runs (a browser, a helper) inherits none of the
// call's pipes.

namespace {

// The pipes this process holds.
std::set<int> OpenPipes() {
    std::set<int> Pipes;
    for (const auto& Entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code Error;
        const std::filesystem::path Target = std::filesystem::read_symlink(Entry.path(), Error);
        if (!Error && Target.native().starts_with("pipe:"))
            Pipes.insert(std::stoi(Entry.path().filename().native()));
    }
    return Pipes;
}

// The pipes opened since ABefore.
std::vector<int> PipesSince(const std::set<int>& ABefore) {
    std::vector<int> New;
    for (const int Fd : OpenPipes())
        if (!ABefore.contains(Fd))
            New.push_back(Fd);
    return New;
}

bool CloseOnExec(int AFd) {
    const int Flags = fcntl(AFd, F_GETFD);
    return Flags >= 0 && (Flags & FD_CLOEXEC) != 0;
}

} // namespace

TEST(Descriptors, LookupAndWakePipesAreCloseOnExecAndTheLookupPipeEndsWithTheLookup) {
    {
        const std::lock_guard Guard(HangLock);
        HangReleased = false;
        HangsStarted = 0;
        HangsEnded = 0;
    }
    const std::set<int> Before = OpenPipes();
    TIdStackPosix::SetResolver(HangingResolver);
    {
        TClient Client("slow.example", 80);
        auto Connector = std::async(std::launch::async, [&] {
            return MessageOf<EIdSocketError>([&] { Client.Connection.Connect(); });
        });
        // Looked at while the lookup still hangs, so that its pipe is certainly open.
        std::vector<int> During;
        std::vector<int> Inherited;
        {
            std::unique_lock Guard(HangLock);
            if (HangChanged.wait_for(Guard, Bound, [] { return HangsStarted > 0; }))
                During = PipesSince(Before);
            for (const int Fd : During)
                if (!CloseOnExec(Fd))
                    Inherited.push_back(Fd);
            HangReleased = true;
            HangChanged.notify_all();
        }
        ASSERT_EQ(Connector.wait_for(Bound), std::future_status::ready);
        TIdStackPosix::SetResolver(nullptr);
        EXPECT_EQ(Connector.get(), "Socket Error # 11002\r\n");
        // The handler's wake pipe and the lookup's.
        EXPECT_EQ(During.size(), 4u);
        EXPECT_EQ(Inherited, std::vector<int>()) << "pipes a started program would inherit";

        // The lookup thread lets go of its pipe just after it hands over the outcome, with
        // nothing left to wait on: look until it is gone, within the bound.
        const auto Deadline = std::chrono::steady_clock::now() + Bound;
        while (PipesSince(Before).size() > 2 && std::chrono::steady_clock::now() < Deadline)
            std::this_thread::yield();
        EXPECT_EQ(PipesSince(Before).size(), 2u) << "only the handler's wake pipe is left";
    }
    EXPECT_EQ(PipesSince(Before), std::vector<int>());
}

TEST(Descriptors, ConnectThreadStopPipeIsCloseOnExec) {
    const std::set<int> Before = OpenPipes();
    {
        std::promise<std::vector<int>> Seen;
        TIdConnectThread Thread([&](int AStopFd) {
            Seen.set_value(PipesSince(Before));
            pollfd Stop{AStopFd, POLLIN, 0};
            poll(&Stop, 1, static_cast<int>(std::chrono::milliseconds(Bound).count()));
        });
        auto Pipes = Seen.get_future();
        ASSERT_EQ(Pipes.wait_for(Bound), std::future_status::ready);
        Thread.Stop();
        const std::vector<int> During = Pipes.get();
        EXPECT_EQ(During.size(), 2u);
        for (const int Fd : During)
            EXPECT_TRUE(CloseOnExec(Fd)) << "pipe " << Fd;
    }
    EXPECT_EQ(PipesSince(Before), std::vector<int>());
}

TEST(Buffer, QueueOperations) {
    TIdBuffer Buffer;
    Buffer.Write(std::string_view("hello\r\nworld"));
    const uint8_t CRLF[] = {'\r', '\n'};
    EXPECT_EQ(Buffer.IndexOf(CRLF), 5);
    EXPECT_EQ(Buffer.IndexOf(CRLF, 6), -1);
    EXPECT_EQ(Buffer.Extract(7), (TIdBytes{'h', 'e', 'l', 'l', 'o', '\r', '\n'}));
    auto Room = Buffer.PrepareWrite(4);
    Room[0] = '!';
    Buffer.CommitWrite(1);
    EXPECT_EQ(Buffer.Size(), 6u);
    TIdBytes Out{'>'};
    Buffer.ExtractToBytes(Out, 100, true);
    EXPECT_EQ(std::string(Out.begin(), Out.end()), ">world!");
    EXPECT_TRUE(Buffer.Empty());
    // Many small writes and takes keep the contents intact across internal moves.
    std::string Expected;
    std::string Taken;
    for (int I = 0; I < 100000; ++I) {
        const std::string Piece = std::to_string(I) + ",";
        Buffer.Write(std::string_view(Piece));
        Expected += Piece;
        if (I % 3 == 0) {
            const TIdBytes Front = Buffer.Extract(Buffer.Size() / 2 + 1);
            Taken.append(Front.begin(), Front.end());
        }
    }
    const TIdBytes Rest = Buffer.Extract(Buffer.Size());
    Taken.append(Rest.begin(), Rest.end());
    EXPECT_EQ(Taken, Expected);
}
