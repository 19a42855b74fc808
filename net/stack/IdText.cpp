#include "IdText.h"

#include <algorithm>
#include <cstring>
#include <unicode/uidna.h>

namespace {

constexpr char32_t ReplacementChar = 0xFFFD;

bool AllASCII16(const uint8_t* AData) {
    uint64_t A = 0;
    uint64_t B = 0;
    std::memcpy(&A, AData, 8);
    std::memcpy(&B, AData + 8, 8);
    return ((A | B) & 0x8080808080808080ULL) == 0;
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

std::string ToUTF8(std::u16string_view AText) {
    std::string Out;
    Out.reserve(AText.size());
    ForEachCodePoint(AText, [&](char32_t C) { AppendUTF8(Out, C); });
    return Out;
}

std::size_t DecodeUTF8(std::span<const uint8_t> ABytes, char16_t* AOut) {
    // ASCII, the bulk of most answers, is widened here; every other character goes through ICU's
    // own decoding step.
    const uint8_t* Data = ABytes.data();
    const std::size_t Length = ABytes.size();
    std::size_t I = 0;
    char16_t* Out = AOut;
    while (I < Length) {
        while (Length - I >= 16 && AllASCII16(Data + I)) {
            for (int K = 0; K < 16; ++K)
                Out[K] = Data[I + K];
            Out += 16;
            I += 16;
        }
        const std::size_t End = std::min(Length, I + 16);
        while (I < End) {
            if (Data[I] < 0x80) {
                *Out++ = Data[I++];
                continue;
            }
            UChar32 C = 0;
            U8_NEXT_OR_FFFD(Data, I, Length, C);
            if (U_IS_BMP(C)) {
                *Out++ = static_cast<char16_t>(C);
            } else {
                *Out++ = U16_LEAD(C);
                *Out++ = U16_TRAIL(C);
            }
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
