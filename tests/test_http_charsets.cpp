// Character sets of an answer: the charset from Content-Type, META and XML, decoding by name with
// aliases and fallback, and the body decoded as it arrives equal to ICU's conversion of the whole
// body however the bytes are cut.

#include "IcuReference.h"
#include "IdCharsets.h"
#include "IdHTTPResponse.h"
#include "IdHTTPText.h"
#include "IdText.h"
#include "IdTextDecoder.h"

#include <gtest/gtest.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

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
        EXPECT_EQ(R.CharSetAssumed, Type.find("charset=") == std::string::npos) << Type;
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

// ICU's conversion of the whole body, expected to succeed.
std::u16string WholeConversion(const std::string& ABytes, const char* ACharSet) {
    bool ok = false;
    std::u16string text = IcuWholeConversion(ABytes, ACharSet, &ok);
    EXPECT_TRUE(ok) << ACharSet;
    return text;
}

std::string Encode(const std::u16string& AText, const char* ACharSet) {
    bool ok = false;
    std::string bytes = IcuEncode(AText, ACharSet, &ok);
    EXPECT_TRUE(ok) << ACharSet;
    return bytes;
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
