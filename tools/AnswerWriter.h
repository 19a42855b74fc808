#pragma once

#include <string>
#include <string_view>

// Writes an answer's text to a file descriptor as UTF-8, piece by piece as it arrives, through a
// buffer of fixed size, so the answer is never held whole. A write that fails (a closed pipe, a
// full disk) throws std::runtime_error with the system's reason.
class TAnswerWriter {
public:
    explicit TAnswerWriter(int AFd) : FFd(AFd) {}
    TAnswerWriter(const TAnswerWriter&) = delete;
    TAnswerWriter& operator=(const TAnswerWriter&) = delete;

    void Write(std::u16string_view AText);
    // Writes out what is buffered; called once a piece has been converted, so the reader sees the
    // answer as it comes rather than when the buffer is full.
    void Flush();
    // Ends a text that does not end with a line break with one, so the shell's prompt starts on a
    // line of its own; an empty answer stays empty.
    void EndLine();

private:
    int FFd;
    std::string FBuffer;
    char FLast = '\n'; // the last byte written
};
