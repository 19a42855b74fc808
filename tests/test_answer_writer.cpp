// The tools' answer output: UTF-8 pieces written out as they come, a copy of each handed on, and
// one line break at the end of a text without one, on a terminal only.

#include "AnswerWriter.h"

#include <gtest/gtest.h>

#include <csignal>
#include <pty.h>
#include <stdexcept>
#include <sys/mman.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// Where the answer goes: a file, or a terminal (a pseudo-terminal passing bytes unchanged).
enum class TTarget { File, Terminal };

// What a writer puts out to ATarget for the pieces written one after the other, then EndLine.
// What the writer hands its copy is the same but for the line break EndLine adds.
std::string Written(TTarget ATarget, const std::vector<std::string>& APieces) {
    int fd = -1;
    int terminal = -1;
    std::string text;
    std::thread reader; // a terminal holds little: it is read while the writer writes
    // Written after the writer is done: what the terminal shows before it is the writer's.
    constexpr char End = '\x01';
    if (ATarget == TTarget::File) {
        fd = ::memfd_create("answer", MFD_CLOEXEC);
    } else {
        termios raw{};
        ::cfmakeraw(&raw);
        EXPECT_EQ(::openpty(&terminal, &fd, nullptr, &raw, nullptr), 0);
        reader = std::thread([terminal, &text] {
            char buffer[65536];
            while (text.empty() || text.back() != End) {
                const ssize_t count = ::read(terminal, buffer, sizeof buffer);
                if (count <= 0)
                    break;
                text.append(buffer, static_cast<std::size_t>(count));
            }
        });
    }
    EXPECT_GE(fd, 0);
    std::string copied;
    {
        TAnswerWriter writer(fd, [&copied](std::string_view AUtf8) { copied += AUtf8; });
        for (const std::string& piece : APieces)
            writer.Write(piece);
        writer.EndLine();
    }
    if (ATarget == TTarget::File) {
        text.resize(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)));
        EXPECT_EQ(::pread(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
    } else {
        EXPECT_EQ(::write(fd, &End, 1), 1);
        reader.join();
        ::close(terminal);
        EXPECT_TRUE(text.ends_with(End));
        text.pop_back();
    }
    ::close(fd);
    // The copy has the answer, without a line break added after it.
    EXPECT_EQ(copied, text.substr(0, copied.size()));
    EXPECT_LE(text.size(), copied.size() + 1);
    return text;
}

// A file or a pipe gets the answer's exact bytes; a terminal gets a line break after an answer
// that does not end with one, so the prompt starts on a line of its own.
TEST(AnswerWriter, PiecesGoOutInOrderWithALineBreakOnlyOnATerminal) {
    const std::string large(300000, 'x');
    const std::string json = "{\"Name\":\"M\xC3\xBCller\"}";
    struct Case {
        std::vector<std::string> Pieces;
        std::string ToFile;
        std::string ToTerminal;
    } cases[] = {
        {{"{\"Name\":", "", "\"M\xC3\xBCller\"}", large}, json + large, json + large + "\n"},
        {{"a"}, "a", "a\n"},
        {{"a\n"}, "a\n", "a\n"},
        {{"a\n", ""}, "a\n", "a\n"},
        {{"a\r"}, "a\r", "a\r\n"},
        {{}, "", ""},
        {{""}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ToFile.substr(0, 20));
        EXPECT_EQ(Written(TTarget::File, c.Pieces), c.ToFile);
        EXPECT_EQ(Written(TTarget::Terminal, c.Pieces), c.ToTerminal);
    }
}

TEST(AnswerWriter, AFailedWriteSaysWhy) {
    int fds[2] = {-1, -1};
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    TAnswerWriter writer(fds[1]);
    try {
        writer.Write("text");
        ADD_FAILURE() << "the write to a closed pipe succeeded";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Writing the answer failed: Broken pipe");
    }
    std::signal(SIGPIPE, previous);
    ::close(fds[1]);
}

} // namespace
