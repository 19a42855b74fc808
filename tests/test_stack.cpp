#include "IdComponent.h"
#include "IdException.h"
#include "IdSocketHandle.h"
#include "IdStack.h"
#include "IdStackPosix.h"
#include "IdText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <netdb.h>
#include <string>
#include <sys/socket.h>
#include <unicode/ustring.h>

namespace {

std::atomic<int> ResolverCalls{0};
std::atomic<int> ResolverResult{0};

std::string ResolverAsked; // the last name a replaced resolver was asked for

int CountingFailingResolver(const char* AHost, const char*, const addrinfo*, addrinfo**) {
    ++ResolverCalls;
    ResolverAsked = AHost;
    return ResolverResult.load();
}

// Resolves only numeric literals, through the real resolver, and counts the calls.
int NumericResolver(const char* AHost, const char* AService, const addrinfo* AHints,
                    addrinfo** AResult) {
    ++ResolverCalls;
    addrinfo Hints = *AHints;
    Hints.ai_flags = AI_NUMERICHOST;
    return getaddrinfo(AHost, AService, &Hints, AResult);
}

// Holds the stack and a replaced resolver for one test.
class StackTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResolverCalls = 0;
        ResolverResult = EAI_NONAME;
        TIdStackPosix::SetResolver(CountingFailingResolver);
    }
    void TearDown() override { TIdStackPosix::SetResolver(nullptr); }

    TIdComponent FUser; // keeps GlobalStack alive
};

std::string MessageOf(int ACode) {
    try {
        TIdStack::RaiseSocketError(ACode);
    } catch (const EIdSocketError& E) {
        EXPECT_EQ(E.LastError, ACode);
        return E.what();
    }
    return "not raised";
}

} // namespace

TEST(SocketErrorText, MessagesFollowTheTable) {
    const struct {
        int Code;
        const char* Message;
    } Cases[] = {
        {10061, "Socket Error # 10061\r\nConnection refused."},
        {10054, "Socket Error # 10054\r\nConnection reset by peer."},
        {10065, "Socket Error # 10065\r\nNo route to host."},
        {10066, "Socket Error # 10066\r\nDirectory not empty"},
        {11001, "Socket Error # 11001\r\nHost not found."},
        {11002, "Socket Error # 11002\r\n"},
        {10005, "Socket Error # 10005\r\n"},
        {0, "Socket Error # 0\r\n"},
    };
    for (const auto& Case : Cases) {
        EXPECT_EQ(TIdStack::WSTranslateSocketErrorMsg(Case.Code), Case.Message) << Case.Code;
        EXPECT_EQ(MessageOf(Case.Code), Case.Message) << Case.Code;
    }
}

TEST(SocketErrorText, NonSocketRaisesItsOwnClass) {
    EXPECT_THROW(TIdStack::RaiseSocketError(10038), EIdNotASocket);
    try {
        TIdStack::RaiseSocketError(10060);
    } catch (const EIdNotASocket&) {
        FAIL() << "10060 is not a non-socket error";
    } catch (const EIdSocketError& E) {
        EXPECT_EQ(E.LastError, 10060);
    }
}

TEST(SocketErrorText, PlatformNumbersMapOntoTheTable) {
    const struct {
        int Errno;
        int Code;
    } Cases[] = {{ECONNREFUSED, 10061}, {ETIMEDOUT, 10060},   {ECONNRESET, 10054},
                 {EHOSTUNREACH, 10065}, {ENETUNREACH, 10051}, {EADDRINUSE, 10048},
                 {EPIPE, 10058},        {ENOTSOCK, 10038},    {EINTR, 10004},
                 {EWOULDBLOCK, 10035},  {ENOTCONN, 10057},    {EAFNOSUPPORT, 10047}};
    for (const auto& Case : Cases) {
        EXPECT_EQ(TIdStackBSDBase::ErrnoToSocketError(Case.Errno), Case.Code) << Case.Errno;
    }
    const struct {
        int Result;
        int Code;
    } Resolver[] = {
        {EAI_NONAME, 11001},
        {EAI_AGAIN, 11002},
        {EAI_FAIL, 11003},
        {EAI_FAMILY, 10047},
        {EAI_SOCKTYPE, 10044},
        {EAI_SERVICE, 10109},
        {EAI_MEMORY, 8},
        {EAI_BADFLAGS, 10022},
#if defined(EAI_NODATA) && EAI_NODATA != EAI_NONAME
        {EAI_NODATA, 11004},
#endif
#ifdef EAI_ADDRFAMILY
        {EAI_ADDRFAMILY, 11004},
#endif
    };
    for (const auto& Case : Resolver) {
        EXPECT_EQ(TIdStackBSDBase::ResolverErrorToSocketError(Case.Result, 0), Case.Code)
            << Case.Result;
    }
    EXPECT_EQ(TIdStackBSDBase::ResolverErrorToSocketError(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST_F(StackTest, CheckForSocketErrorIgnoresListedNumbers) {
    TIdStack& Stack = GlobalStack();
    EXPECT_EQ(Stack.CheckForSocketError(5), 5);
    errno = ECONNRESET;
    EXPECT_EQ(Stack.CheckForSocketError(-1, {10054, 10053}), 10054);
    errno = ECONNREFUSED;
    EXPECT_THROW(Stack.CheckForSocketError(-1, {10054}), EIdSocketError);
    errno = ECONNREFUSED;
    EXPECT_THROW(Stack.CheckForSocketError(-1), EIdSocketError);
}

TEST(IsIP, DottedLiteralsOnly) {
    const struct {
        const char* Text;
        bool IP;
    } Cases[] = {
        {"10.0.0.5", true},        {"127.0.0.1", true},        {"0.0.0.0", true},
        {"255.255.255.255", true}, {" 10 . 0 . 0 . 5 ", true}, {"010.000.000.005", true},
        {"10.0.0", false},         {"10.0.0.5.1", false},      {"256.1.1.1", false},
        {"1.2.3.-4", false},       {"a.b.c.d", false},         {"", false},
        {"10..0.5", false},        {"example.com", false},     {"99999999999.1.1.1", false},
    };
    for (const auto& Case : Cases) {
        EXPECT_EQ(TIdStack::IsIP(Case.Text), Case.IP) << '"' << Case.Text << '"';
    }
}

TEST(CanonicalIPv6, EightUpperCaseGroups) {
    const struct {
        const char* Text;
        const char* Canonical;
    } Cases[] = {
        {"::1", "0:0:0:0:0:0:0:1"},
        {"fe80::a:b0", "FE80:0:0:0:0:0:A:B0"},
        {"2001:DB8:0:0:0:0:0:ff", "2001:DB8:0:0:0:0:0:FF"},
        {"::ffff:10.0.0.5", "0:0:0:0:0:FFFF:A00:5"},
        {"::", "0:0:0:0:0:0:0:0"},
        {"10.0.0.5", ""},
        {"localhost", ""},
        {"[::1]", ""},
        {"", ""},
    };
    for (const auto& Case : Cases) {
        EXPECT_EQ(CanonicalIPv6(Case.Text), Case.Canonical) << Case.Text;
    }
}

TEST_F(StackTest, LocalhostAndLiteralsNeverReachTheResolver) {
    TIdStack& Stack = GlobalStack();
    for (const char* Host : {"localhost", "LOCALHOST", "LocalHost"}) {
        EXPECT_EQ(Stack.ResolveHost(Host, Id_IPv4), "127.0.0.1");
        EXPECT_EQ(Stack.ResolveHost(Host, Id_IPv6), "::1");
    }
    EXPECT_EQ(Stack.ResolveHost("10.0.0.5", Id_IPv4), "10.0.0.5");
    EXPECT_EQ(Stack.ResolveHost("::1", Id_IPv6), "0:0:0:0:0:0:0:1");
    EXPECT_EQ(ResolverCalls, 0);

    EXPECT_THROW(Stack.ResolveHost("10.0.0.5.1", Id_IPv4), EIdSocketError);
    EXPECT_THROW(Stack.ResolveHost("10.0.0", Id_IPv4), EIdSocketError);
    EXPECT_EQ(ResolverCalls, 2);
}

TEST_F(StackTest, UnsupportedIPVersionIsRefused) {
    try {
        GlobalStack().ResolveHost("localhost", static_cast<TIdIPVersion>(2));
        FAIL();
    } catch (const EIdIPVersionUnsupported& E) {
        EXPECT_STREQ(E.what(), "The requested IPVersion / Address family is not supported.");
    }
}

TEST_F(StackTest, ResolverFailuresBecomeSocketErrors) {
    const struct {
        int Result;
        int Code;
        const char* Message;
    } Cases[] = {
        {EAI_NONAME, 11001, "Socket Error # 11001\r\nHost not found."},
        {EAI_AGAIN, 11002, "Socket Error # 11002\r\n"},
        {EAI_FAIL, 11003, "Socket Error # 11003\r\n"},
#ifdef EAI_ADDRFAMILY
        // A name without an address of the family asked for is a failure with a number too.
        {EAI_ADDRFAMILY, 11004, "Socket Error # 11004\r\n"},
#endif
    };
    for (const auto& Case : Cases) {
        ResolverResult = Case.Result;
        try {
            GlobalStack().LookupHost("no-such-host.invalid", Id_IPv4);
            ADD_FAILURE() << Case.Result;
        } catch (const EIdSocketError& E) {
            EXPECT_EQ(E.LastError, Case.Code);
            EXPECT_STREQ(E.what(), Case.Message);
        }
    }
}

TEST_F(StackTest, NamesWithOtherLettersAreLookedUpInTheirASCIIForm) {
    // The same in any locale: the conversion is not the resolver's.
    const std::pair<std::string, std::string> Names[] = {
        {"b\xC3\xBC"
         "cher.example",
         "xn--bcher-kva.example"},
        {"STRA\xC3\x9F"
         "E.example",
         "xn--strae-oqa.example"},
        {"plain-Name.example", "plain-Name.example"},
    };
    for (const auto& [Name, Asked] : Names) {
        EXPECT_THROW(GlobalStack().ResolveHost(Name, Id_IPv4), EIdSocketError) << Name;
        EXPECT_EQ(ResolverAsked, Asked);
    }
    // A name that has no ASCII form is not found, without asking the resolver.
    ResolverCalls = 0;
    try {
        GlobalStack().ResolveHost("bad\xEF\xBF\xBDname.example", Id_IPv4);
        ADD_FAILURE() << "no failure";
    } catch (const EIdSocketError& E) {
        EXPECT_EQ(E.LastError, 11001);
        EXPECT_STREQ(E.what(), "Socket Error # 11001\r\nHost not found.");
    }
    EXPECT_EQ(ResolverCalls, 0);
}

TEST_F(StackTest, LookupRendersTheFirstAddress) {
    TIdStackPosix::SetResolver(NumericResolver);
    EXPECT_EQ(GlobalStack().LookupHost("2001:db8::ff", Id_IPv6), "2001:DB8:0:0:0:0:0:FF");
    EXPECT_EQ(GlobalStack().LookupHost("192.0.2.17", Id_IPv4), "192.0.2.17");
}

TEST(GlobalStack, CountedByComponents) {
    const int Before = TIdStack::StackUsers();
    {
        TIdComponent First;
        EXPECT_EQ(TIdStack::StackUsers(), Before + 1);
        TIdStack* Stack = &GlobalStack();
        {
            TIdComponent Second;
            EXPECT_EQ(TIdStack::StackUsers(), Before + 2);
            EXPECT_EQ(&GlobalStack(), Stack);
        }
        EXPECT_EQ(TIdStack::StackUsers(), Before + 1);
        EXPECT_EQ(&GlobalStack(), Stack) << "the stack lives while a user remains";
    }
    EXPECT_EQ(TIdStack::StackUsers(), Before);
    if (Before == 0) {
        EXPECT_THROW(GlobalStack(), EIdStackError);
    }
}

TEST_F(StackTest, BindingKeepsItsFamilyWhileAllocated) {
    TIdSocketHandle Binding;
    Binding.AllocateSocket(SOCK_STREAM);
    EXPECT_TRUE(Binding.HandleAllocated());
    EXPECT_EQ(Binding.SocketType(), SOCK_STREAM);
    EXPECT_TRUE(Binding.UseNagle);
    try {
        Binding.SetIPVersion(Id_IPv6);
        FAIL();
    } catch (const EIdSocketHandleError& E) {
        EXPECT_STREQ(E.what(), "Cannot change IPVersion when connected");
    }
    Binding.Reset();
    EXPECT_FALSE(Binding.HandleAllocated());
    Binding.SetIPVersion(Id_IPv6);
    EXPECT_EQ(Binding.IPVersion(), Id_IPv6);
}

TEST_F(StackTest, BindFailureHasItsOwnMessage) {
    TIdSocketHandle Binding;
    Binding.AllocateSocket(SOCK_STREAM);
    Binding.IP = "192.0.2.1"; // documentation address: not on this machine
    try {
        Binding.Bind();
        FAIL();
    } catch (const EIdCouldNotBindSocket& E) {
        EXPECT_STREQ(E.what(), "Could not bind socket.");
    }
}

// Every form of the client's text replaces ill-formed UTF-8 the way ICU's own string conversion
// does, so a header line, a body and a URL typed by the user read the same.
TEST(TextConversion, IllFormedUTF8IsReplacedAlikeEverywhere) {
    const std::string Samples[] = {
        "plain",
        "a\377b",
        "\xE2\202A",
        "\xC0\xAF",
        "\xED\xA0\x80",
        "\xF4\x90\x80\x80",
        "\xF0\x9F\x98",
        "\xF0\x9F\x98\x80!",
        "\xC3\xA9\x80",
        "\xE2\x82\xAC",
        "",
        "\x80\x80",
    };
    for (const std::string& Sample : Samples) {
        std::u16string Expected(Sample.size(), u'\0');
        int32_t Length = 0;
        UErrorCode Status = U_ZERO_ERROR;
        u_strFromUTF8WithSub(reinterpret_cast<UChar*>(Expected.data()),
                             static_cast<int32_t>(Expected.size()), &Length, Sample.data(),
                             static_cast<int32_t>(Sample.size()), 0xFFFD, nullptr, &Status);
        ASSERT_TRUE(U_SUCCESS(Status));
        Expected.resize(static_cast<std::size_t>(Length));
        const auto Bytes =
            std::span(reinterpret_cast<const uint8_t*>(Sample.data()), Sample.size());
        EXPECT_EQ(IdText::FromUTF8(Sample), Expected) << Sample;
        EXPECT_EQ(IdText::ToUTF8(Expected), DecodeText(Bytes, TIdTextEncoding::enUTF8)) << Sample;
        // Writing as Latin-1 walks the same characters: one byte for each.
        std::size_t Points = 0;
        IdText::ForEachCodePoint(std::u16string_view(Expected), [&](char32_t) { ++Points; });
        EXPECT_EQ(EncodeText(Sample, TIdTextEncoding::enLatin1).size(), Points) << Sample;
    }
}

// ASCII is widened a block at a time: every character, well-formed or not, decodes the same
// whatever its place in and around a block, and nothing is written past the room given.
TEST(TextConversion, CharactersDecodeAlikeAtEveryPlaceOfABlock) {
    const std::string Samples[] = {
        "\xC3\xA9",
        "\xC2\x80",
        "\xDF\xBF",
        "\xC2",
        "\302A",
        "\xC1\xBF",
        "\xE2\x82\xAC",
        "\xED\xA0\x80",
        "\xF0\x9F\x98\x80",
        "\xF0\x9F\x98",
        "\x80",
        "\xFF",
        "\xC3\xA9\xC3\xA9",
        "\xE0\xA0\x80",
        "\xE0\x9F\xBF",
        "\xED\x9F\xBF",
        "\xF4\x8F\xBF\xBF",
        "\xF4\x90\x80\x80",
        "\xF0\x8F\xBF\xBF",
        "\xEF\xBB\xBF",
    };
    const auto Reference = [](const std::string& AText) {
        std::u16string Out(AText.size(), u'\0');
        int32_t Length = 0;
        UErrorCode Status = U_ZERO_ERROR;
        u_strFromUTF8WithSub(reinterpret_cast<UChar*>(Out.data()), static_cast<int32_t>(Out.size()),
                             &Length, AText.data(), static_cast<int32_t>(AText.size()), 0xFFFD,
                             nullptr, &Status);
        Out.resize(static_cast<std::size_t>(Length));
        return Out;
    };
    for (const std::string& Sample : Samples)
        for (std::size_t Before = 0; Before <= 33; ++Before)
            for (const std::size_t After : {0, 1, 15, 16, 17, 40}) {
                const std::string Text =
                    std::string(Before, 'a') + Sample + std::string(After, 'z');
                const std::u16string Expected = Reference(Text);
                std::u16string Out(Text.size() + 16, u'#');
                const std::size_t Written = IdText::DecodeUTF8(
                    std::span(reinterpret_cast<const uint8_t*>(Text.data()), Text.size()),
                    Out.data());
                ASSERT_EQ(Out.substr(0, Written), Expected) << Before << " " << After;
                ASSERT_EQ(Out.substr(Text.size()), std::u16string(16, u'#'))
                    << Before << " " << After;
                const auto* Bytes = reinterpret_cast<const uint8_t*>(Text.data());
                const auto Length = static_cast<int32_t>(Text.size());
                int32_t WellFormed = 0;
                for (int32_t I = 0; I < Length;) {
                    UChar32 C = 0;
                    U8_NEXT(Bytes, I, Length, C);
                    if (C < 0)
                        break;
                    WellFormed = I;
                }
                ASSERT_EQ(IdText::WellFormedUTF8(std::span(Bytes, Text.size())),
                          static_cast<std::size_t>(WellFormed))
                    << Before << " " << After;
            }
}

// UTF-16 is narrowed a block at a time: every character, a lone surrogate too, encodes as ICU
// encodes it whatever its place in and around a block.
TEST(TextConversion, CharactersEncodeAlikeAtEveryPlaceOfABlock) {
    const std::u16string Samples[] = {
        u"\u00E9",          u"\u007F\u0080",    u"\u07FF\u0800",
        u"\u20AC",          u"\U0001F600",      u"\uFFFF",
        {char16_t(0xD800)}, {char16_t(0xDC00)}, {char16_t(0xDBFF), u'x'},
    };
    for (const std::u16string& Sample : Samples)
        for (std::size_t Before = 0; Before <= 33; ++Before)
            for (const std::size_t After : {0, 1, 15, 16, 17, 40}) {
                const std::u16string Text =
                    std::u16string(Before, u'a') + Sample + std::u16string(After, u'z');
                std::string Expected(Text.size() * 3, '\0');
                int32_t Length = 0;
                UErrorCode Status = U_ZERO_ERROR;
                u_strToUTF8WithSub(Expected.data(), static_cast<int32_t>(Expected.size()), &Length,
                                   reinterpret_cast<const UChar*>(Text.data()),
                                   static_cast<int32_t>(Text.size()), 0xFFFD, nullptr, &Status);
                ASSERT_TRUE(U_SUCCESS(Status));
                Expected.resize(static_cast<std::size_t>(Length));
                ASSERT_EQ(IdText::ToUTF8(Text), Expected) << Before << " " << After;
            }
}

TEST(TextConversion, SurrogatesAndLatin1) {
    // A pair is one character; a lone surrogate has no UTF-8 form.
    EXPECT_EQ(IdText::ToUTF8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(IdText::ToUTF8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(IdText::ToUTF8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    EXPECT_EQ(IdText::Latin1ToUTF8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(IdText::FromLatin1("\xFF"), u"\u00FF");
    EXPECT_EQ(EncodeText("\xC3\xA9\xE2\x82\xAC", TIdTextEncoding::enLatin1), (TIdBytes{0xE9, '?'}));
    EXPECT_EQ(EncodeText("\xC3\xA9", TIdTextEncoding::enASCII), (TIdBytes{'?'}));
}

TEST(TextConversion, EqualsNoCaseFoldsAsciiLettersOnly) {
    EXPECT_TRUE(IdText::EqualsNoCase("LocalHost", "localhost"));
    EXPECT_TRUE(IdText::EqualsNoCase(u"HTTPS", "https"));
    EXPECT_FALSE(IdText::EqualsNoCase("http", "https"));
    EXPECT_FALSE(IdText::EqualsNoCase("[", "{")); // 0x5B and 0x7B differ by the case bit only
    EXPECT_TRUE(IdText::EqualsNoCase("\xC3\xA9", "\xC3\xA9"));
    EXPECT_FALSE(IdText::EqualsNoCase("\xC3\x89", "\xC3\xA9"));
    EXPECT_FALSE(IdText::EqualsNoCase(u"\u00E9", "\xE9"));
}
