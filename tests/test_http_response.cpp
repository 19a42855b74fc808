// The HTTP client's answer side: status line and headers, the decision by status code, body
// framing, character sets and decoding, keeping the connection, and the cookie store.

#include "IdCharsets.h"
#include "IdCookies.h"
#include "IdHTTP.h"
#include "IdHTTPResponse.h"
#include "IdHTTPText.h"
#include "IdText.h"
#include "IdTextDecoder.h"
#include "MemoryIOHandler.h"
#include "ScriptedServer.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <poll.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Header block, status code and character set, without a connection.

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

TEST(HttpCharsets, CharSetFromContentType) {
    const std::pair<std::string, std::string> Cases[] = {
        {"text/plain", "ISO-8859-1"},
        {"text/html; charset=\"UTF-8\"", "UTF-8"},
        {"text/xml", "us-ascii"},
        {"text/xml-external-parsed-entity", "us-ascii"},
        {"text/svg+xml", "us-ascii"},
        {"application/octet-stream", ""},
        {"", ""},
        // JSON without a charset is UTF-8; a charset in the header still wins.
        {"application/json", "UTF-8"},
        {"application/problem+json", "UTF-8"},
        {"application/json; charset=iso-8859-1", "iso-8859-1"},
    };
    for (const auto& [Type, CharSet] : Cases) {
        TIdHTTPResponse R;
        if (!Type.empty())
            R.RawHeaders.Add("Content-Type", Type);
        R.InterpretHeaders();
        EXPECT_EQ(R.CharSet, CharSet) << Type;
    }
    TIdHTTPResponse R;
    R.RawHeaders.Add("Content-Type", "multipart/mixed; charset=utf-8; boundary=xyz");
    R.InterpretHeaders();
    EXPECT_EQ(R.ContentType, "multipart/mixed; boundary=xyz");
    EXPECT_EQ(IdCharsets::MediaTypeParam(R.ContentType, "boundary"), "xyz");
}

TEST(HttpCharsets, DecodeByNameAliasAndFallback) {
    const std::string Bytes = "\xC3\xB6";
    EXPECT_EQ(IdCharsets::Decode(Bytes, "utf-8"), u"\u00F6");
    EXPECT_EQ(IdCharsets::Decode(Bytes, "UTF8"), u"\u00F6");
    EXPECT_EQ(IdCharsets::Decode(Bytes, "ISO-8859-1"), u"\u00C3\u00B6");
    EXPECT_EQ(IdCharsets::Decode(Bytes, "latin1"), u"\u00C3\u00B6");
    EXPECT_EQ(IdCharsets::Decode(Bytes, ""), u"\u00C3\u00B6");
    EXPECT_EQ(IdCharsets::Decode(Bytes, "no-such-charset"), u"\u00C3\u00B6");
    EXPECT_EQ(IdCharsets::Decode("\xE0", "windows-1251"), u"\u0430");
    EXPECT_EQ(IdCharsets::Decode("\xE0", "KOI8-R"), u"\u042E");
    EXPECT_EQ(IdCharsets::Decode(std::string("\xFF\xFE\x41\x00", 4), "UTF-16"), u"A");
    EXPECT_EQ(IdCharsets::Decode(std::string("\x00\x41", 2), "UTF16BE"), u"A");
    EXPECT_EQ(IdCharsets::Decode("\xEF\xBB\xBFx", "UTF-8"), u"x");
    // An invalid sequence does not stop the decoding.
    EXPECT_EQ(IdCharsets::Decode("a\xFF"
                                 "b",
                                 "UTF-8"),
              u"a\uFFFDb");
}

// ICU's conversion of the whole string, the mark at the front dropped: what the body decoder must
// give however the bytes are cut into pieces.
std::u16string WholeUTF8(const std::string& ABytes) {
    std::u16string Out(ABytes.size() + 1, u'\0');
    int32_t Length = 0;
    UErrorCode Status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(Out.data()), static_cast<int32_t>(Out.size()),
                         &Length, ABytes.data(), static_cast<int32_t>(ABytes.size()), 0xFFFD,
                         nullptr, &Status);
    Out.resize(static_cast<std::size_t>(Length));
    if (!Out.empty() && Out.front() == u'\xFEFF')
        Out.erase(0, 1);
    return Out;
}

// Fewer than AMaxLength random bytes of AAlphabet, and random places to cut them at.
std::pair<std::string, std::vector<std::size_t>>
RandomPieces(std::mt19937& ARandom, const std::string& AAlphabet, std::size_t AMaxLength) {
    std::string Bytes(ARandom() % AMaxLength, ' ');
    for (char& C : Bytes)
        C = AAlphabet[ARandom() % AAlphabet.size()];
    std::vector<std::size_t> Cuts;
    for (std::size_t At = 0; !Bytes.empty() && (At += 1 + ARandom() % 9) < Bytes.size();)
        Cuts.push_back(At);
    return {Bytes, Cuts};
}

// Hands AFeed the pieces of ABytes that end at ACuts, then the last one.
template <typename TFeed>
void InPieces(const std::string& ABytes, const std::vector<std::size_t>& ACuts, TFeed&& AFeed) {
    const auto* Data = reinterpret_cast<const uint8_t*>(ABytes.data());
    std::size_t From = 0;
    for (std::size_t I = 0; I <= ACuts.size(); ++I) {
        const std::size_t Cut = I < ACuts.size() ? ACuts[I] : ABytes.size();
        AFeed(std::span(Data + From, Cut - From), Cut);
        From = Cut;
    }
}

// The body fed to ADecoder in pieces that end at ACuts, the text taken as UTF-8 after each as the
// tools take it.
std::string TakeUTF8InPieces(TIdTextDecoder ADecoder, const std::string& ABytes,
                             const std::vector<std::size_t>& ACuts) {
    ADecoder.SetOutputUTF8();
    std::string Text;
    InPieces(ABytes, ACuts, [&](std::span<const uint8_t> APiece, std::size_t) {
        ADecoder.Feed(APiece);
        Text += ADecoder.TakeUTF8();
    });
    return Text + ADecoder.FinishUTF8();
}

// The text of the body fed in pieces that end at ACuts; taken as UTF-8 as it comes, the same
// pieces give its UTF-8 form.
std::u16string DecodeInPieces(TIdTextDecoder::TMode AMode, const std::string& ABytes,
                              const std::vector<std::size_t>& ACuts) {
    TIdTextDecoder Decoder(AMode);
    InPieces(ABytes, ACuts, [&](std::span<const uint8_t> APiece, std::size_t) {
        Decoder.Feed(APiece, static_cast<int64_t>(ABytes.size()));
    });
    std::u16string Text = Decoder.Finish();
    EXPECT_EQ(TakeUTF8InPieces(TIdTextDecoder(AMode), ABytes, ACuts), IdText::ToUTF8(Text));
    return Text;
}

TEST(HttpCharsets, BodyDecodedInPiecesEqualsWholeConversion) {
    const std::string Ascii = "{\"Result\":\"Ok\",\"Name\":\"abcdefghijklmnopqrstuvwxyz\"}";
    const std::string Samples[] = {
        "",
        Ascii,
        "\xEF\xBB\xBF" + Ascii,
        "\xEF\xBB\xBF\xEF\xBB\xBF",
        Ascii + "\xC3\xA4\xC3\xB6" + Ascii + "\xE2\x82\xAC\xF0\x9F\x98\x80" + Ascii,
        // Ill-formed: lone trail bytes, cut-short characters, overlong forms, surrogates, bytes
        // past U+10FFFF, and bytes no character starts with.
        "a\x80\xBF" + Ascii + "\xC3" + Ascii + "\xE2\x82" + Ascii + "\xF0\x9F\x98",
        "\xC0\x80\xC1\xBF\xE0\x80\x80\xED\xA0\x80\xF4\x90\x80\x80\xF5\xFF" + Ascii,
        "\xF0\x9F\x98\x80\x80\x80\x80\x80\x80" + Ascii + "\xE2",
    };
    for (const std::string& Sample : Samples) {
        SCOPED_TRACE(::testing::PrintToString(Sample));
        const std::u16string Expected = WholeUTF8(Sample);
        EXPECT_EQ(IdCharsets::Decode(Sample, "UTF-8"), Expected);
        EXPECT_EQ(DecodeInPieces(TIdTextDecoder::TMode::Bytes, Sample, {}),
                  IdHTTPText::FromLatin1(Sample));
        for (std::size_t Cut = 0; Cut <= Sample.size(); ++Cut)
            EXPECT_EQ(DecodeInPieces(TIdTextDecoder::TMode::UTF8, Sample, {Cut}), Expected)
                << "cut at " << Cut;
        std::vector<std::size_t> Singles;
        for (std::size_t Cut = 1; Cut < Sample.size(); ++Cut)
            Singles.push_back(Cut);
        EXPECT_EQ(DecodeInPieces(TIdTextDecoder::TMode::UTF8, Sample, Singles), Expected);
        EXPECT_EQ(DecodeInPieces(TIdTextDecoder::TMode::Bytes, Sample, Singles),
                  IdHTTPText::FromLatin1(Sample));
    }

    // Random bytes rich in lead and trail bytes, cut at random places.
    std::mt19937 Random(20240601);
    const std::string Alphabet = std::string("aZ{\"\x7F\x80\x8F\x90\x9F\xA0\xBF\xC0\xC2\xDF\xE0"
                                             "\xE1\xED\xEE\xEF\xF0\xF1\xF4\xF5\xFF") +
                                 std::string(1, '\0');
    for (int Round = 0; Round < 3000; ++Round) {
        const auto [Bytes, Cuts] = RandomPieces(Random, Alphabet, 80);
        ASSERT_EQ(DecodeInPieces(TIdTextDecoder::TMode::UTF8, Bytes, Cuts), WholeUTF8(Bytes))
            << ::testing::PrintToString(Bytes);
    }
}

// ICU's conversion of the whole body in one call, a mark at the front of a Unicode encoding
// dropped: what the client gave for these charsets when it held the body whole.
std::u16string WholeConversion(const std::string& ABytes, const char* ACharSet) {
    UErrorCode Status = U_ZERO_ERROR;
    UConverter* Converter = ucnv_open(ACharSet, &Status);
    std::u16string Out(ABytes.size() * 2 + 16, u'\0');
    const int32_t Length = ucnv_toUChars(Converter, reinterpret_cast<UChar*>(Out.data()),
                                         static_cast<int32_t>(Out.size()), ABytes.data(),
                                         static_cast<int32_t>(ABytes.size()), &Status);
    EXPECT_TRUE(U_SUCCESS(Status)) << ACharSet << ": " << u_errorName(Status);
    const std::string Name = ucnv_getName(Converter, &Status);
    ucnv_close(Converter);
    Out.resize(static_cast<std::size_t>(std::max(Length, 0)));
    if (Name.starts_with("UTF") && !Out.empty() && Out.front() == u'\xFEFF')
        Out.erase(0, 1);
    return Out;
}

std::string Encode(const std::u16string& AText, const char* ACharSet) {
    UErrorCode Status = U_ZERO_ERROR;
    UConverter* Converter = ucnv_open(ACharSet, &Status);
    std::string Out(AText.size() * 4 + 16, '\0');
    const int32_t Length = ucnv_fromUChars(Converter, Out.data(), static_cast<int32_t>(Out.size()),
                                           reinterpret_cast<const UChar*>(AText.data()),
                                           static_cast<int32_t>(AText.size()), &Status);
    EXPECT_TRUE(U_SUCCESS(Status)) << ACharSet << ": " << u_errorName(Status);
    ucnv_close(Converter);
    Out.resize(static_cast<std::size_t>(std::max(Length, 0)));
    return Out;
}

// The body fed in pieces that end at ACuts, the text taken after each as the tools take it; no
// piece of text ends in the first half of a surrogate pair.
std::u16string TakeInPieces(const std::string& ABytes, const char* ACharSet,
                            const std::vector<std::size_t>& ACuts) {
    TIdTextDecoder Decoder = IdCharsets::MakeDecoder(ACharSet);
    std::u16string Text;
    InPieces(ABytes, ACuts, [&](std::span<const uint8_t> APiece, std::size_t AEnd) {
        Decoder.Feed(APiece);
        const std::u16string_view Piece = Decoder.Take();
        EXPECT_FALSE(!Piece.empty() && U16_IS_LEAD(Piece.back())) << "piece ending at " << AEnd;
        Text += Piece;
    });
    Text += Decoder.Finish();
    EXPECT_EQ(TakeUTF8InPieces(IdCharsets::MakeDecoder(ACharSet), ABytes, ACuts),
              IdText::ToUTF8(Text));
    return Text;
}

std::vector<std::size_t> CutsEvery(std::size_t AStep, std::size_t ASize) {
    std::vector<std::size_t> Cuts;
    for (std::size_t Cut = AStep; Cut < ASize; Cut += AStep)
        Cuts.push_back(Cut);
    return Cuts;
}

// Charsets that need a converter are decoded as the body arrives too: fed whole, byte by byte or
// in odd pieces, the text equals the conversion of the whole body, characters cut between pieces
// (several bytes, UTF-16 and UTF-32 units, surrogate pairs) and a character cut short at the end
// included.
TEST(HttpCharsets, ConverterCharsetsDecodedInPiecesEqualWholeConversion) {
    const std::u16string Latin = u"Gr\u00FC\u00DFe \u2013 \u201Cquoted\u201D \u20AC5 \u2026";
    const std::u16string Wide = u"A\u00E9\u4E2D\u6587 \U0001F600 z\U00010348";
    const struct {
        const char* CharSet;
        std::u16string Text;
        std::string Invalid; // bytes the charset cannot read
    } Cases[] = {
        {"windows-1252", Latin, "\x81\x8D\x90"},
        {"KOI8-R", u"\u041F\u0440\u0438\u0432\u0435\u0442, \u043C\u0438\u0440", "\xFF\x80"},
        {"Shift_JIS", u"\u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8 \uFF76\uFF80",
         "\x82\x20\xA0\xFD"},
        {"GB18030", u"\u4E2D\u6587 \U0001F600 \u00E9", "\x81\x30\x81\xFF\x80"},
        {"EUC-KR", u"\uD55C\uAD6D\uC5B4 \uD14D\uC2A4\uD2B8", "\xA1\x41\xFF"},
        {"UTF-16LE", u"\uFEFF" + Wide, std::string("\x00\xDC\x3D\xD8", 4)},
        {"UTF-16BE", u"\uFEFF" + Wide, std::string("\xDC\x00\xD8\x3D", 4)},
        {"UTF-16", u"\uFEFF" + Wide, std::string("\x00\xDC", 2)},
        {"UTF-32", u"\uFEFF" + Wide, std::string("\x00\x11\x00\x00", 4)},
        {"UTF-32LE", Wide, std::string("\x00\xD8\x00\x00", 4)},
        // These give the first half of a surrogate pair before the second has arrived.
        {"UTF-7", Wide, "+\xFF-"},
        {"CESU-8", Wide, "\xED\xA0\xBDx"},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.CharSet);
        ASSERT_EQ(IdCharsets::DecodingOf(Case.CharSet), IdCharsets::TDecoding::Converter);
        const std::string Body = Encode(Case.Text, Case.CharSet);
        ASSERT_EQ(WholeConversion(Body, Case.CharSet),
                  Case.Text.starts_with(u'\xFEFF') ? Case.Text.substr(1) : Case.Text);
        const std::string InvalidFirst = Case.Invalid + Body;
        const std::string Samples[] = {
            Body,
            Body + InvalidFirst,
            InvalidFirst,
            // A character cut short at the end.
            Body.substr(0, Body.size() - 1),
            Body + Body.substr(0, Body.size() - 1),
            Body + Case.Invalid,
        };
        for (const std::string& Sample : Samples) {
            SCOPED_TRACE(::testing::PrintToString(Sample));
            const std::u16string Expected = WholeConversion(Sample, Case.CharSet);
            EXPECT_EQ(IdCharsets::Decode(Sample, Case.CharSet), Expected);
            EXPECT_EQ(TakeInPieces(Sample, Case.CharSet, {}), Expected);
            for (const std::size_t Step : {1, 3, 7})
                EXPECT_EQ(TakeInPieces(Sample, Case.CharSet, CutsEvery(Step, Sample.size())),
                          Expected)
                    << "pieces of " << Step;
            for (std::size_t Cut = 1; Cut < Sample.size(); ++Cut)
                EXPECT_EQ(TakeInPieces(Sample, Case.CharSet, {Cut}), Expected) << "cut at " << Cut;
            // Kept whole, as the window keeps it.
            TIdTextDecoder Decoder = IdCharsets::MakeDecoder(Case.CharSet);
            const auto* Data = reinterpret_cast<const uint8_t*>(Sample.data());
            for (std::size_t From = 0; From < Sample.size(); From += 5)
                Decoder.Feed(std::span(Data + From, std::min<std::size_t>(5, Sample.size() - From)),
                             static_cast<int64_t>(Sample.size()));
            EXPECT_EQ(Decoder.Finish(), Expected);
        }

        // Random pieces of valid and invalid bytes, cut at random places.
        std::mt19937 Random(20261210);
        const std::string Alphabet = Body + Case.Invalid;
        for (int Round = 0; Round < 300; ++Round) {
            const auto [Bytes, Cuts] = RandomPieces(Random, Alphabet, 60);
            ASSERT_EQ(TakeInPieces(Bytes, Case.CharSet, Cuts), WholeConversion(Bytes, Case.CharSet))
                << ::testing::PrintToString(Bytes);
        }
    }
}

// Text types without a charset are ISO-8859-1, decoded byte by byte like an unknown name, so that
// they are decoded as they arrive; the converter gives the very same text.
TEST(HttpCharsets, Latin1IsDecodedByteByByte) {
    std::string Every(256, '\0');
    for (int Code = 0; Code < 256; ++Code)
        Every[static_cast<std::size_t>(Code)] = static_cast<char>(Code);
    for (const char* Name : {"ISO-8859-1", "iso-8859-1", "latin1", "l1", "ISO_8859-1:1987"}) {
        SCOPED_TRACE(Name);
        EXPECT_EQ(IdCharsets::DecodingOf(Name), IdCharsets::TDecoding::Bytes);
        EXPECT_EQ(IdCharsets::Decode(Every, Name), IdHTTPText::FromLatin1(Every));
    }
    EXPECT_EQ(IdCharsets::DecodingOf("windows-1252"), IdCharsets::TDecoding::Converter);
    EXPECT_EQ(IdCharsets::DecodingOf("utf8"), IdCharsets::TDecoding::UTF8);
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

TEST(HttpCharsets, BodyDecoderGrowsByAtMostDoubling) {
    // Room of many times the text would make a large answer fail for want of address space.
    const std::vector<uint8_t> Piece(4096, 'a');
    for (const int64_t Announced : {int64_t(-1), int64_t(100000)})
        for (const char* CharSet : {"UTF-8", "windows-1252"}) {
            TIdTextDecoder Decoder = IdCharsets::MakeDecoder(CharSet);
            std::size_t Fed = 0;
            for (int I = 0; I < 40; ++I) {
                Decoder.Feed(Piece, Announced);
                Fed += Piece.size();
                EXPECT_LE(Decoder.Capacity(), 2 * Fed) << Fed;
                if (Announced >= 0) {
                    EXPECT_LE(Decoder.Capacity(), std::max<std::size_t>(Fed, Announced)) << Fed;
                }
            }
            EXPECT_EQ(Decoder.Finish(), std::u16string(Fed, u'a'));
        }
    // Text taken as it comes keeps room for one piece, however much has passed.
    for (const char* CharSet : {"UTF-8", "windows-1252", "Shift_JIS", "UTF-16LE"}) {
        TIdTextDecoder Decoder = IdCharsets::MakeDecoder(CharSet);
        std::size_t Taken = 0;
        for (int I = 0; I < 100; ++I) {
            Decoder.Feed(Piece);
            Taken += Decoder.Take().size();
            EXPECT_LE(Decoder.Capacity(), 2 * Piece.size()) << CharSet;
        }
        EXPECT_EQ(Taken + Decoder.Finish().size(),
                  IdCharsets::Decode(std::string(Piece.size(), 'a'), CharSet).size() * 100)
            << CharSet;
    }
}

TEST(HttpCharsets, XmlAutodetection) {
    const std::pair<std::string, std::string> Cases[] = {
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><a/>", "windows-1252"},
        {"<?xml version='1.0' encoding = 'ISO-8859-5' ?>", "ISO-8859-5"},
        {"<?xml version=\"1.0\"?><a/>", "UTF-8"},
        {"<a/>", "UTF-8"},
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?>", "UTF-8"},
        {std::string("\xFE\xFF\x00<", 4), "UTF-16BE"},
        {std::string("\xFF\xFE<\x00", 4), "UTF-16LE"},
        {std::string("\x00<\x00?", 4), "UTF-16BE"},
        {std::string("<\x00?\x00", 4), "UTF-16LE"},
        {std::string("\x00\x00\x00<", 4), "UTF-32BE"},
        {std::string("<\x00\x00\x00", 4), "UTF-32LE"},
        {std::string("\x4C\x6F\xA7\x94\x40\xA5\x85\x99\xA2\x89\x96\x95", 12), "IBM037"},
    };
    for (const auto& [Body, CharSet] : Cases)
        EXPECT_EQ(IdCharsets::DetectXMLEncoding(Body), CharSet) << Body;
}

TEST(HttpCharsets, BodyCharSetByMediaType) {
    struct Case {
        std::string ContentType, Body, CharSet;
    };
    const Case Cases[] = {
        {"text/html", "<html><head><META charset=\"windows-1251\"></head>", "windows-1251"},
        {"text/html; charset=utf-8",
         "<meta http-equiv='Content-Type' content='text/html; charset=koi8-r'>", "koi8-r"},
        {"text/html; charset=utf-8", "<meta http-equiv=\"Content-Type\" content=\"text/html\">",
         "ISO-8859-1"},
        {"text/html; charset=utf-8", "<p>no meta</p>", "utf-8"},
        {"application/xhtml+xml", "<meta charset=utf-8/>", "utf-8"},
        // XML autodetection replaces the header's charset.
        {"application/xml; charset=iso-8859-1", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
         "UTF-8"},
        {"application/atom+xml", "<feed/>", "UTF-8"},
        // A text type is no XML type here: the header decides.
        {"text/xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "us-ascii"},
        {"text/plain", "<meta charset=utf-8>", "ISO-8859-1"},
    };
    for (const Case& C : Cases) {
        TIdHTTPResponse R;
        R.RawHeaders.Add("Content-Type", C.ContentType);
        R.InterpretHeaders();
        R.Body = C.Body;
        R.DetectBodyCharSet();
        EXPECT_EQ(R.CharSet, C.CharSet) << C.ContentType << " / " << C.Body;
    }
}

// ---------------------------------------------------------------------------------------------
// Cookie store.

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

// ---------------------------------------------------------------------------------------------
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

// Serves AReply to one request APieceSize bytes at a time (0: as they fit), then ends the
// connection as asked.
std::u16string PostTo(const std::string& AReply, TEnd AEnd, std::size_t APieceSize,
                      std::string& AError) {
    TMemoryIOHandler Handler;
    Handler.Replies = {AReply};
    Handler.End = AEnd;
    Handler.PieceSize = APieceSize;
    TIdHTTP HTTP;
    HTTP.SetIOHandler(&Handler);
    HTTP.ReadTimeout = 5000;
    std::u16string Text;
    AError = "<no failure>";
    try {
        Text = HTTP.Post(u"http://127.0.0.1:8087/api", {u"Command=AccountsList"});
    } catch (const EIdException& E) {
        AError = E.Message();
    }
    HTTP.SetIOHandler(nullptr);
    return Text;
}

// A client whose connections are answered from memory, one reply per connection.
struct TMemoryClient {
    TMemoryIOHandler Handler;
    TIdHTTP HTTP;
    explicit TMemoryClient(std::vector<std::string> AReplies) {
        Handler.Replies = std::move(AReplies);
        HTTP.SetIOHandler(&Handler);
        HTTP.ReadTimeout = 5000;
    }
    ~TMemoryClient() { HTTP.SetIOHandler(nullptr); }
    static constexpr const char16_t* URL = u"http://127.0.0.1:8087/api";
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
            std::string Error;
            const std::u16string Text = PostTo(C.Reply, C.End, PieceSize, Error);
            EXPECT_EQ(Error, C.Error.empty() ? "<no failure>" : C.Error)
                << C.Name << ", pieces of " << PieceSize;
            EXPECT_EQ(Text, C.Text) << C.Name << ", pieces of " << PieceSize;
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
