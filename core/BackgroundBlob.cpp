#include "BackgroundBlob.h"

#include "IdGlobal.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

namespace {

// Large enough that handing over costs little, small enough that the thread starts early.
constexpr std::size_t ChunkBytes = std::size_t(1) << 20;
// Chunks waiting for the thread at most: when it compresses slower than the text comes (a busy
// machine), the caller waits for it rather than the text piling up in memory.
constexpr std::size_t MaxWaiting = 8;

} // namespace

TBackgroundBlob::TBackgroundBlob() {
    try {
        FThread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // No thread to spare: Hand compresses on the caller's thread.
    }
}

TBackgroundBlob::~TBackgroundBlob() {
    Stop(true); // a blob nobody takes is not worth finishing
}

void TBackgroundBlob::Stop(bool ADiscard) {
    if (!FThread.joinable())
        return;
    {
        const std::lock_guard lock(FMutex);
        if (ADiscard)
            FFull.clear();
        FEnd = true;
    }
    FWake.notify_one();
    FThread.join();
}

void TBackgroundBlob::Append(std::string_view AText) {
    while (!AText.empty()) {
        if (FChunk.capacity() < ChunkBytes) {
            {
                const std::lock_guard lock(FMutex);
                if (!FSpare.empty()) {
                    FChunk = std::move(FSpare.back());
                    FSpare.pop_back();
                }
            }
            if (FChunk.capacity() < ChunkBytes) {
                // The thread compresses slower than the answer comes, so most chunks are new.
                FChunk.reserve(ChunkBytes);
                PrefaultForWriting(FChunk.data(), FChunk.data() + ChunkBytes);
            }
        }
        const std::size_t take = std::min(AText.size(), ChunkBytes - FChunk.size());
        FChunk.append(AText.substr(0, take));
        AText.remove_prefix(take);
        if (FChunk.size() == ChunkBytes)
            Hand(std::exchange(FChunk, std::string()));
    }
}

void TBackgroundBlob::Hand(std::string AChunk) {
    if (!FThread.joinable()) {
        try {
            FWriter.Append(QByteArrayView(AChunk.data(), static_cast<qsizetype>(AChunk.size())));
        } catch (const std::bad_alloc&) {
            FFailed = true;
        }
        AChunk.clear();
        FChunk = std::move(AChunk);
        return;
    }
    {
        std::unique_lock lock(FMutex);
        FRoom.wait(lock, [this] { return FFull.size() < MaxWaiting; });
        FFull.push_back(std::move(AChunk));
    }
    FWake.notify_one();
}

void TBackgroundBlob::Run() {
    std::unique_lock lock(FMutex);
    for (;;) {
        FWake.wait(lock, [this] { return FEnd || !FFull.empty(); });
        if (FFull.empty())
            return; // FEnd, and nothing left
        std::string chunk = std::move(FFull.front());
        FFull.pop_front();
        lock.unlock();
        FRoom.notify_one();
        try {
            if (!FFailed)
                FWriter.Append(QByteArrayView(chunk.data(), static_cast<qsizetype>(chunk.size())));
        } catch (const std::bad_alloc&) {
            FFailed = true; // only this thread writes it while it runs
        }
        chunk.clear();
        lock.lock();
        FSpare.push_back(std::move(chunk));
    }
}

QByteArray TBackgroundBlob::Finish() {
    Stop(false);
    if (FFailed)
        return {};
    try {
        return FWriter.Finish(QByteArrayView(FChunk.data(), static_cast<qsizetype>(FChunk.size())));
    } catch (const std::bad_alloc&) {
        return {};
    }
}
