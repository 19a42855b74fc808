#include "IcuReference.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace {

struct TConverterClose {
    void operator()(UConverter* AConverter) const { ucnv_close(AConverter); }
};
using TConverter = std::unique_ptr<UConverter, TConverterClose>;

// The converter named AName; empty, and AOk false when given, if ICU has none.
TConverter OpenConverter(const char* AName, bool* AOk) {
    UErrorCode status = U_ZERO_ERROR;
    TConverter converter(ucnv_open(AName, &status));
    if (U_FAILURE(status)) {
        converter.reset();
        if (AOk)
            *AOk = false;
    }
    return converter;
}

} // namespace

std::u16string IcuWholeConversion(std::string_view ABytes, const char* AConverter, bool* AOk) {
    const TConverter converter = OpenConverter(AConverter, AOk);
    if (!converter)
        return {};
    UErrorCode status = U_ZERO_ERROR;
    std::u16string text(ABytes.size() * 2 + 16, u'\0');
    const int32_t length = ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(text.data()),
                                         static_cast<int32_t>(text.size()), ABytes.data(),
                                         static_cast<int32_t>(ABytes.size()), &status);
    if (AOk)
        *AOk = U_SUCCESS(status);
    const std::string name = ucnv_getName(converter.get(), &status);
    text.resize(static_cast<std::size_t>(std::max(length, 0)));
    if (name.starts_with("UTF") && !text.empty() && text.front() == u'\xFEFF')
        text.erase(0, 1);
    return text;
}

std::string IcuEncode(std::u16string_view AText, const char* AConverter, bool* AOk) {
    const TConverter converter = OpenConverter(AConverter, AOk);
    if (!converter)
        return {};
    UErrorCode status = U_ZERO_ERROR;
    std::string bytes(AText.size() * 4 + 16, '\0');
    const int32_t length = ucnv_fromUChars(
        converter.get(), bytes.data(), static_cast<int32_t>(bytes.size()),
        reinterpret_cast<const UChar*>(AText.data()), static_cast<int32_t>(AText.size()), &status);
    if (AOk)
        *AOk = U_SUCCESS(status);
    bytes.resize(static_cast<std::size_t>(std::max(length, 0)));
    return bytes;
}
