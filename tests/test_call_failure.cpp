// A failed call in words, as the window and the call tool both word it: the message, and for an
// answer refused by its status code the status line and the body that came with it.

#include "CallFailure.h"
#include "IdException.h"
#include "IdHTTPResponse.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

namespace {

std::exception_ptr Thrown(const std::function<void()>& AThrow) {
    try {
        AThrow();
    } catch (...) {
        return std::current_exception();
    }
    return {};
}

} // namespace

TEST(CallFailure, EachKindOfFailureInWords) {
    const std::string statusWithNul("HTTP/1.1 404 Not\0Found", 22);
    const std::string messageWithNul("Socket\0Error", 12);
    const auto explained = TOutOfMemoryWording::Explained;
    const auto asThrown = TOutOfMemoryWording::AsThrown;
    struct Case {
        const char* Name;
        std::function<void()> Throw;
        std::string Message;
        QString Text;
        std::u16string Body;
        TOutOfMemoryWording Wording;
        bool Refused;
    } cases[] = {
        {"refused", [&] { throw EIdHTTPProtocolException(statusWithNul, 404, u"Not here."); },
         statusWithNul, QStringLiteral("HTTP/1.1 404 Not\uFFFDFound"), u"Not here.", explained,
         true},
        {"refused, whole body",
         [] {
             throw EIdHTTPProtocolException("HTTP/1.1 500 Oops", 500, std::u16string(u"a\0b", 3));
         },
         "HTTP/1.1 500 Oops", QStringLiteral("HTTP/1.1 500 Oops"), std::u16string(u"a\0b", 3),
         explained, true},
        // what() would end at the NUL; the message is kept whole
        {"network", [&] { throw EIdException(messageWithNul); }, messageWithNul,
         QStringLiteral("Socket\uFFFDError"), u"", explained, false},
        {"memory, explained", [] { throw std::bad_alloc(); },
         "Out of memory while reading the answer.",
         QStringLiteral("Out of memory while reading the answer."), u"", explained, false},
        {"memory, as thrown", [] { throw std::bad_alloc(); }, std::bad_alloc().what(),
         QString::fromUtf8(std::bad_alloc().what()), u"", asThrown, false},
        {"other", [] { throw std::runtime_error("caf\xc3\xa9"); }, "caf\xc3\xa9",
         QStringLiteral("caf\u00e9"), u"", asThrown, false},
        {"unknown", [] { throw 42; }, "Unknown error.", QStringLiteral("Unknown error."), u"",
         explained, false},
    };
    for (const Case& c : cases) {
        const TCallFailure failure = CallFailureOf(Thrown(c.Throw), c.Wording);
        EXPECT_EQ(failure.Message, c.Message) << c.Name;
        EXPECT_EQ(failure.Text(), c.Text) << c.Name;
        EXPECT_EQ(failure.Refused, c.Refused) << c.Name;
        EXPECT_EQ(failure.StatusLine, c.Refused ? c.Message : std::string()) << c.Name;
        EXPECT_EQ(failure.Body, c.Body) << c.Name;
    }
}

TEST(CallFailure, NulCharactersStayVisible) {
    EXPECT_EQ(WithVisibleNul(QString::fromUtf16(u"\0a\0\0", 4)),
              QStringLiteral("\uFFFDa\uFFFD\uFFFD"));
    EXPECT_EQ(WithVisibleNul(QStringLiteral("plain")), QStringLiteral("plain"));
    EXPECT_EQ(WithVisibleNul(QString()), QString());
}
