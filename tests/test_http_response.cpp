// The HTTP client's answer side through a connection: body framing, the decision by status code,
// keeping the connection, cookies between calls, time-outs and failures at any moment.

#include "IdCookies.h"
#include "IdHTTP.h"
#include "IdHTTPResponse.h"
#include "IdHTTPText.h"
#include "IdText.h"
#include "MemoryPost.h"
#include "ScriptedServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <poll.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Whole answers, through a connection in memory that hands them out in pieces of a chosen size.

namespace {

using TEnd = TMemoryIOHandler::TEnd;

struct TAnswerCase {
    const char* Name;
    std::string Reply;
    TEnd End = TEnd::Close;
    std::u16string Text;    // expected result when Error is empty
    std::string Error = ""; // expected message of the failure
};

std::string Repeat(char AChar, std::size_t ACount) {
    return std::string(ACount, AChar);
}

// ACount header lines "X-<n>: " with 16000 bytes of AFill each, every one within the line limit.
std::string HeaderLines(int ACount, char AFill) {
    std::string Lines;
    for (int I = 0; I < ACount; ++I)
        Lines += "X-" + std::to_string(I) + ": " + Repeat(AFill, 16000) + "\r\n";
    return Lines;
}

} // namespace

TEST(HttpResponse, BodySizeCountsBodyBytesWithoutFraming) {
    const std::string Ok = "HTTP/1.1 200 OK\r\n";
    const std::pair<std::string, int64_t> Cases[] = {
        {Ok + "Content-Length: 4\r\n\r\nbody", 4},
        {Ok + "Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2;x=y\r\nde\r\n0\r\n\r\n", 5},
        {Ok + "Content-Type: text/plain; charset=utf-8\r\n\r\n\xC3\xB6\xC3\xB6", 4},
        {Ok + "Content-Type: text/plain; charset=windows-1251\r\n\r\n\xE0", 1},
        {"HTTP/1.1 204 No Content\r\n\r\n", 0},
    };
    for (const auto& [Reply, Size] : Cases) {
        TMemoryClient Client({Reply});
        EXPECT_NO_THROW(Client.HTTP.Post(TMemoryClient::URL, {u"Command=AccountsList"})) << Reply;
        EXPECT_EQ(Client.HTTP.Response().BodySize, Size) << Reply;
    }
}

TEST(HttpResponse, AnswerTable) {
    const std::string Ok = "HTTP/1.1 200 OK\r\n";
    const TAnswerCase Cases[] = {
        {"content length 0", Ok + "Content-Length: 0\r\n\r\n", TEnd::Hold, u""},
        {"until close", Ok + "Content-Type: text/plain\r\n\r\nhello\r\nworld", TEnd::Close,
         u"hello\r\nworld"},
        {"chunked with extension",
         Ok + "Transfer-Encoding: chunked\r\n\r\n1a;name=value\r\n" + Repeat('a', 26) +
             "\r\n0\r\nX-Trailer: t\r\n\r\n",
         TEnd::Hold, std::u16string(26, u'a')},
        {"non-hex chunk size ends the body",
         Ok + "Transfer-Encoding: Chunked\r\n\r\n3\r\nabc\r\nzz\r\n\r\nignored", TEnd::Close,
         u"abc"},
        {"100 then 200",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX: y\r\n\r\n" + Ok +
             "Content-Length: 4\r\n\r\nbody",
         TEnd::Close, u"body"},
        {"204", "HTTP/1.1 204 No Content\r\n\r\n", TEnd::Hold, u""},
        {"302 not followed",
         "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/elsewhere\r\nContent-Length: "
         "5\r\n\r\nmoved",
         TEnd::Close, u"", "HTTP/1.1 302 Found"},
        {"404 with a page",
         "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n\r\n<html>" + Repeat('x', 70000) +
             "</html>",
         TEnd::Close, u"", "HTTP/1.1 404 Not Found"},
        {"500 of HTTP/1.0", "HTTP/1.0 500 Internal Server Error\r\n\r\n", TEnd::Close, u"",
         "HTTP/1.0 500 Internal Server Error"},
        {"304 reads no body", "HTTP/1.1 304 Not Modified\r\n\r\n", TEnd::Hold, u"",
         "HTTP/1.1 304 Not Modified"},
        {"401 is an error", "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic\r\n\r\nno",
         TEnd::Close, u"", "HTTP/1.1 401 Unauthorized"},
        {"code that is no number", "HTTP/1.1 abc\r\nContent-Length: 2\r\n\r\nzz", TEnd::Close, u"",
         "HTTP/1.1 abc"},
        {"status line bytes above 127", "HTTP/1.1 500 Fehler \xFC\r\n\r\n", TEnd::Close, u"",
         "HTTP/1.1 500 Fehler \xEF\xBF\xBD"},
        {"close without answer", "", TEnd::Close, u"", "Connection Closed Gracefully."},
        {"close inside the status line", "HTTP/1.1 20", TEnd::Close, u"",
         "Connection Closed Gracefully."},
        {"close inside the headers", Ok + "Content-Type: text/plain\r\nX-Cut", TEnd::Close, u""},
        {"20000-byte header line", Ok + "X-Long: " + Repeat('h', 20000) + "\r\n\r\n", TEnd::Hold,
         u"", "Max line length exceeded."},
        {"16384-byte header line is accepted",
         Ok + "X: " + Repeat('h', 16384 - 4) + "\r\nContent-Length: 1\r\n\r\n!", TEnd::Close, u"!"},
        {"text/plain without charset", Ok + "Content-Type: text/plain\r\n\r\n\xC3\xB6", TEnd::Close,
         u"\u00C3\u00B6"},
        {"text/plain with charset",
         Ok + "Content-Type: text/plain; charset=\"utf-8\"\r\n\r\n\xC3\xB6", TEnd::Close,
         u"\u00F6"},
        {"json with charset", Ok + "Content-Type: application/json; charset=utf-8\r\n\r\n\xC3\xB6",
         TEnd::Close, u"\u00F6"},
        {"json without charset is UTF-8",
         Ok + "Content-Type: application/json\r\n\r\n{\"n\":\"B\xC3\xB6\"}", TEnd::Close,
         u"{\"n\":\"B\u00F6\"}"},
        {"json with a latin charset",
         Ok + "Content-Type: application/json; charset=ISO-8859-1\r\n\r\n\xC3\xB6", TEnd::Close,
         u"\u00C3\u00B6"},
        {"windows-1252",
         Ok + "Content-Type: text/plain; charset=windows-1252\r\n\r\n\x80 \x93q\x94", TEnd::Close,
         u"\u20AC \u201Cq\u201D"},
        {"Shift_JIS", Ok + "Content-Type: text/plain; charset=Shift_JIS\r\n\r\n\x93\xFA\x82\xA0",
         TEnd::Close, u"\u65E5\u3042"},
        {"UTF-16 with its mark",
         Ok + "Content-Type: text/plain; charset=UTF-16\r\nContent-Length: 8\r\n\r\n" +
             std::string("\xFF\xFE"
                         "A\0=\xD8\0\xDE",
                         8),
         TEnd::Hold, u"A\U0001F600"},
        {"unknown charset", Ok + "Content-Type: text/plain; charset=x-nonsense\r\n\r\n\xC3\xB6",
         TEnd::Close, u"\u00C3\u00B6"},
        {"no content type", Ok + "\r\n\xC3\xB6", TEnd::Close, u"\u00C3\u00B6"},
        {"META charset",
         Ok + "Content-Type: text/html\r\n\r\n<html><head><meta charset=\"windows-1251\">"
              "</head>\xE0</html>",
         TEnd::Close, u"<html><head><meta charset=\"windows-1251\"></head>\u0430</html>"},
        {"XML declaration",
         Ok + "Content-Type: application/xml; charset=utf-8\r\n\r\n"
              "<?xml version=\"1.0\" encoding=\"ISO-8859-5\"?><a>\xD0</a>",
         TEnd::Close, u"<?xml version=\"1.0\" encoding=\"ISO-8859-5\"?><a>\u0430</a>"},
        {"multipart without length",
         Ok + "Content-Type: multipart/mixed; boundary=XY\r\n\r\n--XY\r\n\r\npart\r\n--XY--\r\n"
              "epilogue\r\nnot read",
         TEnd::Hold, u"--XY\r\n\r\npart\r\n--XY--\r\nepilogue\r\n"},
        {"content length cut short", Ok + "Content-Length: 100\r\n\r\n" + Repeat('s', 60),
         TEnd::Close, u"", "Connection Closed Gracefully."},
        {"chunked cut short", Ok + "Transfer-Encoding: chunked\r\n\r\n10\r\nonly8byt", TEnd::Close,
         u"", "Connection Closed Gracefully."},
        {"reset inside the body", Ok + "Content-Length: 100\r\n\r\nabc", TEnd::Reset, u"",
         "Socket Error # 10054\r\nConnection reset by peer."},
        // A promised length is not memory to reserve.
        {"content length of 10^15", Ok + "Content-Length: 1000000000000000\r\n\r\nsmall",
         TEnd::Close, u"", "Connection Closed Gracefully."},
        {"chunk size of 10^15", Ok + "Transfer-Encoding: chunked\r\n\r\n38D7EA4C68000\r\nsmall",
         TEnd::Close, u"", "Connection Closed Gracefully."},
        {"chunk size beyond 64 bits",
         Ok + "Transfer-Encoding: chunked\r\n\r\n1FFFFFFFFFFFFFFFFFFFF\r\n\r\n", TEnd::Close, u""},
        {"header section past 1 MiB", Ok + HeaderLines(66, 'h') + "\r\n", TEnd::Hold, u"",
         "Header section too large."},
        {"header section just below 1 MiB",
         Ok + HeaderLines(64, 'h') + "Content-Length: 1\r\n\r\n!", TEnd::Close, u"!"},
        {"trailers count to the header section",
         Ok + "Transfer-Encoding: chunked\r\n\r\n1\r\nA\r\n0\r\n" + HeaderLines(70, 't') + "\r\n",
         TEnd::Hold, u"", "Header section too large."},
        {"chunk size that overflows the body size",
         Ok + "Content-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nA\r\n"
              "7fffffffffffffff\r\n",
         TEnd::Close, u"", "Connection Closed Gracefully."},
        {"a blank before the colon is part of the name", Ok + "Content-Length : 2\r\n\r\nabcd",
         TEnd::Close, u"abcd"},
        {"multipart without boundary ends after ----",
         Ok + "Content-Type: multipart/mixed\r\n\r\npart\r\n----\r\nlast\r\nnot read", TEnd::Hold,
         u"part\r\n----\r\nlast\r\n"},
        {"multipart with empty boundary ends after ----",
         Ok + "Content-Type: multipart/mixed; boundary=\"\"\r\n\r\n----\r\nlast\r\nnot read",
         TEnd::Hold, u"----\r\nlast\r\n"},
        {"NUL in the status line is kept in the message",
         std::string("HTTP/1.1 404 Not\0Found\r\n\r\n", 26), TEnd::Close, u"",
         std::string("HTTP/1.1 404 Not\0Found", 22)},
        {"404 cut short still reports the status",
         "HTTP/1.1 404 Not Found\r\nContent-Length: 100\r\n\r\nshort", TEnd::Close, u"",
         "HTTP/1.1 404 Not Found"},
    };
    // One byte at a time, in pieces that cut through every line and character, and whole.
    for (const std::size_t PieceSize : {std::size_t(1), std::size_t(7), std::size_t(0)}) {
        for (const TAnswerCase& C : Cases) {
            const TMemoryPostOutcome Outcome = PostFromMemory(C.Reply, C.End, PieceSize);
            EXPECT_EQ(Outcome.Failed ? Outcome.Error : "<no failure>",
                      C.Error.empty() ? "<no failure>" : C.Error)
                << C.Name << ", pieces of " << PieceSize;
            EXPECT_EQ(Outcome.Text, C.Text) << C.Name << ", pieces of " << PieceSize;
        }
    }
}

TEST(HttpResponse, AbortEndsALongFoldedHeaderPromptly) {
    // Cancel comes while a folded header of many lines arrives in small pieces: the call ends
    // with the abort at once, and the rest of the block is never read.
    struct TCancellingHandler : TMemoryIOHandler {
        TIdHTTP* HTTP = nullptr;
        int ReceiveChunk(std::span<uint8_t> ABuffer) override {
            if (Receives() == 20)
                HTTP->Abort();
            return TMemoryIOHandler::ReceiveChunk(ABuffer);
        }
    } Handler;
    std::string Reply = "HTTP/1.1 200 OK\r\nX-Folded: first\r\n";
    for (int I = 0; I < 100000; ++I)
        Reply += " more\r\n";
    Reply += "Content-Length: 2\r\n\r\nok";
    Handler.Replies = {Reply};
    Handler.PieceSize = 1024;
    TIdHTTP HTTP;
    Handler.HTTP = &HTTP;
    HTTP.SetIOHandler(&Handler);
    try {
        HTTP.Post(TMemoryClient::URL, {});
        ADD_FAILURE() << "no failure";
    } catch (const EIdOperationAborted& E) {
        EXPECT_STREQ(E.what(), "Operation aborted.");
    }
    EXPECT_EQ(Handler.Receives(), 21);
    EXPECT_FALSE(HTTP.Connected());
    HTTP.SetIOHandler(nullptr);
}

TEST(HttpResponse, RunningOutOfMemoryHasWordsOfItsOwn) {
    // Memory runs out while the answer comes in, wherever that happens.
    struct TStarvedHandler : TMemoryIOHandler {
        int ReceiveChunk(std::span<uint8_t> ABuffer) override {
            if (Receives() > 0)
                throw std::bad_alloc();
            return TMemoryIOHandler::ReceiveChunk(ABuffer);
        }
    } Handler;
    Handler.Replies = {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\npart"};
    TIdHTTP HTTP;
    HTTP.SetIOHandler(&Handler);
    try {
        HTTP.Post(TMemoryClient::URL, {});
        ADD_FAILURE() << "no failure";
    } catch (const EIdException& E) {
        EXPECT_EQ(E.Message(), "Out of memory while reading the answer.");
    }
    EXPECT_FALSE(HTTP.Connected());
    HTTP.SetIOHandler(nullptr);
}

TEST(HttpResponse, ResetByTheServerInsideTheBody) {
    TScriptedServer Server(TServerScript()
                               .ReadRequest()
                               .Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc")
                               .Reset());
    TIdHTTP HTTP;
    HTTP.ReadTimeout = 5000;
    try {
        HTTP.Post(Server.URL(), {});
        FAIL() << "no failure";
    } catch (const EIdSocketError& E) {
        EXPECT_EQ(E.LastError, 10054);
        EXPECT_STREQ(E.what(), "Socket Error # 10054\r\nConnection reset by peer.");
    }
    EXPECT_FALSE(HTTP.Connected());
}

TEST(HttpResponse, FailureAtAnyCallIsReportedNeverHalfAnAnswer) {
    const std::string Reply = "HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n" + Repeat('b', 20);
    for (int Calls = 0;; ++Calls) {
        ASSERT_LT(Calls, 100);
        TMemoryClient Client({Reply});
        Client.Handler.PieceSize = 7;
        Client.Handler.FailAfterCalls = Calls;
        try {
            EXPECT_EQ(Client.HTTP.Post(Client.URL, {u"a=1"}), std::u16string(20, u'b'));
            break; // every send and receive went through
        } catch (const EIdSocketError& E) {
            EXPECT_EQ(E.LastError, 10054) << Calls;
        }
        EXPECT_FALSE(Client.HTTP.Connected()) << Calls;
    }
}

TEST(HttpResponse, RefusedAnswerCarriesCodeAndBody) {
    TMemoryClient Client({"HTTP/1.1 404 Not Found\r\nContent-Type: text/html; charset=utf-8\r\n"
                          "Set-Cookie: seen=1\r\n\r\n<p>B\xC3\xB6</p>"});
    TIdHTTP& HTTP = Client.HTTP;
    try {
        HTTP.Post(Client.URL, {});
        FAIL() << "no failure";
    } catch (const EIdHTTPProtocolException& E) {
        EXPECT_STREQ(E.what(), "HTTP/1.1 404 Not Found");
        EXPECT_EQ(E.ErrorCode, 404);
        EXPECT_EQ(E.ErrorMessage, u"<p>B\u00F6</p>");
    }
    // Cookies of a refused answer are kept.
    ASSERT_EQ(HTTP.CookieManager().Cookies().size(), 1u);
    EXPECT_EQ(HTTP.Response().ResponseCode, 404);
}

// A refusal's body is kept up to a limit and the rest read and dropped (counted, not held),
// however it is framed; the client goes on to the next call as usual.
TEST(HttpResponse, RefusedBodyIsKeptUpToItsLimit) {
    const std::size_t Size = 3 * static_cast<std::size_t>(TIdHTTP::MaxRefusedBody) + 5;
    const std::string Body(Size, 'r');
    std::string Chunked;
    for (std::size_t At = 0; At < Size; At += 100000) {
        const std::size_t Length = std::min<std::size_t>(100000, Size - At);
        char SizeLine[32];
        std::snprintf(SizeLine, sizeof SizeLine, "%zx\r\n", Length);
        Chunked += SizeLine + Body.substr(At, Length) + "\r\n";
    }
    const std::string Next = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    struct TCase {
        const char* Name;
        std::string Reply;
    };
    const TCase Cases[] = {
        {"length", "HTTP/1.1 500 Oops\r\nConnection: keep-alive\r\nContent-Length: " +
                       std::to_string(Size) + "\r\n\r\n" + Body},
        {"chunked, decoded as it arrives",
         "HTTP/1.1 500 Oops\r\nConnection: keep-alive\r\nContent-Type: application/json; "
         "charset=utf-8\r\nTransfer-Encoding: chunked\r\n\r\n" +
             Chunked + "0\r\n\r\n"},
        {"until closed", "HTTP/1.1 500 Oops\r\n\r\n" + Body},
    };
    for (const TCase& C : Cases) {
        TMemoryClient Client({C.Reply, Next});
        try {
            Client.HTTP.Post(Client.URL, {});
            ADD_FAILURE() << C.Name << ": no failure";
        } catch (const EIdHTTPProtocolException& E) {
            EXPECT_EQ(E.ErrorCode, 500) << C.Name;
            EXPECT_EQ(E.ErrorMessage,
                      std::u16string(static_cast<std::size_t>(TIdHTTP::MaxRefusedBody), u'r'))
                << C.Name;
        }
        EXPECT_EQ(Client.HTTP.Response().BodySize, static_cast<int64_t>(Size)) << C.Name;
        EXPECT_EQ(Client.HTTP.Post(Client.URL, {}), u"ok") << C.Name;
    }
}

TEST(HttpResponse, RedirectIsNeverFollowed) {
    TMemoryClient Client({"HTTP/1.1 301 Moved\r\nLocation: /other\r\nContent-Length: 0\r\n\r\n"});
    EXPECT_THROW(Client.HTTP.Post(Client.URL, {}), EIdHTTPProtocolException);
    EXPECT_EQ(Client.Handler.Connects.size(), 1u);
    EXPECT_EQ(Client.HTTP.Response().Location, "/other");
}

TEST(HttpResponse, TrailersJoinTheRawHeaders) {
    TMemoryClient Client({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                          "2\r\nok\r\n0\r\nX-Checksum: 42\r\n\r\n"});
    EXPECT_EQ(Client.HTTP.Post(Client.URL, {}), u"ok");
    EXPECT_EQ(Client.HTTP.Response().RawHeaders.Value("X-Checksum"), "42");
}

TEST(HttpResponse, KeepAliveConnectionIsClosedByTheNextCall) {
    const std::string Answer =
        "HTTP/1.1 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 3\r\n\r\none";
    // The first connection stays open until the client closes it.
    TScriptedServer Server({TServerScript().ReadRequest().Send(Answer).ReadUntilClosed(),
                            TServerScript().ReadRequest().Send(Answer)});
    TIdHTTP HTTP;
    HTTP.ReadTimeout = 5000;
    EXPECT_EQ(HTTP.Post(Server.URL(), {u"a=1"}), u"one");
    EXPECT_TRUE(HTTP.Connected());
    EXPECT_EQ(HTTP.Post(Server.URL(), {u"a=2"}), u"one");
    ASSERT_TRUE(Server.WaitForScriptsDone(2));
    EXPECT_FALSE(Server.HadStepFailure());
    EXPECT_EQ(Server.ConnectionCount(), 2u);
    const std::vector<std::string> Requests = Server.Requests();
    ASSERT_EQ(Requests.size(), 2u);
    EXPECT_TRUE(Requests[1].starts_with("POST /api HTTP/1.0\r\n"));
    EXPECT_TRUE(Requests[1].ends_with("\r\n\r\na=2"));
}

TEST(HttpResponse, ConnectionIsClosedWithoutKeepAlive) {
    for (const char* Header : {"", "Connection: close\r\n"}) {
        TScriptedServer Server(
            TServerScript()
                .ReadRequest()
                .Send(std::string("HTTP/1.1 200 OK\r\n") + Header + "Content-Length: 2\r\n\r\nok")
                .ReadUntilClosed());
        TIdHTTP HTTP;
        HTTP.ReadTimeout = 5000;
        EXPECT_EQ(HTTP.Post(Server.URL(), {}), u"ok");
        EXPECT_FALSE(HTTP.Connected()) << Header;
    }
}

TEST(HttpResponse, MetaHeadersDoNotDecideKeepingTheConnection) {
    const std::pair<const char*, bool> Cases[] = {
        {"Connection: keep-alive\r\n", true},
        {"Connection: close\r\n", false},
    };
    for (const auto& [Header, Kept] : Cases) {
        const std::string Page = std::string("<meta http-equiv=\"Connection\" content=\"") +
                                 (Kept ? "close" : "keep-alive") + "\">";
        TMemoryClient Client({std::string("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n") +
                              Header + "Content-Length: " + std::to_string(Page.size()) +
                              "\r\n\r\n" + Page});
        Client.Handler.End = TEnd::Hold;
        Client.HTTP.Post(TMemoryClient::URL, {});
        EXPECT_EQ(Client.HTTP.Connected(), Kept) << Header;
    }
}

TEST(HttpResponse, CookiesOfOneAnswerGoWithTheNextRequest) {
    TMemoryClient Client({"HTTP/1.1 100 Continue\r\nSet-Cookie: early=0\r\n\r\n"
                          "HTTP/1.1 200 OK\r\nSet-Cookie: sid=abc; Path=/\r\n"
                          "Set-Cookie: deep=1; Path=/api\r\n"
                          "Set-Cookie: sec=1; Secure\r\nContent-Length: 0\r\n\r\n",
                          "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"});
    Client.HTTP.Post(Client.URL, {});
    Client.HTTP.Post(Client.URL, {});
    const std::vector<std::string>& Requests = Client.Handler.Requests;
    ASSERT_EQ(Requests.size(), 2u);
    EXPECT_EQ(Requests[0].find("Cookie:"), std::string::npos);
    // The Cookie header is the last one; longest path first, Secure cookies not over http.
    EXPECT_TRUE(Requests[1].ends_with("Cookie: deep=1; early=0; sid=abc\r\n\r\n")) << Requests[1];
}

TEST(HttpResponse, ReadTimeOutBoundsASilentServer) {
    for (const std::string Sent : {"", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"}) {
        TScriptedServer Server(TServerScript().ReadRequest().Send(Sent).ReadUntilClosed());
        TIdHTTP HTTP;
        HTTP.ReadTimeout = 100;
        try {
            HTTP.Post(Server.URL(), {});
            FAIL() << "no failure";
        } catch (const EIdReadTimeout& E) {
            EXPECT_STREQ(E.what(), "Read timed out.");
        }
        EXPECT_FALSE(HTTP.Connected());
    }
}

TEST(HttpResponse, CookieFromTheServerCannotBreakTheRequest) {
    TMemoryClient Client({"HTTP/1.1 200 OK\r\nSet-Cookie: a=b\rX-Injected: 1\r\n"
                          "Content-Length: 0\r\n\r\n",
                          "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"});
    Client.HTTP.Post(Client.URL, {});
    Client.HTTP.Post(Client.URL, {});
    const std::string Second = Client.Handler.Requests.at(1);
    EXPECT_TRUE(Second.ends_with("\r\nCookie: a=b?X-Injected: 1\r\n\r\n")) << Second;
}

TEST(HttpResponse, SlowRedirectBodyIsNotAwaited) {
    // A 3xx answer whose body does not arrive: the client does not wait for it without end.
    TScriptedServer Server(
        TServerScript().ReadRequest().Send("HTTP/1.1 302 Found\r\n\r\n").ReadUntilClosed());
    TIdHTTP HTTP;
    HTTP.RedirectBodyTimeout = 100;
    try {
        HTTP.Post(Server.URL(), {});
        FAIL() << "no failure";
    } catch (const EIdHTTPProtocolException& E) {
        EXPECT_STREQ(E.what(), "HTTP/1.1 302 Found");
    }
}

// ---------------------------------------------------------------------------------------------
// An independent server: Python's http.server, which answers a POST with its 501 page.

namespace {

class TPythonHttpServer {
public:
    TPythonHttpServer() {
        int Pipe[2];
        if (pipe(Pipe) != 0)
            return;
        std::string Pattern =
            (std::filesystem::temp_directory_path() / "vl_http_py_XXXXXX").string();
        if (mkdtemp(Pattern.data()) != nullptr)
            FFolder = Pattern;
        FPid = fork();
        if (FPid == 0) {
            dup2(Pipe[1], STDOUT_FILENO);
            dup2(Pipe[1], STDERR_FILENO);
            close(Pipe[0]);
            execlp("python3", "python3", "-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
                   "--directory", FFolder.empty() ? "." : FFolder.c_str(), nullptr);
            _exit(127);
        }
        close(Pipe[1]);
        FOutput = Pipe[0];
        // "Serving HTTP on 127.0.0.1 port N (...)": wait for it, bounded.
        std::string Text;
        const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (FPid > 0 && Port == 0 && std::chrono::steady_clock::now() < Deadline) {
            pollfd P{FOutput, POLLIN, 0};
            if (poll(&P, 1, 1000) <= 0)
                continue;
            char Buffer[256];
            const ssize_t N = read(FOutput, Buffer, sizeof Buffer);
            if (N <= 0)
                break;
            Text.append(Buffer, static_cast<std::size_t>(N));
            const std::size_t At = Text.find(" port ");
            if (At != std::string::npos && Text.find(' ', At + 6) != std::string::npos)
                Port = std::atoi(Text.c_str() + At + 6);
        }
    }
    ~TPythonHttpServer() {
        if (FPid > 0) {
            kill(FPid, SIGTERM);
            waitpid(FPid, nullptr, 0);
        }
        if (FOutput >= 0)
            close(FOutput);
        if (!FFolder.empty())
            rmdir(FFolder.c_str());
    }
    int Port = 0;

private:
    pid_t FPid = -1;
    int FOutput = -1;
    std::string FFolder;
};

} // namespace

TEST(HttpResponse, IndependentServerRefusesPost) {
    TPythonHttpServer Server;
    if (Server.Port == 0)
        GTEST_SKIP() << "python3 http.server is not available";
    TIdHTTP HTTP;
    HTTP.ReadTimeout = 10000;
    const std::string URL = "http://127.0.0.1:" + std::to_string(Server.Port) + "/api";
    try {
        HTTP.Post(std::u16string(URL.begin(), URL.end()), {u"Command=AccountsList", u"JSON=Yes"});
        FAIL() << "no failure";
    } catch (const EIdHTTPProtocolException& E) {
        EXPECT_STREQ(E.what(), "HTTP/1.0 501 Unsupported method ('POST')");
        EXPECT_EQ(E.ErrorCode, 501);
        EXPECT_NE(E.ErrorMessage.find(u"Error code: 501"), std::u16string::npos);
    }
    EXPECT_FALSE(HTTP.Connected());
}
