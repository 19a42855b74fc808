// The answer's status line and header block without a connection: status codes, continuation
// lines, the first of repeated headers, Content-Length and META values.

#include "IdException.h"
#include "IdHTTPResponse.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

TEST(HttpResponseHeaders, StatusCodeTable) {
    const std::pair<std::string, int> Cases[] = {
        {"HTTP/1.1 200 OK", 200},
        {"HTTP/1.0 404 Not Found", 404},
        {"HTTP/1.1 abc", -1},
        {"HTTP/1.1", -1},
        {"", -1},
        {"HTTP/1.1  302  Found", 302},
        {"HTTP/1.1 200.5 OK", 200},
        {"HTTP/1.1 -7 X", -7},
    };
    for (const auto& [Line, Code] : Cases)
        EXPECT_EQ(TIdHTTPResponse::ParseStatusCode(Line), Code) << Line;
}

TEST(HttpResponseHeaders, ContinuationFirstOccurrenceAndAllCookies) {
    TIdHTTPResponse R;
    for (const char* Line :
         {"Content-Type: text/plain", "X-Long: part one ", "\t  part two",
          "content-type: text/html", "Set-Cookie: a=1", "Set-Cookie: b=2", "Content-Length:  12 ",
          "WWW-Authenticate: Basic", "WWW-Authenticate: Digest"})
        R.RawHeaders.AddReceivedLine(Line);
    R.InterpretHeaders();
    EXPECT_EQ(R.RawHeaders.Value("x-long"), "part one part two");
    EXPECT_EQ(R.ContentType, "text/plain");
    EXPECT_EQ(R.CharSet, "ISO-8859-1");
    EXPECT_EQ(R.ContentLength, 12);
    EXPECT_EQ(R.RawHeaders.Values("SET-COOKIE"), (std::vector<std::string>{"a=1", "b=2"}));
    EXPECT_EQ(R.WWWAuthenticate, (std::vector<std::string>{"Basic", "Digest"}));
}

TEST(HttpResponseHeaders, ContentLengthThatIsNoNumberIsAbsent) {
    for (const char* Value : {"abc", "", "12x", "99999999999999999999"}) {
        TIdHTTPResponse R;
        R.RawHeaders.Add("Content-Length", Value);
        R.InterpretHeaders();
        EXPECT_EQ(R.ContentLength, -1) << Value;
        EXPECT_FALSE(R.HasContentLength());
    }
}

TEST(HttpResponseHeaders, MetaValuesReplaceHeadersAsOneByOne) {
    const std::vector<std::pair<std::string, std::string>> Meta = {
        {"X-A", "1"}, {"content-type", "text/plain"}, {"x-a", "2"}, {"X-New", "n"}};
    TIdHeaderList OneByOne, AtOnce;
    for (TIdHeaderList* List : {&OneByOne, &AtOnce})
        for (const char* Line : {"Content-Type: text/html", "X-A: 0", "Server: s", "X-A: 00"})
            List->AddReceivedLine(Line);
    for (const auto& [Name, Value] : Meta)
        OneByOne.SetValue(Name, Value);
    AtOnce.SetValues(Meta);
    EXPECT_EQ(AtOnce.Lines(), OneByOne.Lines());

    // A page of many META elements is work that Cancel must be able to end.
    TIdHTTPResponse R;
    R.RawHeaders.Add("Content-Type", "text/html");
    R.InterpretHeaders();
    for (int I = 0; I < 5000; ++I)
        R.Body += "<meta http-equiv=\"X-" + std::to_string(I) + "\" content=\"v\">";
    int Checks = 0;
    EXPECT_THROW(R.DetectBodyCharSet([&] {
        if (++Checks == 2)
            throw EIdOperationAborted("Operation aborted.");
    }),
                 EIdOperationAborted);
}
