#pragma once

#include <cstdint>
#include <string>

// What one successful call brought back: the answer's text and what is known about its arrival.
struct TCallResult {
    std::u16string Text;    // the body decoded by its character set
    std::string StatusLine; // as received, for example "HTTP/1.1 200 OK"
    std::string ContentType;
    std::string CharSet;
    int64_t DurationMs = 0; // from the start of the call to the answer's last byte
    int64_t ByteSize = 0;   // body bytes received
    // A failed call keeps its duration too; one refused by its status code keeps the status
    // line, and Text holds the body the server sent with the refusal.
    bool Refused = false;
};
