// The HTTP client's request side: URL parts and their merge, the form body, and the exact bytes
// of the request, on a fake connection and on loopback servers.

#include "IdHTTP.h"
#include "IdHTTPForm.h"
#include "IdHTTPText.h"
#include "IdURI.h"
#include "MemoryIOHandler.h"
#include "ScriptedServer.h"
#include "ToolProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// ---------------------------------------------------------------------------------------------
// URL parts and form body, without a connection.

TEST(HttpUri, ParseTable) {
    struct Case {
        std::u16string URL, Protocol, Host, Port, Path, Document, Params, Bookmark, User, Pass;
        bool IPv6;
    };
    const Case Cases[] = {
        {u"http://127.0.0.1:8087/api", u"http", u"127.0.0.1", u"8087", u"/", u"api", u"", u"", u"",
         u"", false},
        {u"https://h/a/b/c.php?x=1&y=2#top", u"https", u"h", u"", u"/a/b/", u"c.php", u"x=1&y=2",
         u"top", u"", u"", false},
        {u"http://user:pw:x@h:1/", u"http", u"h", u"1", u"/", u"", u"", u"", u"user", u"pw:x",
         false},
        {u"http://:pw@h/", u"http", u"h", u"", u"/", u"", u"", u"", u"", u"", false},
        {u"http://[::1]:8087/api", u"http", u"::1", u"8087", u"/", u"api", u"", u"", u"", u"",
         true},
        {u"http://[fe80::1%25eth0]/", u"http", u"fe80::1%25eth0", u"", u"/", u"", u"", u"", u"",
         u"", true},
        {u"http://10.0.0.5:9000:8087/api", u"http", u"10.0.0.5", u"9000:8087", u"/", u"api", u"",
         u"", u"", u"", false},
        {u"http://h:8087//api", u"http", u"h", u"8087", u"//", u"api", u"", u"", u"", u"", false},
        {u"http://h", u"http", u"h", u"", u"/", u"", u"", u"", u"", u"", false},
        {u"http://h\\a\\b?q=\\x", u"http", u"h", u"", u"/a/", u"b", u"q=\\x", u"", u"", u"", false},
        {u"http:\\\\h\\a", u"", u"", u"", u"http:\\\\h/", u"a", u"", u"", u"", u"", false},
        {u"//h:81/x/y", u"", u"h", u"81", u"/x/", u"y", u"", u"", u"", u"", false},
        {u"\\\\h\\x", u"", u"h", u"", u"/", u"x", u"", u"", u"", u"", false},
        {u"api", u"", u"", u"", u"", u"api", u"", u"", u"", u"", false},
        {u"sub/dir/api?a=b#c", u"", u"", u"", u"sub/dir/", u"api", u"a=b", u"c", u"", u"", false},
        {u"httpserver:8087/api", u"", u"", u"", u"httpserver:8087/", u"api", u"", u"", u"", u"",
         false},
    };
    for (const Case& C : Cases) {
        const TIdURI U(C.URL);
        const std::string Name = IdHTTPText::ToUTF8(C.URL);
        EXPECT_EQ(U.Protocol, C.Protocol) << Name;
        EXPECT_EQ(U.Host, C.Host) << Name;
        EXPECT_EQ(U.Port, C.Port) << Name;
        EXPECT_EQ(U.Path, C.Path) << Name;
        EXPECT_EQ(U.Document, C.Document) << Name;
        EXPECT_EQ(U.Params, C.Params) << Name;
        EXPECT_EQ(U.Bookmark, C.Bookmark) << Name;
        EXPECT_EQ(U.Username, C.User) << Name;
        EXPECT_EQ(U.Password, C.Pass) << Name;
        EXPECT_EQ(U.IPVersion == TIdURI::TIPVersion::Id_IPv6, C.IPv6) << Name;
    }
}

TEST(HttpUri, ResolveDotSegments) {
    const std::pair<std::u16string, std::u16string> Cases[] = {
        {u"/a/b/../c/", u"/a/c/"}, {u"/a/./b/", u"/a/b/"}, {u"/a/../../", u"/"},
        {u"/a//b/", u"/a/b/"},     {u"/", u"/"},           {u"/a/..", u"/"},
    };
    for (const auto& [In, Out] : Cases)
        EXPECT_EQ(TIdURI::ResolvePath(In), Out) << IdHTTPText::ToUTF8(In);
}

TEST(HttpForm, EncodingTable) {
    const std::pair<std::vector<std::u16string>, std::string> Cases[] = {
        {{u"Command=AccountsList", u"JSON=Yes"}, "Command=AccountsList&JSON=Yes"},
        {{u"Players=Ann Lee,B\u00F6"}, "Players=Ann+Lee%2CB%C3%B6"},
        {{u"Note=a=b&c"}, "Note=a%3Db%26c"},
        {{u"V=+%"}, "V=%2B%25"},
        {{}, ""},
        {{u"NoEquals here"}, "NoEquals+here"},
        {{u"=", u"a="}, "=&a="},
        {{u"K=*-._~!"}, "K=*-._%7E%21"},
        {{u"E=\u20AC\U0001F600"}, "E=%E2%82%AC%F0%9F%98%80"},
        // Lone surrogates have no UTF-8 bytes.
        {{std::u16string(u"L=a") + char16_t(0xD800) + u"b" + char16_t(0xDC00)},
         "L=a&#55296;b&#56320;"},
        {{u"T=\ttab\r\n"}, "T=%09tab%0D%0A"},
    };
    for (const auto& [Lines, Body] : Cases)
        EXPECT_EQ(IdHTTPForm::EncodeLines(Lines), Body) << Body;
}

// ---------------------------------------------------------------------------------------------
// A connection without a socket (see TMemoryIOHandler): it stands in where a real connection is
// impractical (port 80, any host name).

namespace {

struct TFakeClient {
    TMemoryIOHandler Handler;
    TIdHTTP HTTP;
    TFakeClient() { HTTP.SetIOHandler(&Handler); }
    ~TFakeClient() { HTTP.SetIOHandler(nullptr); }
};

std::string RequestLine(const std::string& ASent) {
    return ASent.substr(0, ASent.find("\r\n"));
}

std::string HeaderValue(const std::string& ASent, const std::string& AName) {
    const std::size_t Pos = ASent.find("\r\n" + AName + ": ");
    if (Pos == std::string::npos)
        return "<absent>";
    const std::size_t Start = Pos + AName.size() + 4;
    return ASent.substr(Start, ASent.find("\r\n", Start) - Start);
}

} // namespace

TEST(HttpRequest, ExampleBytesExactly) {
    TScriptedServer Server(
        TServerScript().ReadRequest().Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
    TIdHTTP HTTP;
    HTTP.ReadTimeout = 5000;
    EXPECT_EQ(HTTP.Post(Server.URL(u"/api"), {u"Command=AccountsList", u"JSON=Yes"}), u"ok");
    ASSERT_TRUE(Server.WaitForScriptsDone(1));
    const std::string Port = std::to_string(Server.Port());
    ASSERT_EQ(Server.Requests().size(), 1u);
    EXPECT_EQ(Server.Requests()[0],
              "POST /api HTTP/1.0\r\n"
              "Connection: keep-alive\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\n"
              "Content-Length: 29\r\n"
              "Host: 127.0.0.1:" +
                  Port +
                  "\r\n"
                  "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
                  "User-Agent: Mozilla/5.0 (compatible; VL Server)\r\n"
                  "\r\n"
                  "Command=AccountsList&JSON=Yes");
    EXPECT_EQ(HTTP.ProtocolVersion, TIdHTTPProtocolVersion::pv1_1);
}

TEST(HttpRequest, IPv6LiteralOnLoopback) {
    TScriptedServer Server(
        TServerScript().ReadRequest().Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nv6"), true);
    TIdHTTP HTTP;
    HTTP.ReadTimeout = 5000;
    EXPECT_EQ(HTTP.Post(Server.URL(u"/api"), {}), u"v6");
    ASSERT_TRUE(Server.WaitForScriptsDone(1));
    const std::string Request = Server.Requests().at(0);
    EXPECT_EQ(HeaderValue(Request, "Host"), "[::1]:" + std::to_string(Server.Port()));
    EXPECT_EQ(HeaderValue(Request, "Content-Length"), "0");
    EXPECT_TRUE(Request.ends_with("\r\n\r\n"));
}

TEST(HttpRequest, TargetHostAndConnectionTable) {
    struct Case {
        std::u16string URL;
        std::string RequestLine, Host;
        std::string ConnectHost;
        uint16_t ConnectPort;
        bool IPv6, Tls;
    };
    const Case Cases[] = {
        {u"http://h:8087/api", "POST /api HTTP/1.0", "h:8087", "h", 8087, false, false},
        {u"http://h:80/api", "POST /api HTTP/1.0", "h", "h", 80, false, false},
        {u"http://h/api", "POST /api HTTP/1.0", "h", "h", 80, false, false},
        {u"HTTP://h/api", "POST /api HTTP/1.0", "h", "h", 80, false, false},
        {u"https://h/api", "POST /api HTTP/1.0", "h", "h", 443, false, true},
        {u"https://h:443/api", "POST /api HTTP/1.0", "h", "h", 443, false, true},
        {u"HTTPS://h:8443/api", "POST /api HTTP/1.0", "h:8443", "h", 8443, false, true},
        {u"http://h:443/api", "POST /api HTTP/1.0", "h:443", "h", 443, false, false},
        {u"https://h:80/api", "POST /api HTTP/1.0", "h:80", "h", 80, false, true},
        {u"http://h:080/api", "POST /api HTTP/1.0", "h:080", "h", 80, false, false},
        {u"http://[::1]:8087/api", "POST /api HTTP/1.0", "[::1]:8087", "::1", 8087, true, false},
        {u"http://[nonsense]:8087/api", "POST /api HTTP/1.0", "nonsense:8087", "nonsense", 8087,
         true, false},
        {u"http://user:secret@h:81/api", "POST /api HTTP/1.0", "h:81", "h", 81, false, false},
        {u"http://h:81/a b/B\u00F6?q=\u00E4 1", "POST /a b/B??q=? 1 HTTP/1.0", "h:81", "h", 81,
         false, false},
        {u"http://h:81\\x\\y", "POST /x/y HTTP/1.0", "h:81", "h", 81, false, false},
        {u"http://h:81/api#frag", "POST /api HTTP/1.0", "h:81", "h", 81, false, false},
        {u"http://h:81/api?x=1#frag", "POST /api?x=1 HTTP/1.0", "h:81", "h", 81, false, false},
        {u"http://h:81//api", "POST //api HTTP/1.0", "h:81", "h", 81, false, false},
        // A line break typed into the address stays inside the request line.
        {u"http://h:81/a\r\nX-Injected: 1\x7F", "POST /a%0D%0AX-Injected: 1%7F HTTP/1.0", "h:81",
         "h", 81, false, false},
        {u"http://h: 8087 /api", "POST /api HTTP/1.0", "h: 8087 ", "h", 8087, false, false},
        // Other letters go out in their ASCII form; the stack converts the name it looks up.
        {u"https://B\u00FCcher.example/api", "POST /api HTTP/1.0", "xn--bcher-kva.example",
         "B\xC3\xBC"
         "cher.example",
         443, false, true},
    };
    for (const Case& C : Cases) {
        const std::string Name = IdHTTPText::ToUTF8(C.URL);
        TFakeClient Client;
        EXPECT_EQ(Client.HTTP.Post(C.URL, {u"a=b"}), u"ok") << Name;
        ASSERT_EQ(Client.Handler.Connects.size(), 1u) << Name;
        const auto& Connect = Client.Handler.Connects[0];
        const std::string Sent = Client.Handler.Sent();
        EXPECT_EQ(RequestLine(Sent), C.RequestLine) << Name;
        EXPECT_EQ(HeaderValue(Sent, "Host"), C.Host) << Name;
        EXPECT_EQ(Connect.Host, C.ConnectHost) << Name;
        EXPECT_EQ(Connect.Port, C.ConnectPort) << Name;
        EXPECT_EQ(Connect.IPVersion == Id_IPv6, C.IPv6) << Name;
        EXPECT_EQ(Connect.PassThrough, !C.Tls) << Name;
        EXPECT_EQ(Sent.find("user"), std::string::npos) << Name;
        EXPECT_EQ(Sent.find("secret"), std::string::npos) << Name;
        EXPECT_EQ(Sent.find("frag"), std::string::npos) << Name;
        EXPECT_EQ(Sent.find("\r\nX-Injected"), std::string::npos) << Name;
    }
}

// A port that is no port number is refused by name before anything is sent; no default port
// stands in for it.
TEST(HttpRequest, PortThatIsNoNumberIsRefused) {
    const std::pair<std::u16string, std::string> Cases[] = {
        {u"http://h:99999/api", "99999"},
        {u"http://h:65536/api", "65536"},
        {u"http://h:8o87/api", "8o87"},
        {u"http://h:-1/api", "-1"},
        {u"http://h:0x1F97/api", "0x1F97"},
        {u"http://h:0/api", "0"},
        {u"https://h:70000/api", "70000"},
        {u"http://10.0.0.5:9000:8087/api", "9000:8087"},
        {u"http://127.0.0.1:8087:8087/api", "8087:8087"},
        // A ":" with nothing after it is no port; the scheme's does not stand in.
        {u"http://h:/api", ""},
        {u"https://user:pw@h:?x=1", ""},
        {u"http://[::1]:/api", ""},
        {u"//h:\\api", ""},
        {u"http://ftp://h:8087/api", ""},
        {u"http://h: /api", " "},
    };
    for (const auto& [URL, Port] : Cases) {
        TFakeClient Client;
        try {
            Client.HTTP.Post(URL, {u"Password=secret"});
            ADD_FAILURE() << Port << ": no failure";
        } catch (const EIdInvalidPort& E) {
            EXPECT_EQ(std::string(E.what()),
                      "Invalid port \"" + Port + "\": a port is a number from 1 to 65535.");
        }
        EXPECT_TRUE(Client.Handler.Connects.empty()) << Port;
        EXPECT_TRUE(Client.Handler.Sent().empty()) << Port;
    }
}

TEST(HttpRequest, HostGoesToTheTlsHandlerAsServerName) {
    TFakeClient Client;
    Client.HTTP.Post(u"https://user:pw@Server.example:8443/a/b?x=1#f", {});
    ASSERT_EQ(Client.Handler.Connects.size(), 1u);
    EXPECT_EQ(Client.Handler.Connects[0].ServerName, "Server.example");
    EXPECT_FALSE(Client.Handler.Connects[0].PassThrough);
    EXPECT_EQ(Client.HTTP.Request.Username, u"user");
    EXPECT_EQ(Client.HTTP.Request.Password, u"pw");
    Client.HTTP.Post(u"https://b\u00FCcher.example/", {});
    EXPECT_EQ(Client.Handler.Connects.back().ServerName, "xn--bcher-kva.example");
}

TEST(HttpRequest, MergeWithTheCurrentURL) {
    TFakeClient Client;
    // Nothing to take a port from on the first call.
    try {
        Client.HTTP.Post(u"api", {u"x=1"});
        FAIL() << "no failure";
    } catch (const EIdException& E) {
        EXPECT_STREQ(E.what(), "Unknown Protocol");
    }
    EXPECT_TRUE(Client.Handler.Connects.empty());
    for (const char16_t* URL : {u"//h/x", u"httphost:8087/api"}) {
        TFakeClient Fresh;
        EXPECT_THROW(Fresh.HTTP.Post(URL, {}), EIdUnknownProtocol);
        EXPECT_TRUE(Fresh.Handler.Connects.empty());
    }

    struct Step {
        std::u16string URL;
        std::string RequestLine, Host;
        uint16_t Port;
    };
    const Step Steps[] = {
        {u"http://first:8087/v1/dir/api", "POST /v1/dir/api HTTP/1.0", "first:8087", 8087},
        {u"other", "POST /v1/dir/other HTTP/1.0", "first:8087", 8087},
        {u"sub/doc?q=1", "POST /v1/dir/sub/doc?q=1 HTTP/1.0", "first:8087", 8087},
        {u"../up", "POST /v1/dir/up HTTP/1.0", "first:8087", 8087},
        {u"/abs/doc", "POST /abs/doc HTTP/1.0", "first:8087", 8087},
        {u"//second/z", "POST /z HTTP/1.0", "second:8087", 8087},
        {u"https://third/y", "POST /y HTTP/1.0", "third", 443},
        {u"//fourth/w", "POST /w HTTP/1.0", "fourth", 443},
    };
    for (const Step& S : Steps) {
        const std::string Name = IdHTTPText::ToUTF8(S.URL);
        Client.Handler.Connects.clear();
        EXPECT_EQ(Client.HTTP.Post(S.URL, {}), u"ok") << Name;
        ASSERT_EQ(Client.Handler.Connects.size(), 1u) << Name;
        EXPECT_EQ(RequestLine(Client.Handler.Sent()), S.RequestLine) << Name;
        EXPECT_EQ(HeaderValue(Client.Handler.Sent(), "Host"), S.Host) << Name;
        EXPECT_EQ(Client.Handler.Connects[0].Port, S.Port) << Name;
    }
    // "//fourth/w" kept https from the call before, and the port with it.
    EXPECT_FALSE(Client.Handler.Connects[0].PassThrough);
}

TEST(HttpRequest, BodyAndHeaderWrites) {
    TFakeClient Client;
    // The header block goes out in one piece, the body in pieces of at most 32768 bytes.
    const std::u16string Value(70000, u'v');
    Client.HTTP.Post(u"http://h:81/api", {u"k=" + Value});
    const std::vector<std::string>& Sends = Client.Handler.Sends;
    ASSERT_EQ(Sends.size(), 4u);
    EXPECT_TRUE(Sends[0].ends_with("\r\n\r\n"));
    EXPECT_EQ(HeaderValue(Sends[0], "Content-Length"), "70002");
    EXPECT_EQ(Sends[1].size(), 32768u);
    EXPECT_EQ(Sends[2].size(), 32768u);
    EXPECT_EQ(Sends[3].size(), 70002u - 2 * 32768u);

    // An empty form: Content-Length 0 and nothing after the header block.
    Client.HTTP.Post(u"http://h:81/api", {});
    ASSERT_EQ(Client.Handler.Sends.size(), 1u);
    EXPECT_EQ(HeaderValue(Client.Handler.Sends[0], "Content-Length"), "0");
    EXPECT_TRUE(Client.Handler.Sends[0].ends_with("\r\n\r\n"));
}

TEST(HttpRequest, EncodedFormOnTheWire) {
    TFakeClient Client;
    Client.HTTP.Post(u"http://h:81/api",
                     {u"Command=AccountsAdd", u"Players=Ann Lee,B\u00F6", u"Note=a=b&c+d%"});
    const std::string Sent = Client.Handler.Sent();
    EXPECT_TRUE(Sent.ends_with(
        "\r\n\r\nCommand=AccountsAdd&Players=Ann+Lee%2CB%C3%B6&Note=a%3Db%26c%2Bd%25"));
}

TEST(HttpRequest, ContentTypeIsSetOnceAndKept) {
    TFakeClient Client;
    Client.HTTP.Request.ContentType = "text/html";
    Client.HTTP.Post(u"http://h:81/api", {});
    EXPECT_EQ(Client.HTTP.Request.ContentType, "application/x-www-form-urlencoded");
    Client.HTTP.Request.ContentType = "text/plain";
    Client.HTTP.Post(u"http://h:81/api", {});
    EXPECT_EQ(HeaderValue(Client.Handler.Sent(), "Content-Type"), "text/plain");
}

TEST(HttpRequest, FailureLeavesVersionAndNothingSent) {
    TFakeClient Client;
    EXPECT_THROW(Client.HTTP.Post(u"nohost", {}), EIdUnknownProtocol);
    EXPECT_EQ(Client.HTTP.ProtocolVersion, TIdHTTPProtocolVersion::pv1_1);
    try {
        Client.HTTP.Post(u"http://:81/api", {});
        FAIL() << "no failure";
    } catch (const EIdException& E) {
        EXPECT_STREQ(E.what(), "Host field is empty");
    }
    EXPECT_TRUE(Client.Handler.Connects.empty());
    EXPECT_EQ(Client.HTTP.ProtocolVersion, TIdHTTPProtocolVersion::pv1_1);
}

TEST(HttpRequest, RefusedConnection) {
    const TRefusingPort Refusing;
    TIdHTTP HTTP;
    const std::string URL = "http://127.0.0.1:" + std::to_string(Refusing.Port()) + "/api";
    try {
        HTTP.Post(std::u16string(URL.begin(), URL.end()), {});
        FAIL() << "no failure";
    } catch (const EIdException& E) {
        EXPECT_STREQ(E.what(), "Socket Error # 10061\r\nConnection refused.");
    }
}

TEST(HttpRequest, AbortEndsARunningPost) {
    TScriptedServer Server(TServerScript().ReadRequest().ReadUntilClosed());
    TIdHTTP HTTP; // no read time-out: only Abort ends the wait
    std::thread Aborter([&] {
        if (Server.WaitForReceived(0, "\r\n\r\n", 5000))
            HTTP.Abort();
    });
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_THROW(HTTP.Post(Server.URL(), {}), EIdException);
    Aborter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
    EXPECT_FALSE(HTTP.Connected());

    // The next call works again.
    TScriptedServer Next(
        TServerScript().ReadRequest().Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
    HTTP.ReadTimeout = 5000;
    EXPECT_EQ(HTTP.Post(Next.URL(), {}), u"ok");
}

// ---------------------------------------------------------------------------------------------
// vlcallbench-post: one Post from the command line.

namespace {

TProgramRun RunPostTool(const std::vector<std::string>& AArgs) {
    return RunProgram(VL_POST_TOOL, AArgs);
}

} // namespace

TEST(HttpPostTool, AnswerFailureAndUsage) {
    TScriptedServer Server(
        {TServerScript().ReadRequest().Send("HTTP/1.1 200 OK\r\nContent-Type: text/plain; "
                                            "charset=utf-8\r\n\r\nB\xC3\xB6rse\r\n"),
         TServerScript().ReadRequest().Send("HTTP/1.1 404 Not Found\r\n\r\n"),
         TServerScript().ReadRequest().Send(std::string("HTTP/1.1 404 Not\0Found\r\n\r\n", 26))});
    const std::u16string URL16 = Server.URL(u"/api");
    const std::string URL(URL16.begin(), URL16.end());

    const TProgramRun Ok = RunPostTool({URL, "Command=AccountsList", "Note=B\xC3\xB6 x"});
    EXPECT_EQ(Ok.ExitCode, 0);
    EXPECT_EQ(Ok.Out, "B\xC3\xB6rse\r\n");
    EXPECT_EQ(Ok.Err, "");
    ASSERT_TRUE(Server.WaitForScriptsDone(1));
    EXPECT_TRUE(Server.Requests().at(0).ends_with("\r\n\r\nCommand=AccountsList&Note=B%C3%B6+x"));

    const TProgramRun Refused = RunPostTool({URL});
    EXPECT_EQ(Refused.ExitCode, 1);
    EXPECT_EQ(Refused.Out, "");
    EXPECT_EQ(Refused.Err, "vlcallbench-post: HTTP/1.1 404 Not Found\n");

    // The message is written as it is, a NUL byte and what follows it included.
    EXPECT_EQ(RunPostTool({URL}).Err,
              std::string("vlcallbench-post: HTTP/1.1 404 Not\0Found\n", 41));

    const TProgramRun Unknown = RunPostTool({"api"});
    EXPECT_EQ(Unknown.ExitCode, 1);
    EXPECT_EQ(Unknown.Err, "vlcallbench-post: Unknown Protocol\n");

    EXPECT_EQ(RunPostTool({}).ExitCode, 2);
}
