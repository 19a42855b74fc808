#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

// What the tools that write an answer as it arrives read from the socket at once: larger reads
// than the window's make fewer system calls, and nothing but the output waits for a piece.
inline constexpr int AnswerReceiveSize = 256 * 1024;

// Writes an answer's text to a file descriptor as UTF-8, piece by piece as it arrives, through a
// buffer of fixed size, so the answer is never held whole. A write that fails (a closed pipe, a
// full disk) throws std::runtime_error with the system's reason.
class TAnswerWriter {
public:
    // ACopy, when set, is given each converted piece of the answer before it is written out.
    explicit TAnswerWriter(int AFd, std::function<void(std::string_view)> ACopy = {})
        : FFd(AFd), FCopy(std::move(ACopy)) {}
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
    void WriteOut(std::string_view ABytes);

    int FFd;
    std::function<void(std::string_view)> FCopy;
    std::unique_ptr<char[]> FBuffer; // one converted piece, made at the first
    std::size_t FUsed = 0;
    char FLast = '\n'; // the last byte written
};
