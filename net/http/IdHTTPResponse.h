#pragma once

#include "IdException.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A status the client refuses: the message is the status line as received.
class EIdHTTPProtocolException : public EIdException {
public:
    EIdHTTPProtocolException(const std::string& AStatusLine, int AErrorCode,
                             std::u16string AErrorMessage)
        : EIdException(AStatusLine), ErrorCode(AErrorCode), ErrorMessage(std::move(AErrorMessage)) {
    }
    int ErrorCode = -1;
    std::u16string ErrorMessage; // the decoded body of the refusing answer
};

// Header lines in the order received; names compare without regard to case.
class TIdHeaderList {
public:
    void Clear() { FLines.clear(); }
    bool Empty() const { return FLines.empty(); }
    // Adds one received line: "Name: value", or a continuation line starting with space or tab.
    void AddReceivedLine(std::string_view ALine);
    void Add(std::string_view AName, std::string_view AValue);
    // Replaces every line named AName by one line with AValue.
    void SetValue(std::string_view AName, std::string_view AValue);
    // SetValue for each pair in order, in time linear in the lines and pairs. ACheckAbort, when
    // set, is called now and then and may throw to end the work.
    void SetValues(const std::vector<std::pair<std::string, std::string>>& AValues,
                   const std::function<void()>& ACheckAbort = {});
    // The first occurrence; empty when absent.
    std::string Value(std::string_view AName) const;
    bool Has(std::string_view AName) const;
    std::vector<std::string> Values(std::string_view AName) const;
    const std::vector<std::pair<std::string, std::string>>& Lines() const { return FLines; }

private:
    std::vector<std::pair<std::string, std::string>> FLines;
};

// The answer of one request. Cleared when the next request is sent.
class TIdHTTPResponse {
public:
    void Clear() { *this = TIdHTTPResponse(); }

    // Reads the status code out of ResponseText: -1 when there is none.
    static int ParseStatusCode(std::string_view AStatusLine);
    // Fills the fields below from RawHeaders.
    void InterpretHeaders();
    // Takes the character set from META elements (HTML) or XML autodetection, by media type.
    // ACheckAbort, when set, is called now and then and may throw to end the work.
    void DetectBodyCharSet(const std::function<void()>& ACheckAbort = {});

    std::string ResponseText;
    int ResponseCode = -1;
    TIdHeaderList RawHeaders;
    std::string Connection;
    std::string ContentType; // without its charset parameter
    std::string CharSet;
    // No charset was named in the headers or the document: CharSet is the media type's default.
    bool CharSetAssumed = false;
    int64_t ContentLength = -1;
    std::string TransferEncoding;
    std::string Location;
    std::vector<std::string> WWWAuthenticate;
    std::string Body;     // raw bytes
    int64_t BodySize = 0; // body bytes received, without the chunk framing

    bool HasContentLength() const { return ContentLength >= 0; }
    bool IsChunked() const;

private:
    void InterpretContentType(std::string_view AValue);
};
