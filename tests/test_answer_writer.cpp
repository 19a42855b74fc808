// The tools' answer output: UTF-8 pieces written out as they come, a copy of each handed on, and
// one line break at the end of a text without one.

#include "AnswerWriter.h"

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// What a writer puts out for the pieces written one after the other, then EndLine. What the
// writer hands its copy is the same but for the line break EndLine adds.
std::string Written(const std::vector<std::string>& APieces) {
    const int fd = ::memfd_create("answer", MFD_CLOEXEC);
    EXPECT_GE(fd, 0);
    std::string copied;
    {
        TAnswerWriter writer(fd, [&copied](std::string_view AUtf8) { copied += AUtf8; });
        for (const std::string& piece : APieces)
            writer.Write(piece);
        writer.EndLine();
    }
    std::string text(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
    EXPECT_EQ(::pread(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
    ::close(fd);
    const bool lineAdded = !text.empty() && (copied.empty() || copied.back() != '\n');
    EXPECT_EQ(copied, lineAdded ? text.substr(0, text.size() - 1) : text);
    return text;
}

TEST(AnswerWriter, PiecesGoOutInOrderEndingWithOneLineBreak) {
    const std::string large(300000, 'x');
    EXPECT_EQ(Written({"{\"Name\":", "", "\"M\xC3\xBCller\"}", large}),
              "{\"Name\":\"M\xC3\xBCller\"}" + large + "\n");
    // An answer that ends with a line break gets no other; an empty one stays empty.
    EXPECT_EQ(Written({"a\n"}), "a\n");
    EXPECT_EQ(Written({"a\n", ""}), "a\n");
    EXPECT_EQ(Written({}), "");
    EXPECT_EQ(Written({""}), "");
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
