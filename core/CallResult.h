#pragma once

#include <cstdint>
#include <string>

// What one successful call brought back: the answer's text and what is known about its arrival.
struct TCallResult {
    std::u16string Text;    // the body decoded by its character set
    std::string StatusLine; // as received, for example "HTTP/1.1 200 OK"
    std::string ContentType;
    std::string CharSet;
    // The server named no character set: the text was read in the media type's default, or
    // byte by byte as ISO-8859-1 when CharSet is empty.
    bool CharSetAssumed = false;
    // Only the first KeptBytes of the answer's UTF-8 text are in Text (an answer the history
    // cut at its limit); -1 when Text is the whole answer.
    int64_t KeptBytes = -1;
    int64_t DurationMs = 0; // from the start of the call to the answer's last byte
    int64_t ByteSize = 0;   // body bytes received
    // A failed call keeps its duration too; one refused by its status code keeps the status
    // line, and Text holds the body the server sent with the refusal.
    bool Refused = false;
};
