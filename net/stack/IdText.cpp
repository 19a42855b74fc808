#include "IdText.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <unicode/uidna.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr char32_t ReplacementChar = 0xFFFD;

// Widens the 16 bytes at AData into the 16 units at AOut; returns how many of them are ASCII
// before the first that is not.
std::size_t WidenASCII16(const uint8_t* AData, char16_t* AOut) {
#ifdef __SSE2__
    const __m128i Bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AData));
    const __m128i Zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut), _mm_unpacklo_epi8(Bytes, Zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut + 8), _mm_unpackhi_epi8(Bytes, Zero));
    const auto HighBits = static_cast<unsigned>(_mm_movemask_epi8(Bytes));
    return HighBits == 0 ? 16 : static_cast<std::size_t>(std::countr_zero(HighBits));
#else
    std::size_t Count = 16;
    for (std::size_t K = 16; K-- > 0;) {
        AOut[K] = AData[K];
        if (AData[K] >= 0x80)
            Count = K;
    }
    return Count;
#endif
}

// Narrows the 16 units at AText into the 16 bytes at AOut; returns how many of them are ASCII
// before the first that is not.
std::size_t NarrowASCII16(const char16_t* AText, char* AOut) {
#ifdef __SSE2__
    const __m128i Low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AText));
    const __m128i High = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AText + 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut), _mm_packus_epi16(Low, High));
    // A unit is ASCII when none of its bits above the lowest seven is set.
    const __m128i NotASCII = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i Zero = _mm_setzero_si128();
    const __m128i ASCII = _mm_packs_epi16(_mm_cmpeq_epi16(_mm_and_si128(Low, NotASCII), Zero),
                                          _mm_cmpeq_epi16(_mm_and_si128(High, NotASCII), Zero));
    const auto Others = ~static_cast<unsigned>(_mm_movemask_epi8(ASCII)) & 0xFFFFu;
    return Others == 0 ? 16 : static_cast<std::size_t>(std::countr_zero(Others));
#else
    std::size_t Count = 16;
    for (std::size_t K = 16; K-- > 0;) {
        AOut[K] = static_cast<char>(AText[K]);
        if (AText[K] >= 0x80)
            Count = K;
    }
    return Count;
#endif
}

// Whether the 16 bytes at AData are all ASCII.
bool IsASCII16(const uint8_t* AData) {
#ifdef __SSE2__
    return _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(AData))) == 0;
#else
    return std::all_of(AData, AData + 16, [](uint8_t AByte) { return AByte < 0x80; });
#endif
}

// Decodes the character at AData[AIndex] (or the ill-formed bytes there, as U+FFFD) into AOut;
// advances both past it.
void DecodeOther(const uint8_t* AData, std::size_t& AIndex, std::size_t ALength, char16_t*& AOut) {
    UChar32 C = 0;
    U8_NEXT_OR_FFFD(AData, AIndex, ALength, C);
    if (U_IS_BMP(C)) {
        *AOut++ = static_cast<char16_t>(C);
    } else {
        *AOut++ = U16_LEAD(C);
        *AOut++ = U16_TRAIL(C);
    }
}

} // namespace

namespace IdText {

void AppendUTF8(std::string& AOut, char32_t ACode) {
    if (ACode < 0x80) {
        AOut += static_cast<char>(ACode);
        return;
    }
    if (U_IS_SURROGATE(ACode) || ACode > 0x10FFFF)
        ACode = ReplacementChar;
    uint8_t Bytes[U8_MAX_LENGTH];
    std::size_t Length = 0;
    U8_APPEND_UNSAFE(Bytes, Length, static_cast<UChar32>(ACode));
    AOut.append(reinterpret_cast<const char*>(Bytes), Length);
}

bool HostToASCII(std::string_view AHost, std::string& AASCII) {
    if (std::all_of(AHost.begin(), AHost.end(),
                    [](char C) { return static_cast<unsigned char>(C) < 0x80; })) {
        AASCII.assign(AHost);
        return true;
    }
    if (AHost.size() > 1024) {
        return false;
    }
    // Nontransitional, as browsers convert: "ß" stays a letter of its own.
    static UIDNA* const Converter = [] {
        UErrorCode Status = U_ZERO_ERROR;
        return uidna_openUTS46(
            UIDNA_NONTRANSITIONAL_TO_ASCII | UIDNA_CHECK_BIDI | UIDNA_CHECK_CONTEXTJ, &Status);
    }();
    if (Converter == nullptr) {
        return false;
    }
    char Out[1024 * 4];
    UIDNAInfo Info = UIDNA_INFO_INITIALIZER;
    UErrorCode Status = U_ZERO_ERROR;
    const int32_t Length =
        uidna_nameToASCII_UTF8(Converter, AHost.data(), static_cast<int32_t>(AHost.size()), Out,
                               static_cast<int32_t>(sizeof Out), &Info, &Status);
    // Hyphens where the rules would not have them are in real names that resolve.
    constexpr uint32_t Ignored =
        UIDNA_ERROR_LEADING_HYPHEN | UIDNA_ERROR_TRAILING_HYPHEN | UIDNA_ERROR_HYPHEN_3_4;
    if (U_FAILURE(Status) || (Info.errors & ~Ignored) != 0 || Length <= 0) {
        return false;
    }
    AASCII.assign(Out, static_cast<std::size_t>(Length));
    return true;
}

std::size_t EncodeUTF8(std::u16string_view AText, char* AOut) {
    char* Out = AOut;
    const char16_t* In = AText.data();
    const char16_t* const End = In + AText.size();
    while (In < End) {
        // A block is narrowed whole and kept up to its first unit that is not ASCII; the room
        // for three bytes a unit holds the sixteen bytes.
        while (End - In >= 16) {
            const std::size_t Run = NarrowASCII16(In, Out);
            Out += Run;
            In += Run;
            if (Run < 16)
                break;
        }
        if (In == End)
            break;
        const char16_t C = *In++;
        if (C < 0x80) {
            *Out++ = static_cast<char>(C);
        } else if (C < 0x800) {
            *Out++ = static_cast<char>(0xC0 | (C >> 6));
            *Out++ = static_cast<char>(0x80 | (C & 0x3F));
        } else if (C >= 0xD800 && C <= 0xDBFF && In < End && *In >= 0xDC00 && *In <= 0xDFFF) {
            const char32_t Code = 0x10000 + ((char32_t(C) - 0xD800) << 10) + (*In++ - 0xDC00);
            *Out++ = static_cast<char>(0xF0 | (Code >> 18));
            *Out++ = static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
            *Out++ = static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
            *Out++ = static_cast<char>(0x80 | (Code & 0x3F));
        } else {
            const char32_t Code = (C >= 0xD800 && C <= 0xDFFF) ? 0xFFFD : C;
            *Out++ = static_cast<char>(0xE0 | (Code >> 12));
            *Out++ = static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
            *Out++ = static_cast<char>(0x80 | (Code & 0x3F));
        }
    }
    return static_cast<std::size_t>(Out - AOut);
}

std::string ToUTF8(std::u16string_view AText) {
    std::string Out(AText.size() * 3, '\0');
    Out.resize(EncodeUTF8(AText, Out.data()));
    return Out;
}

std::size_t WellFormedUTF8(std::span<const uint8_t> ABytes) {
    const uint8_t* const Data = ABytes.data();
    const std::size_t Length = ABytes.size();
    std::size_t I = 0;
    while (I < Length) {
        // ASCII sixteen bytes at a time; the rest by the table of well-formed sequences.
        while (Length - I >= 16 && IsASCII16(Data + I))
            I += 16;
        if (I == Length)
            break;
        const uint8_t Lead = Data[I];
        if (Lead < 0x80) {
            ++I;
            continue;
        }
        std::size_t Size = 0;
        uint8_t Low = 0x80;
        uint8_t High = 0xBF;
        if (Lead >= 0xC2 && Lead <= 0xDF) {
            Size = 2;
        } else if (Lead >= 0xE0 && Lead <= 0xEF) {
            Size = 3;
            Low = Lead == 0xE0 ? 0xA0 : 0x80;
            High = Lead == 0xED ? 0x9F : 0xBF;
        } else if (Lead >= 0xF0 && Lead <= 0xF4) {
            Size = 4;
            Low = Lead == 0xF0 ? 0x90 : 0x80;
            High = Lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            break;
        }
        if (Length - I < Size || Data[I + 1] < Low || Data[I + 1] > High)
            break;
        std::size_t K = 2;
        while (K < Size && U8_IS_TRAIL(Data[I + K]))
            ++K;
        if (K < Size)
            break;
        I += Size;
    }
    return I;
}

std::size_t DecodeUTF8(std::span<const uint8_t> ABytes, char16_t* AOut) {
    // ASCII, the bulk of most answers, is widened here 16 bytes at a time, and so are well-formed
    // two-byte characters (Latin, Greek, Cyrillic); every other character goes through ICU's own
    // decoding step.
    const uint8_t* Data = ABytes.data();
    const std::size_t Length = ABytes.size();
    std::size_t I = 0;
    char16_t* Out = AOut;
    while (I < Length) {
        // A block is widened whole and kept up to its first byte that is not ASCII. Never more
        // units than bytes come out, so with 16 bytes left the 16 units fit in AOut.
        while (Length - I >= 16) {
            const std::size_t Run = WidenASCII16(Data + I, Out);
            Out += Run;
            I += Run;
            if (Run < 16)
                break;
        }
        if (I == Length)
            break;
        const uint8_t Lead = Data[I];
        if (Lead < 0x80) {
            *Out++ = Lead;
            ++I;
        } else if (Lead >= 0xC2 && Lead <= 0xDF && Length - I >= 2 && U8_IS_TRAIL(Data[I + 1])) {
            *Out++ = static_cast<char16_t>(((Lead & 0x1F) << 6) | (Data[I + 1] & 0x3F));
            I += 2;
        } else {
            DecodeOther(Data, I, Length, Out);
        }
    }
    return static_cast<std::size_t>(Out - AOut);
}

std::u16string FromUTF8(std::string_view AText) {
    std::u16string Out(AText.size(), u'\0');
    Out.resize(DecodeUTF8(std::span(reinterpret_cast<const uint8_t*>(AText.data()), AText.size()),
                          Out.data()));
    return Out;
}

std::string ValidUTF8(std::span<const uint8_t> ABytes) {
    std::string Out;
    Out.reserve(ABytes.size());
    ForEachCodePoint(std::string_view(reinterpret_cast<const char*>(ABytes.data()), ABytes.size()),
                     [&](char32_t C) { AppendUTF8(Out, C); });
    return Out;
}

std::u16string FromLatin1(std::string_view ABytes) {
    std::u16string Out(ABytes.size(), u'\0');
    for (std::size_t I = 0; I < ABytes.size(); ++I)
        Out[I] = static_cast<unsigned char>(ABytes[I]);
    return Out;
}

std::string Latin1ToUTF8(std::string_view ABytes) {
    std::string Out;
    Out.reserve(ABytes.size());
    for (const char C : ABytes)
        AppendUTF8(Out, static_cast<unsigned char>(C));
    return Out;
}

} // namespace IdText
