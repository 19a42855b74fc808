#pragma once

#include "IdTextDecoder.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Character set of a response body: from the media type, from HTML META elements, from XML
// autodetection, and the decoding itself.
namespace IdCharsets {

// text/html, text/html-sandboxed, application/xhtml+xml.
bool IsHTMLType(std::string_view AMediaType);
// application/xml, application/xml-external-parsed-entity, application/xml-dtd, and non-text
// types whose subtype ends in "+xml".
bool IsXMLType(std::string_view AMediaType);

// Character set implied by a media type without a charset parameter.
std::string DefaultCharset(std::string_view AMediaType);

// Splits a Content-Type value into the media type without its charset parameter (other parameters
// kept) and the charset (quotes removed; empty when absent).
void SplitContentType(std::string_view AValue, std::string& AContentType, std::string& ACharSet);

// Value of parameter AName of a Content-Type value (quotes removed), empty when absent.
std::string MediaTypeParam(std::string_view AValue, std::string_view AName);

// META elements of an HTML body, read one byte per character.
struct TMetaInfo {
    std::vector<std::pair<std::string, std::string>> HttpEquiv; // HTTP-EQUIV name, CONTENT
    std::string CharSet;                                        // first CHARSET attribute
};
// ACheckAbort, when set, is called now and then and may throw to end the scan.
TMetaInfo ScanHTMLMeta(std::string_view ABody, const std::function<void()>& ACheckAbort = {});

// XML 1.0 Appendix F: byte-order mark, then the encoding declaration; "UTF-8" when none.
std::string DetectXMLEncoding(std::string_view ABody);

// How Decode treats a character set: byte by byte (empty or unknown name, and ISO-8859-1, which
// is the same), as UTF-8, or through a converter.
enum class TDecoding { Bytes, UTF8, Converter };
TDecoding DecodingOf(std::string_view ACharSet);

// A decoder for ACharSet, named as for Decode, that takes the body as it arrives.
TIdTextDecoder MakeDecoder(std::string_view ACharSet);

// Decodes ABody by the IANA name or alias ACharSet (or one of the short forms UTF7, UTF8, UTF16,
// UTF16LE/BE, UTF32, UTF32LE/BE); byte by byte when the name is empty or not known.
std::u16string Decode(std::string_view ABody, std::string_view ACharSet);

} // namespace IdCharsets
