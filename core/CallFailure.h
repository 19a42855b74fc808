#pragma once

#include <QString>

#include <exception>
#include <string>

// What a failed call tells: the failure's message and, for an answer refused by its status code,
// the status line and the body the server sent with the refusal.
struct TCallFailure {
    // UTF-8 as the failure worded it, whole: a server's status line may hold NUL bytes.
    std::string Message;
    bool Refused = false;
    std::string StatusLine;
    std::u16string Body;

    // The message as it is shown and kept.
    QString Text() const;
};

// How running out of memory is worded: the window says what happened, the call tool passes on
// the library's own words.
enum class TOutOfMemoryWording { Explained, AsThrown };

// The failure AError describes; anything that is not a std::exception is an unknown error.
TCallFailure CallFailureOf(const std::exception_ptr& AError,
                           TOutOfMemoryWording AOutOfMemory = TOutOfMemoryWording::Explained);

// AText with every NUL character replaced by U+FFFD, so that a text shown or kept does not end
// at one and the byte is still seen.
QString WithVisibleNul(QString AText);
