#pragma once

#include <functional>
#include <string_view>

// What the tools that write an answer as it arrives read from the socket at once: larger reads
// than the window's make fewer system calls, and nothing but the output waits for a piece.
inline constexpr int AnswerReceiveSize = 256 * 1024;

// Writes an answer's UTF-8 text to a file descriptor piece by piece as it arrives, each piece at
// once, so the reader sees the answer as it comes and it is never held whole. A write that fails
// (a closed pipe, a full disk) throws std::runtime_error with the system's reason.
class TAnswerWriter {
public:
    // ACopy, when set, is given each piece of the answer before it is written out. With AFd
    // below zero nothing is written out: the copy takes the answer whole.
    explicit TAnswerWriter(int AFd, std::function<void(std::string_view)> ACopy = {});
    TAnswerWriter(const TAnswerWriter&) = delete;
    TAnswerWriter& operator=(const TAnswerWriter&) = delete;

    void Write(std::string_view AText);
    // On a terminal, ends a text that does not end with a line break with one, so the shell's
    // prompt starts on a line of its own; an empty answer stays empty. A file or a pipe gets the
    // answer's exact bytes, nothing added.
    void EndLine();

private:
    void WriteOut(std::string_view ABytes);

    int FFd;
    bool FTerminal;
    std::function<void(std::string_view)> FCopy;
    char FLast = '\n'; // the last byte written
};
