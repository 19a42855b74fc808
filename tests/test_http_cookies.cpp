// The cookie store: dates, domain and path rules, acceptance and sending, replacement and expiry,
// the caps per domain and in all.

#include "IdCookies.h"
#include "IdException.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {
constexpr std::int64_t T0 = 1700000000;
const TIdCookieRequest HttpRoot{"www.example.com", "http", "/api"};
const TIdCookieRequest HttpsRoot{"www.example.com", "https", "/api"};
} // namespace

TEST(HttpCookies, DateAlgorithm) {
    const std::pair<std::string, std::int64_t> Good[] = {
        {"Wed, 21 Oct 2015 07:28:00 GMT", 1445412480},
        {"Wednesday, 21-Oct-15 07:28:00 GMT", 1445412480},
        {"21 oct 2015 7:28:0", 1445412480},
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"Sun, 29 Feb 2004 12:00:00 GMT", 1078056000},
    };
    for (const auto& [Text, Expected] : Good) {
        std::int64_t Time = -1;
        EXPECT_TRUE(IdCookieRules::ParseCookieDate(Text, Time)) << Text;
        EXPECT_EQ(Time, Expected) << Text;
    }
    for (const char* Bad :
         {"", "Wed, 21 Oct 2015", "21 Foo 2015 07:28:00", "30 Feb 2015 00:00:00",
          "21 Oct 1600 07:28:00", "21 Oct 2015 24:00:00", "32 Oct 2015 07:28:00"}) {
        std::int64_t Time = 0;
        EXPECT_FALSE(IdCookieRules::ParseCookieDate(Bad, Time)) << Bad;
    }
}

TEST(HttpCookies, DomainAndPathRules) {
    EXPECT_TRUE(IdCookieRules::DomainMatch("www.Example.com", "example.COM"));
    EXPECT_TRUE(IdCookieRules::DomainMatch("example.com", "example.com"));
    EXPECT_FALSE(IdCookieRules::DomainMatch("badexample.com", "example.com"));
    EXPECT_FALSE(IdCookieRules::DomainMatch("10.0.0.5", "0.0.5"));
    EXPECT_TRUE(IdCookieRules::PathMatch("/api/x", "/api"));
    EXPECT_TRUE(IdCookieRules::PathMatch("/api/x", "/api/"));
    EXPECT_FALSE(IdCookieRules::PathMatch("/apix", "/api"));
    EXPECT_EQ(IdCookieRules::DefaultPath("/a/b/c"), "/a/b");
    EXPECT_EQ(IdCookieRules::DefaultPath("/api"), "/");
    EXPECT_EQ(IdCookieRules::DefaultPath("api"), "/");
}

TEST(HttpCookies, AcceptanceAndSendingTable) {
    struct Case {
        const char* SetCookie;
        TIdCookieRequest From;
        TIdCookieRequest To;
        const char* Sent; // Cookie header of the later request
    };
    const TIdCookieRequest OtherHost{"other.example.com", "http", "/api"};
    const TIdCookieRequest Sub{"a.www.example.com", "http", "/api"};
    const Case Cases[] = {
        {"s=1", HttpRoot, HttpRoot, "s=1"},
        {"s=1", HttpRoot, Sub, ""}, // host-only
        {"s=1; Domain=www.example.com", HttpRoot, Sub, "s=1"},
        {"s=1; Domain=.example.com", HttpRoot, OtherHost, "s=1"},
        {"s=1; Domain=other.org", HttpRoot, HttpRoot, ""}, // foreign domain: dropped
        {"s=1; Secure", HttpRoot, HttpsRoot, ""},          // Secure only from https
        {"s=1; Secure", HttpsRoot, HttpsRoot, "s=1"},
        {"s=1; Secure", HttpsRoot, HttpRoot, ""}, // and only sent over https
        {"s=1; HttpOnly", HttpRoot, HttpRoot, "s=1"},
        {"s=1; HttpOnly", {"www.example.com", "ftp", "/api"}, HttpRoot, ""},
        {"__Secure-s=1", HttpsRoot, HttpsRoot, ""},
        {"__Secure-s=1; Secure", HttpsRoot, HttpsRoot, "__Secure-s=1"},
        {"__Host-s=1; Secure; Path=/", HttpsRoot, HttpsRoot, "__Host-s=1"},
        {"__Host-s=1; Secure; Path=/; Domain=www.example.com", HttpsRoot, HttpsRoot, ""},
        {"__Host-s=1; Secure; Path=/x", HttpsRoot, HttpsRoot, ""},
        {"s=1; Path=/other", HttpRoot, HttpRoot, ""},
        {"s=1; Path=/api", HttpRoot, {"www.example.com", "http", "/api/v2"}, "s=1"},
        {"s=1; Max-Age=0", HttpRoot, HttpRoot, ""},
        {"s=1; Expires=Thu, 01 Jan 1970 00:00:00 GMT", HttpRoot, HttpRoot, ""},
        {"s=1; Expires=Thu, 01 Jan 1970 00:00:00 GMT; Max-Age=60", HttpRoot, HttpRoot, "s=1"},
        {"s=1; Max-Age=-5; Expires=Wed, 01 Jan 2110 00:00:00 GMT", HttpRoot, HttpRoot, ""},
        {"noequals", HttpRoot, HttpRoot, ""},
        {"=nameless", HttpRoot, HttpRoot, ""},
    };
    for (const Case& C : Cases) {
        TIdCookieManager Store;
        Store.AddServerCookie(C.SetCookie, C.From, T0);
        EXPECT_EQ(Store.CookieHeader(C.To, T0 + 1), C.Sent) << C.SetCookie;
    }
}

TEST(HttpCookies, ReplacementExpiryAndOrder) {
    TIdCookieManager Store;
    Store.AddServerCookie("a=1; Path=/", HttpRoot, T0);
    Store.AddServerCookie("b=2; Path=/api", HttpRoot, T0 + 1);
    Store.AddServerCookie("c=3; Path=/", HttpRoot, T0 + 2);
    // Longest path first, then the earlier created.
    EXPECT_EQ(Store.CookieHeader(HttpRoot, T0 + 3), "b=2; a=1; c=3");

    // Replacement keeps the creation time, so the order stays.
    Store.AddServerCookie("a=9; Path=/", HttpRoot, T0 + 4);
    EXPECT_EQ(Store.CookieHeader(HttpRoot, T0 + 5), "b=2; a=9; c=3");
    EXPECT_EQ(Store.Cookies().size(), 3u);

    // An expired cookie only removes the stored one; a lapsed Max-Age drops the cookie.
    Store.AddServerCookie("c=x; Path=/; Max-Age=0", HttpRoot, T0 + 6);
    Store.AddServerCookie("b=2; Path=/api; Max-Age=10", HttpRoot, T0 + 6);
    EXPECT_EQ(Store.CookieHeader(HttpRoot, T0 + 7), "b=2; a=9");
    EXPECT_EQ(Store.CookieHeader(HttpRoot, T0 + 16), "a=9");
    EXPECT_EQ(Store.Cookies().size(), 1u);
    EXPECT_EQ(Store.Cookies()[0].LastAccess, T0 + 16);
}

TEST(HttpCookies, StoreIsCappedPerDomainAndInAllOldestFirst) {
    TIdCookieManager Store;
    for (int I = 0; I < 60; ++I)
        Store.AddServerCookie("c" + std::to_string(I) + "=v", HttpRoot, T0 + I);
    std::vector<TIdCookie> Kept = Store.Cookies();
    ASSERT_EQ(Kept.size(), TIdCookieManager::MaxPerDomain);
    EXPECT_EQ(Kept.front().Name, "c10");
    // Replacing a kept cookie keeps its age; it is not made young again.
    Store.AddServerCookie("c10=new", HttpRoot, T0 + 100);
    Store.AddServerCookie("d=v", HttpRoot, T0 + 101);
    Kept = Store.Cookies();
    EXPECT_EQ(Kept.front().Name, "c11");

    for (int D = 0; D < 70; ++D)
        for (int I = 0; I < 50; ++I)
            Store.AddServerCookie("c" + std::to_string(I) + "=v",
                                  {"h" + std::to_string(D) + ".example.com", "http", "/"},
                                  T0 + 200);
    Kept = Store.Cookies();
    ASSERT_EQ(Kept.size(), TIdCookieManager::MaxCookies);
    EXPECT_EQ(Kept.front().Domain, "h10.example.com"); // the first 550 went first
    EXPECT_EQ(Store.CookieHeader(HttpRoot, T0 + 201), "");
}

TEST(HttpCookies, ManySetCookieHeadersAreWorkThatAbortEnds) {
    // One answer's cookies in a block: the last one kept holds the place the work reached.
    std::vector<std::string> Values;
    Values.reserve(5000);
    for (int I = 0; I < 5000; ++I)
        Values.push_back("c" + std::to_string(I) + "=v");
    TIdCookieManager Store;
    Store.AddServerCookies(Values, HttpRoot, T0);
    ASSERT_FALSE(Store.Cookies().empty());
    EXPECT_EQ(Store.Cookies().back().Name, "c4999");

    TIdCookieManager Aborted;
    int Checks = 0;
    EXPECT_THROW(Aborted.AddServerCookies(Values, HttpRoot, T0,
                                          [&] {
                                              if (++Checks == 2)
                                                  throw EIdOperationAborted("Operation aborted.");
                                          }),
                 EIdOperationAborted);
    const std::vector<TIdCookie> Kept = Aborted.Cookies();
    ASSERT_FALSE(Kept.empty());
    EXPECT_LT(std::stoi(Kept.back().Name.substr(1)), 2100) << "went on after the abort";
}
