#include "IdHTTP.h"
#include "IdHTTPText.h"
#include "IdSSLErrors.h"
#include "IdSSLIOHandlerSocketOpenSSL.h"
#include "PinStore.h"
#include "ScriptedServer.h"
#include "TempFolder.h"
#include "TlsLibrary.h"
#include "ToolProcess.h"
#include "tls/OpenSslServerProcess.h"
#include "tls/TlsTestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Each test starts and ends with no library loaded and the system's search order.
class TlsLoader : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override {
        Reset();
        unsetenv("VL_FAKE_TLS_TEXT");
        unsetenv("VL_FAKE_TLS_NUMBER");
    }
    static void Reset() {
        UnloadTlsLibraries();
        SetTlsLibraryFolder("");
    }

    // A folder holding the fake library under both OpenSSL 3 file names.
    static void InstallFakeLibraries(const TTempFolder& AFolder) {
        fs::copy_file(VL_FAKE_TLS_LIBRARY, AFolder.Path() / "libcrypto.so.3");
        fs::copy_file(VL_FAKE_TLS_LIBRARY, AFolder.Path() / "libssl.so.3");
    }
};

TEST_F(TlsLoader, SystemLibrariesLoadOnceAndBindTheClientPath) {
    ASSERT_TRUE(LoadTlsLibraries()) << ::testing::PrintToString(LoadFailures());
    EXPECT_TRUE(TlsLoaded());
    EXPECT_TRUE(LoadFailures().empty());
    const TTlsFunctions& F = TlsFunctions();
    EXPECT_GE(F.VersionNumber, 0x10101000UL);
    EXPECT_NE(F.TLS_client_method, nullptr);
    EXPECT_NE(F.SSL_connect, nullptr);
    EXPECT_NE(F.SSL_pending, nullptr);
    EXPECT_NE(F.ERR_error_string_n, nullptr);
    EXPECT_TRUE(LoadTlsLibraries());

    UnloadTlsLibraries();
    EXPECT_FALSE(TlsLoaded());
    EXPECT_EQ(TlsFunctions().SSL_connect, nullptr);
}

TEST_F(TlsLoader, MissingLibrariesAreReportedAndRetried) {
    TTempFolder Empty;
    SetTlsLibraryFolder(Empty.Prefix());
    for (int Attempt = 0; Attempt < 2; ++Attempt) {
        EXPECT_FALSE(LoadTlsLibraries());
        EXPECT_FALSE(TlsLoaded());
        const std::vector<std::string> Failures = LoadFailures();
        ASSERT_EQ(Failures.size(), 1U);
        const std::string Expected = "Failed to load " + Empty.Prefix() + "libcrypto.so.3 (error #";
        EXPECT_EQ(Failures[0].substr(0, Expected.size()), Expected);
        EXPECT_TRUE(Failures[0].ends_with(").")) << Failures[0];
    }
    // The same process loads the system's libraries once the folder is cleared.
    SetTlsLibraryFolder("");
    EXPECT_TRUE(LoadTlsLibraries());
}

TEST_F(TlsLoader, VersionRule) {
    struct TCase {
        const char* Text;
        const char* Number;
        const char* Refusal; // expected sole failure; null when the version passes
    };
    const TCase Cases[] = {
        {"OpenSSL 1.0.2u  20 Dec 2019", "1000215f", "Unsupported SSL Library version: 1000215f."},
        {"OpenSSL 1.1.0l  10 Sep 2019", "101000cf", "Unsupported SSL Library version: 101000cf."},
        {"OpenSSL 0.9.8zh 3 Dec 2015", "009081df", "Unsupported SSL Library version: 009081df."},
        {"FooSSL 3.1", "30100000", "Unsupported SSL Library: FooSSL 3.1."},
        {"LibreSSL 3.8.2", "20000000", nullptr},
        {"OpenSSL 3.0.2 15 Mar 2022", "30000020", nullptr},
        {"OpenSSL 1.1.1w  11 Sep 2023", "1010117f", nullptr},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Text);
        Reset();
        TTempFolder Folder;
        InstallFakeLibraries(Folder);
        setenv("VL_FAKE_TLS_TEXT", Case.Text, 1);
        setenv("VL_FAKE_TLS_NUMBER", Case.Number, 1);
        SetTlsLibraryFolder(Folder.Prefix());

        EXPECT_FALSE(LoadTlsLibraries());
        const std::vector<std::string> Failures = LoadFailures();
        if (Case.Refusal != nullptr) {
            EXPECT_EQ(Failures, std::vector<std::string>{Case.Refusal});
        } else {
            // Past the version check, the fake lacks every other required entry point.
            ASSERT_FALSE(Failures.empty());
            for (const std::string& Failure : Failures) {
                EXPECT_FALSE(Failure.starts_with("Unsupported")) << Failure;
            }
            EXPECT_NE(std::find(Failures.begin(), Failures.end(), "SSL_CTX_new"), Failures.end());
            EXPECT_NE(std::find(Failures.begin(), Failures.end(), "SSL_connect"), Failures.end());
            // Optional entry points are not reported.
            EXPECT_EQ(std::find(Failures.begin(), Failures.end(), "TLS_client_method"),
                      Failures.end());
        }
    }
}

TEST(TlsOptions, MethodAndVersionsStayConsistent) {
    const TIdSSLVersions All{sslvSSLv2, sslvSSLv3, sslvTLSv1, sslvTLSv1_1, sslvTLSv1_2};
    TIdSSLOptions Options;
    EXPECT_EQ(Options.Method(), sslvTLSv1);
    EXPECT_EQ(Options.SSLVersions(), TIdSSLVersions{sslvTLSv1});

    struct TCase {
        TIdSSLVersions Set;
        TIdSSLVersion Method;
        TIdSSLVersions Versions;
    };
    const TCase Cases[] = {
        {{sslvTLSv1_2}, sslvTLSv1_2, {sslvTLSv1_2}},
        {{sslvTLSv1, sslvTLSv1_2}, sslvSSLv23, {sslvTLSv1, sslvTLSv1_2}},
        {{sslvSSLv23}, sslvSSLv23, All},
        {{sslvSSLv23, sslvTLSv1_1, sslvTLSv1_2}, sslvSSLv23, {sslvTLSv1_1, sslvTLSv1_2}},
        {{}, sslvSSLv23, {}},
    };
    for (const TCase& Case : Cases) {
        Options.SetSSLVersions(Case.Set);
        EXPECT_EQ(Options.Method(), Case.Method) << int(Case.Set.Bits());
        EXPECT_EQ(Options.SSLVersions(), Case.Versions) << int(Case.Set.Bits());
    }

    Options.SetMethod(sslvTLSv1_1);
    EXPECT_EQ(Options.SSLVersions(), TIdSSLVersions{sslvTLSv1_1});
    // The order the program's settings are applied in: the method, then the versions.
    Options.SetMethod(sslvSSLv23);
    EXPECT_EQ(Options.SSLVersions(), All);
    Options.SetSSLVersions(All);
    EXPECT_EQ(Options.Method(), sslvSSLv23);
    EXPECT_EQ(Options.SSLVersions(), All);

    const TIdSSLIOHandlerSocketOpenSSL Handler;
    EXPECT_EQ(Handler.SSLOptions().Method(), sslvSSLv23);
    EXPECT_EQ(Handler.SSLOptions().SSLVersions(), All);
    EXPECT_TRUE(Handler.PassThrough());
}

TEST(TlsErrors, SslErrorRule) {
    ASSERT_TRUE(LoadTlsLibraries());
    using namespace IdSSLErrors;
    TlsFunctions().ERR_clear_error();

    try {
        RaiseSslErrorCode<EIdOSSLConnectError>(OpenSsl::ErrorSyscall, 0,
                                               "Error connecting with SSL.", {});
    } catch (const EIdOSSLConnectError& E) {
        EXPECT_STREQ(E.what(),
                     "Error connecting with SSL.\r\nEOF was observed that violates the protocol");
        EXPECT_EQ(E.ErrorCode, 5);
        EXPECT_EQ(E.RetCode, 0);
    }
    try {
        RaiseSslErrorCode<EIdOSSLConnectError>(OpenSsl::ErrorSyscall, -1,
                                               "Error connecting with SSL.", {ECONNRESET, 10054});
    } catch (const EIdSocketError& E) {
        EXPECT_STREQ(E.what(), "Socket Error # 10054\r\nConnection reset by peer.");
        EXPECT_EQ(E.LastError, 10054);
    }
    try {
        RaiseSslErrorCode<EIdOpenSSLAPISSLError>(OpenSsl::ErrorZeroReturn, 0, "", {});
    } catch (const EIdOpenSSLAPISSLError& E) {
        EXPECT_EQ(std::string(E.what()), ErrorText(OpenSsl::ErrorZeroReturn));
        EXPECT_TRUE(std::string_view(E.what()).starts_with("error:")) << E.what();
        EXPECT_EQ(E.ErrorCode, 6);
    }
    // Crypto rule: the message, CR LF and the text of the queued code.
    try {
        RaiseCryptoErrorCode<EIdOSSLCreatingContextError>(0x0A00010BUL,
                                                          "Error creating SSL context.");
    } catch (const EIdOSSLCreatingContextError& E) {
        EXPECT_EQ(std::string(E.what()),
                  "Error creating SSL context.\r\n" + ErrorText(0x0A00010BUL));
        EXPECT_EQ(E.ErrorCode, 0x0A00010B);
    }
}

std::u16string Url(std::string_view AScheme, std::string_view AHost, uint16_t APort) {
    return IdHTTPText::FromUTF8(std::string(AScheme) + "://" + std::string(AHost) + ":" +
                                std::to_string(APort) + "/api");
}

std::string Utf8(const std::u16string& AText) {
    return IdHTTPText::ToUTF8(AText);
}

// The message of what ACall throws; fails the test when it throws nothing.
template <class TCall> std::string FailureOf(TCall ACall) {
    try {
        ACall();
    } catch (const std::exception& E) {
        return E.what();
    }
    ADD_FAILURE() << "no failure";
    return {};
}

const std::string OkAnswer =
    "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 11\r\n\r\nhello world";

// The window's arrangement: one client and one TLS handler plugged into it.
class TlsClient : public ::testing::Test {
protected:
    // The transfer tests run with the certificate check off; it has tests of its own below.
    TlsClient() {
        FHttp.SetIOHandler(&FSsl);
        FSsl.VerifyPeer = false;
    }
    void SetUp() override {
        UnloadTlsLibraries();
        SetTlsLibraryFolder("");
    }
    void TearDown() override {
        UnloadTlsLibraries();
        SetTlsLibraryFolder("");
    }

    std::u16string Post(std::string_view AScheme, std::string_view AHost, uint16_t APort) {
        return FHttp.Post(Url(AScheme, AHost, APort), {u"Command=SystemStats", u"JSON=Yes"});
    }

    TIdSSLIOHandlerSocketOpenSSL FSsl;
    TIdHTTP FHttp;
};

TEST_F(TlsClient, HttpsPostReturnsTheAnswerWithTheCheckOff) {
    TTlsTestServer Server({TTlsServerMode::Answer, OkAnswer});
    std::vector<std::string> Status;
    FSsl.OnStatusInfo = [&](std::string_view AText) { Status.emplace_back(AText); };

    // The certificate is self-signed and names "wrong.example".
    EXPECT_EQ(Post("https", "127.0.0.1", Server.Port()), u"hello world");

    ASSERT_TRUE(Server.WaitForServed(1));
    ASSERT_EQ(Server.Requests().size(), 1U);
    const std::string Request = Server.Requests()[0];
    EXPECT_TRUE(Request.starts_with("POST /api HTTP/1.0\r\n")) << Request;
    EXPECT_TRUE(Request.find("\r\nHost: 127.0.0.1:" + std::to_string(Server.Port()) + "\r\n") !=
                std::string::npos)
        << Request;
    EXPECT_TRUE(Request.ends_with("\r\n\r\nCommand=SystemStats&JSON=Yes")) << Request;

    ASSERT_EQ(Status.size(), 1U);
    const std::string& Cipher = Status[0];
    EXPECT_TRUE(Cipher.starts_with("Cipher: name = ")) << Cipher;
    for (const char* Part : {"; description = ", "; bits = ", "; version = TLSv1."}) {
        EXPECT_NE(Cipher.find(Part), std::string::npos) << Part << " in " << Cipher;
    }
    EXPECT_TRUE(Cipher.ends_with("; ")) << Cipher;

    // The connection is over: its TLS socket and context are gone.
    EXPECT_EQ(FSsl.SSLSocket(), nullptr);
    EXPECT_EQ(FSsl.SSLContext(), nullptr);
}

TEST_F(TlsClient, ServerNameIsTheHostAsTyped) {
    struct TCase {
        const char* Typed;
        const char* Sent;
        bool IPv6;
    };
    for (const TCase& Case :
         {TCase{"127.0.0.1", "127.0.0.1", false}, TCase{"localhost", "localhost", false},
          TCase{"LocalHost", "LocalHost", false}, TCase{"[::1]", "::1", true}}) {
        SCOPED_TRACE(Case.Typed);
        std::unique_ptr<TTlsTestServer> Server;
        try {
            Server = std::make_unique<TTlsTestServer>(
                TTlsServerOptions{TTlsServerMode::Answer, OkAnswer}, Case.IPv6);
        } catch (const std::runtime_error&) {
            ASSERT_TRUE(Case.IPv6) << "no loopback server";
            continue; // no IPv6 loopback on this machine
        }
        EXPECT_EQ(Post("https", Case.Typed, Server->Port()), u"hello world");
        ASSERT_TRUE(Server->WaitForServed(1));
        EXPECT_EQ(Server->ServerNames(), std::vector<std::string>{Case.Sent});
    }
}

TEST_F(TlsClient, EveryCallMakesAFullHandshake) {
    TTlsTestServer Server({TTlsServerMode::Answer, OkAnswer});
    EXPECT_EQ(Post("https", "127.0.0.1", Server.Port()), u"hello world");
    EXPECT_EQ(Post("https", "127.0.0.1", Server.Port()), u"hello world");
    ASSERT_TRUE(Server.WaitForServed(2));
    EXPECT_EQ(Server.Accepted(), 2);
    EXPECT_EQ(Server.Handshakes(), 2);
    EXPECT_EQ(Server.ResumedSessions(), 0);
}

TEST_F(TlsClient, AnswerEndsNormallyWithOrWithoutCloseNotification) {
    // Without a length the body runs to the end of the connection; several TLS records long.
    std::string Body;
    for (int I = 0; Body.size() < 100000; ++I) {
        Body += "line " + std::to_string(I) + "\n";
    }
    for (const bool CloseNotify : {true, false}) {
        SCOPED_TRACE(CloseNotify ? "close notification" : "bare close");
        TTlsTestServer Server({TTlsServerMode::Answer,
                               "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + Body,
                               CloseNotify});
        EXPECT_EQ(Utf8(Post("https", "127.0.0.1", Server.Port())), Body);
    }
}

TEST_F(TlsClient, HttpNeedsNoLibraryHttpsDoes) {
    TTempFolder Empty;
    TTempFolder Old;
    fs::copy_file(VL_FAKE_TLS_LIBRARY, Old.Path() / "libcrypto.so.3");
    fs::copy_file(VL_FAKE_TLS_LIBRARY, Old.Path() / "libssl.so.3");
    struct TCase {
        const char* Name;
        std::string Folder;
        bool Usable;
    };
    for (const TCase& Case :
         {TCase{"system libraries", "", true}, TCase{"no libraries", Empty.Prefix(), false},
          TCase{"OpenSSL 1.0.2", Old.Prefix(), false}}) {
        SCOPED_TRACE(Case.Name);
        UnloadTlsLibraries();
        SetTlsLibraryFolder(Case.Folder);
        TScriptedServer Plain(TServerScript()
                                  .ReadRequest()
                                  .Send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok")
                                  .Close());
        EXPECT_EQ(Post("http", "127.0.0.1", Plain.Port()), u"ok");
        EXPECT_TRUE(FSsl.PassThrough());
        EXPECT_EQ(Plain.ConnectionCount(), 1u);
        // Loading OpenSSL costs a plain call more than the call itself.
        EXPECT_FALSE(TlsLoaded());

        TTlsTestServer Secure({TTlsServerMode::Answer, OkAnswer});
        if (Case.Usable) {
            EXPECT_EQ(Post("https", "127.0.0.1", Secure.Port()), u"hello world");
        } else {
            EXPECT_THROW(
                {
                    try {
                        Post("https", "127.0.0.1", Secure.Port());
                    } catch (const EIdOSSLCouldNotLoadSSLLibrary& E) {
                        EXPECT_STREQ(E.what(), "Could not load SSL library.");
                        throw;
                    }
                },
                EIdOSSLCouldNotLoadSSLLibrary);
            // Refused before any TCP connection.
            EXPECT_EQ(Secure.Accepted(), 0);
        }
    }
}

TEST_F(TlsClient, ServerThatSpeaksNoTlsFailsTheHandshake) {
    // A plain HTTP server answers the client's hello with HTTP.
    TScriptedServer Plain(TServerScript().Send("HTTP/1.0 400 Bad Request\r\n\r\n").Hold());
    const std::string HttpAnswer = FailureOf([&] { Post("https", "127.0.0.1", Plain.Port()); });
    EXPECT_TRUE(HttpAnswer.starts_with("Error connecting with SSL.\r\nerror:")) << HttpAnswer;
    Plain.Release();

    // A server that ends the connection without a word.
    TTlsTestServer Closing({TTlsServerMode::EndAtOnce, {}});
    const std::string Ended = FailureOf([&] { Post("https", "127.0.0.1", Closing.Port()); });
    const bool OpenSslText = Ended.starts_with("Error connecting with SSL.\r\nerror:");
    const bool EofText =
        Ended == "Error connecting with SSL.\r\nEOF was observed that violates the protocol";
    EXPECT_TRUE(OpenSslText || EofText) << Ended;

    EXPECT_EQ(FSsl.SSLSocket(), nullptr);
    EXPECT_EQ(FSsl.SSLContext(), nullptr);
}

TEST_F(TlsClient, StalledServersTimeOut) {
    FHttp.ReadTimeout = 300;
    {
        // Accepts, but never answers the handshake: the socket time-out ends it.
        TTlsTestServer Server({TTlsServerMode::NeverHandshake, {}});
        try {
            Post("https", "127.0.0.1", Server.Port());
            ADD_FAILURE() << "no failure";
        } catch (const EIdSocketError& E) {
            EXPECT_EQ(E.LastError, 10060);
            EXPECT_STREQ(E.what(), "Socket Error # 10060\r\nConnection timed out.");
        }
    }
    {
        // Shakes hands and takes the request, but never answers it.
        TTlsTestServer Server({TTlsServerMode::Silent, {}});
        EXPECT_EQ(FailureOf([&] { Post("https", "127.0.0.1", Server.Port()); }), "Read timed out.");
    }
}

TEST_F(TlsClient, SendThatTimesOutSaysSo) {
    // The server reads nothing, so a large request backs up until the send time-out.
    FHttp.ReadTimeout = 300;
    TTlsTestServer Server({TTlsServerMode::NeverRead, {}});
    const std::u16string Line = u"Big=" + std::u16string(16 << 20, u'x');
    try {
        FHttp.Post(Url("https", "127.0.0.1", Server.Port()), {Line});
        ADD_FAILURE() << "no failure";
    } catch (const EIdSocketError& E) {
        EXPECT_EQ(E.LastError, 10060);
        EXPECT_EQ(E.Message(), "Socket Error # 10060\r\nConnection timed out.");
    }
}

TEST_F(TlsClient, KeepAliveCheckDoesNotWaitForAPartOfARecord) {
    // After a whole answer, the start of a record header that never goes on.
    TTlsServerOptions Options{TTlsServerMode::Answer,
                              "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nContent-Length: "
                              "2\r\n\r\nok",
                              false};
    Options.RawAfterAnswer = "\x17\x03\x03";
    TTlsTestServer Server(Options);
    FHttp.ReadTimeout = 20000;
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_EQ(Post("https", "127.0.0.1", Server.Port()), u"ok");
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(10));
    // The kept connection ends here, while the libraries are loaded (the fixture unloads them).
    FHttp.Disconnect();
}

TEST_F(TlsClient, AbortEndsAHandshakeOrAReadPromptly) {
    // No read time-out: only the abort can end these calls before the TLS layer's 30 seconds.
    for (const TTlsServerMode Mode : {TTlsServerMode::NeverHandshake, TTlsServerMode::Silent}) {
        SCOPED_TRACE(Mode == TTlsServerMode::Silent ? "reading" : "handshaking");
        TTlsTestServer Server({Mode, {}});
        std::thread Aborter([&] {
            if (Mode == TTlsServerMode::Silent) {
                Server.WaitForRequests(1);
            } else {
                Server.WaitForAccepted(1);
            }
            FHttp.Abort();
        });
        const auto Start = std::chrono::steady_clock::now();
        EXPECT_THROW(Post("https", "127.0.0.1", Server.Port()), EIdOperationAborted);
        Aborter.join();
        EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(10));
    }
}

TEST_F(TlsClient, HttpsPostToDebiansOpenSslServer) {
    TOpenSslServerProcess Server("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n"
                                 "Content-Length: 13\r\n\r\nfrom s_server");
    EXPECT_EQ(Post("https", "localhost", Server.Port()), u"from s_server");
}

// The certificate check: what a server's certificate gets with the test CA trusted (or the
// system's certificates), with or without a receiver that accepts it.
class TlsVerify : public TlsClient {
protected:
    TlsVerify() { FSsl.VerifyPeer = true; }

    // Calls AHost on a server with ACertificate; records what the receiver is asked.
    std::string Call(const TTestCertificate& ACertificate, std::string_view AHost, bool AAccept,
                     TTlsTestServer*& AServer) {
        FAsked.clear();
        FSsl.OnVerifyPeer = [this, AAccept](const TIdPeerCertificate& APeer) {
            FAsked.push_back(APeer);
            return AAccept;
        };
        FServer = std::make_unique<TTlsTestServer>(
            TTlsServerOptions{TTlsServerMode::Answer, OkAnswer, true, &ACertificate});
        AServer = FServer.get();
        try {
            return Utf8(Post("https", AHost, FServer->Port()));
        } catch (const std::exception& E) {
            return E.what();
        }
    }

    std::vector<TIdPeerCertificate> FAsked;
    std::unique_ptr<TTlsTestServer> FServer;
};

TEST_F(TlsVerify, ChainAndNameDecideWhoIsAsked) {
    const TTestPki& Pki = TTestPki::Get();
    struct TCase {
        const char* Name;
        const TTestCertificate& Certificate;
        const char* Host;
        bool TrustTestCa;
        const char* Why; // the verify error the receiver is given; null: passes silently
    };
    const TCase Cases[] = {
        {"chain to the test CA, by address", Pki.Leaf, "127.0.0.1", true, nullptr},
        {"chain to the test CA, by name", Pki.Leaf, "LocalHost", true, nullptr},
        {"test CA unknown to the system", Pki.Leaf, "127.0.0.1", false,
         "unable to get local issuer certificate"},
        {"expired", Pki.Expired, "127.0.0.1", true, "certificate has expired"},
        {"wrong name", Pki.WrongName, "localhost", true, "hostname mismatch"},
        {"wrong address", Pki.WrongName, "127.0.0.1", true, "IP address mismatch"},
        {"self-signed", Pki.SelfSigned, "127.0.0.1", true, "self"},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        FSsl.SSLOptions().RootCertFile = Case.TrustTestCa ? Pki.CaFile : std::string();
        for (const bool Accept : {false, true}) {
            TTlsTestServer* S = nullptr;
            const std::string Result = Call(Case.Certificate, Case.Host, Accept, S);
            ASSERT_TRUE(S->WaitForServed(1));
            if (Case.Why == nullptr) {
                EXPECT_EQ(Result, "hello world");
                EXPECT_TRUE(FAsked.empty());
                continue;
            }
            ASSERT_EQ(FAsked.size(), 1U);
            EXPECT_NE(FAsked[0].VerifyError.find(Case.Why), std::string::npos)
                << FAsked[0].VerifyError;
            EXPECT_EQ(FAsked[0].Fingerprint, Case.Certificate.Fingerprint);
            if (Accept) {
                EXPECT_EQ(Result, "hello world");
                continue;
            }
            // Refused before any byte of the request: the server read nothing.
            const std::string Prefix = "Untrusted certificate of " + std::string(Case.Host) + ":" +
                                       std::to_string(S->Port()) + ": " + FAsked[0].VerifyError +
                                       "\r\nFingerprint: " + Case.Certificate.Fingerprint;
            EXPECT_EQ(Result, Prefix);
            EXPECT_EQ(S->Requests(), std::vector<std::string>{""});
        }
    }
}

TEST_F(TlsVerify, TheReceiverIsToldWhatTheCertificateSays) {
    const TTestPki& Pki = TTestPki::Get();
    TTlsTestServer* S = nullptr;
    Call(Pki.Expired, "localhost", false, S);
    ASSERT_EQ(FAsked.size(), 1U);
    const TIdPeerCertificate& Peer = FAsked[0];
    EXPECT_EQ(Peer.Host, "localhost");
    EXPECT_EQ(Peer.Port, S->Port());
    EXPECT_EQ(Peer.Subject, "CN=localhost,O=VL Test");
    EXPECT_EQ(Peer.Issuer, "CN=VL Test CA,O=VL Test");
    for (const std::string& Date : {Peer.NotBefore, Peer.NotAfter}) {
        EXPECT_EQ(Date.size(), 23U) << Date;
        EXPECT_TRUE(Date.starts_with("20") && Date.ends_with(" UTC")) << Date;
    }
    EXPECT_LT(Peer.NotBefore, Peer.NotAfter);
    ASSERT_EQ(Peer.Fingerprint.size(), 7U + 64U);
    EXPECT_TRUE(Peer.Fingerprint.starts_with("sha256:"));
    EXPECT_EQ(Peer.Fingerprint.find_first_not_of("0123456789abcdef", 7), std::string::npos);
}

TEST_F(TlsVerify, WithoutAReceiverAFailingCertificateIsRefused) {
    FServer = std::make_unique<TTlsTestServer>(TTlsServerOptions{TTlsServerMode::Answer, OkAnswer});
    try {
        Post("https", "127.0.0.1", FServer->Port());
        ADD_FAILURE() << "no failure";
    } catch (const EIdOSSLCertificateRejected& E) {
        EXPECT_EQ(E.Certificate.Fingerprint, TTestCertificate::Get().Fingerprint);
        EXPECT_TRUE(std::string_view(E.what()).ends_with(E.Certificate.Fingerprint)) << E.what();
    }
    ASSERT_TRUE(FServer->WaitForServed(1));
    EXPECT_EQ(FServer->Requests(), std::vector<std::string>{""});
    EXPECT_EQ(FSsl.SSLSocket(), nullptr);
}

TEST_F(TlsVerify, AbortWhileTheReceiverDecidesEndsAsAnAbort) {
    FServer = std::make_unique<TTlsTestServer>(TTlsServerOptions{TTlsServerMode::Answer, OkAnswer});
    FSsl.OnVerifyPeer = [this](const TIdPeerCertificate&) {
        FHttp.Abort();
        return false;
    };
    EXPECT_THROW(Post("https", "127.0.0.1", FServer->Port()), EIdOperationAborted);
    ASSERT_TRUE(FServer->WaitForServed(1));
    EXPECT_EQ(FServer->Requests(), std::vector<std::string>{""});
}

// Both command-line tools check as the window does, with the same ways to trust a certificate
// and the same words for a refusal; the password never goes to a server that is not trusted.
struct TTrustTool {
    const char* Program;
    // The arguments that make one call to AURL after the options.
    std::vector<std::string> (*Call)(const std::string& AURL);
    const char* Where; // where the hint puts --pin
    const char* Name;  // what begins its messages
};
const TTrustTool TrustTools[] = {
    {VL_POST_TOOL,
     [](const std::string& AURL) {
         return std::vector<std::string>{AURL, "Password=s3cret"};
     },
     " before the URL", "vlcallbench-post"},
    {VL_CALL_TOOL,
     [](const std::string& AURL) {
         return std::vector<std::string>{"--server", AURL, "--password-env", "VL_TEST_PASSWORD",
                                         "AccountsList"};
     },
     "", "vlcallbench-call"},
};

TEST(TlsCommandLineTools, TrustOptionsAndRefusal) {
    const TTestPki& Pki = TTestPki::Get();
    TTempFolder Config; // the window's settings, with one pin
    setenv("XDG_CONFIG_HOME", Config.Path().c_str(), 1);
    TTempFolder Data; // the call tool's history
    setenv("XDG_DATA_HOME", Data.Path().c_str(), 1);
    setenv("VL_TEST_PASSWORD", "s3cret", 1);
    struct TCase {
        const char* Name;
        const TTestCertificate& Certificate;
        std::vector<std::string> Options;
        const char* Why; // null: the call goes through
        bool PinnedInWindow = false;
    };
    const TCase Cases[] = {
        {"chain to --cacert", Pki.Leaf, {"--cacert", Pki.CaFile}, nullptr},
        {"chain to an unknown CA", Pki.Leaf, {}, "unable to get local issuer certificate"},
        {"expired", Pki.Expired, {"--cacert", Pki.CaFile}, "certificate has expired"},
        {"pinned",
         Pki.SelfSigned,
         {"--pin", Pki.SelfSigned2.Fingerprint, "--pin", Pki.SelfSigned.Fingerprint},
         nullptr},
        {"other pin", Pki.SelfSigned, {"--pin", Pki.SelfSigned2.Fingerprint}, "self"},
        {"insecure", Pki.SelfSigned, {"--insecure"}, nullptr},
        {"pinned in the window", Pki.SelfSigned, {}, nullptr, true},
    };
    for (const TTrustTool& Tool : TrustTools) {
        for (const TCase& Case : Cases) {
            SCOPED_TRACE(std::string(Tool.Program) + ": " + Case.Name);
            TTlsTestServer Server({TTlsServerMode::Answer, OkAnswer, true, &Case.Certificate});
            if (Case.PinnedInWindow) {
                ASSERT_TRUE(TPinStore(TPinStore::DefaultFileName())
                                .Pin("127.0.0.1", Server.Port(), Case.Certificate.Fingerprint));
            }
            std::vector<std::string> Args = Case.Options;
            for (std::string& Arg : Tool.Call(Utf8(Url("https", "127.0.0.1", Server.Port()))))
                Args.push_back(std::move(Arg));
            const TProgramRun Run = RunProgram(Tool.Program, Args);
            ASSERT_TRUE(Server.WaitForServed(1));
            if (Case.Why == nullptr) {
                EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
                EXPECT_EQ(Run.Out, "hello world");
                ASSERT_EQ(Server.Requests().size(), 1U);
                EXPECT_NE(Server.Requests()[0].find("Password=s3cret"), std::string::npos);
                continue;
            }
            EXPECT_EQ(Run.ExitCode, 1);
            EXPECT_EQ(Run.Out, "");
            const std::string Head =
                std::string(Tool.Name) +
                ": Untrusted certificate of 127.0.0.1:" + std::to_string(Server.Port()) + ": " +
                Case.Why;
            EXPECT_TRUE(Run.Err.starts_with(Head)) << Run.Err;
            EXPECT_TRUE(Run.Err.ends_with("\r\nFingerprint: " + Case.Certificate.Fingerprint +
                                          "\nTo trust this certificate, pass --pin " +
                                          Case.Certificate.Fingerprint + Tool.Where + ".\n"))
                << Run.Err;
            // Nothing was written to the server, the password least of all.
            EXPECT_EQ(Server.Requests(), std::vector<std::string>{""});
        }
    }

    const TProgramRun BadPin = RunProgram(VL_POST_TOOL, {"--pin", "sha1:00", "https://[::1]/"});
    EXPECT_EQ(BadPin.ExitCode, 2);
    EXPECT_TRUE(BadPin.Err.starts_with("vlcallbench-post: option '--pin' needs sha256: and 64 "
                                       "hexadecimal digits, not 'sha1:00'\n"))
        << BadPin.Err;
    const TProgramRun BadCallPin = RunProgram(VL_CALL_TOOL, {"--pin", "sha1:00", "AccountsList"});
    EXPECT_EQ(BadCallPin.ExitCode, 2);
    EXPECT_EQ(BadCallPin.Err, "vlcallbench-call: option '--pin' needs sha256: and 64 hexadecimal "
                              "digits, not 'sha1:00'\n");
    unsetenv("VL_TEST_PASSWORD");
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
}

} // namespace
