#pragma once

#include "TextDocument.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

// An answer's text as it arrives. The call's thread appends each decoded piece into the text the
// viewer will show, so the answer is never held twice, and indexes its lines as they come;
// meanwhile the window reads how many bytes came and copies the first screen, and once the call's
// thread has ended it takes the text and its raw document, without a copy or another pass.
class TAnswerIntake {
public:
    // What the server's answer says of itself, known before its first piece.
    struct THead {
        std::string StatusLine;
        std::string ContentType;
        std::string CharSet;
        bool CharSetAssumed = false;
    };

    // The call's thread, before the first piece: AExpectedUnits (the announced length, or -1)
    // is room made at once.
    void Start(THead AHead, int64_t AExpectedUnits);
    // The call's thread: the next piece, and ABytes, the body's bytes received so far.
    void Append(std::u16string_view APiece, int64_t ABytes);

    // Any thread.
    bool Started() const { return FStarted.load(std::memory_order_acquire); }
    int64_t Bytes() const { return FBytes.load(std::memory_order_relaxed); }
    int64_t Units() const { return FUnits.load(std::memory_order_relaxed); }
    // The head, once Started.
    THead Head() const;
    // A copy of at most the first AUnits of the text so far.
    std::u16string First(std::size_t AUnits) const;

    // Once the call's thread has ended: the raw document of the whole text (its Source()); the
    // intake is spent afterwards.
    std::shared_ptr<const TTextDocument> TakeDocument();

private:
    mutable std::mutex FMutex; // the text and the head, between the call's thread and the window
    std::u16string FText;
    TTextDocument::TRawIndex FIndex; // the call's thread's, then the taker's
    THead FHead;
    std::atomic<bool> FStarted{false};
    std::atomic<int64_t> FBytes{0};
    std::atomic<int64_t> FUnits{0};
};
