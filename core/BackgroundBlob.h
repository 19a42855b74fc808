#pragma once

#include "AnswerBlob.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Compresses a text for the call history on a thread of its own as its pieces come, so that the
// work overlaps the answer's arrival instead of following it. The pieces are copied into chunks
// that the thread takes in turn and hands back for reuse; the text is never held whole, and a few
// chunks at most wait for the thread.
class TBackgroundBlob {
public:
    // When no thread can be started, the caller's thread compresses each chunk as it fills.
    TBackgroundBlob();
    ~TBackgroundBlob();
    TBackgroundBlob(const TBackgroundBlob&) = delete;
    TBackgroundBlob& operator=(const TBackgroundBlob&) = delete;

    void Append(std::string_view AText);
    // The blob (see AnswerBlob), once the thread has compressed everything; empty when memory ran
    // out on the way. Spent after it.
    QByteArray Finish();

private:
    void Hand(std::string AChunk);
    // Ends the thread once it has compressed what it was given, or at once with ADiscard.
    void Stop(bool ADiscard);
    void Run();

    AnswerBlob::TWriter FWriter; // the thread's, until it has ended
    std::string FChunk;          // being filled by the caller
    std::mutex FMutex;
    std::condition_variable FWake;   // for the thread: a chunk or the end
    std::condition_variable FRoom;   // for the caller: room in FFull
    std::deque<std::string> FFull;   // for the thread, in order
    std::vector<std::string> FSpare; // handed back, for the caller to fill again
    bool FEnd = false;
    bool FFailed = false;
    std::thread FThread;
};
