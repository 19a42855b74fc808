#include "IdBuffer.h"

#include <algorithm>
#include <cstring>

void TIdBuffer::Clear() {
    FHead = 0;
    FTail = 0;
}

void TIdBuffer::Compact() {
    if (FHead == 0) {
        return;
    }
    const size_t Live = Size();
    if (Live > 0) {
        std::memmove(FData.data(), FData.data() + FHead, Live);
    }
    FHead = 0;
    FTail = Live;
}

std::span<uint8_t> TIdBuffer::PrepareWrite(size_t ACount) {
    if (FData.size() - FTail < ACount) {
        // Moving costs no more than the bytes consumed since the last move, so every byte is
        // moved a bounded number of times.
        if (FHead >= Size()) {
            Compact();
        }
        if (FData.size() - FTail < ACount) {
            FData.resize(std::max(FTail + ACount, FData.size() * 2));
        }
    }
    return {FData.data() + FTail, ACount};
}

void TIdBuffer::CommitWrite(size_t ACount) {
    FTail = std::min(FTail + ACount, FData.size());
}

void TIdBuffer::Write(std::span<const uint8_t> ABytes) {
    if (ABytes.empty()) {
        return;
    }
    auto Room = PrepareWrite(ABytes.size());
    std::memcpy(Room.data(), ABytes.data(), ABytes.size());
    CommitWrite(ABytes.size());
}

void TIdBuffer::Write(std::string_view ABytes) {
    Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(ABytes.data()), ABytes.size()));
}

void TIdBuffer::ExtractToBytes(TIdBytes& ABytes, size_t ACount, bool AAppend) {
    ACount = std::min(ACount, Size());
    if (!AAppend) {
        ABytes.clear();
    }
    const uint8_t* Front = FData.data() + FHead;
    ABytes.insert(ABytes.end(), Front, Front + ACount);
    Remove(ACount);
}

TIdBytes TIdBuffer::Extract(size_t ACount) {
    TIdBytes Result;
    ExtractToBytes(Result, ACount, false);
    return Result;
}

void TIdBuffer::Remove(size_t ACount) {
    FHead += std::min(ACount, Size());
    if (FHead == FTail) {
        Clear();
    }
}

std::ptrdiff_t TIdBuffer::IndexOf(std::span<const uint8_t> ANeedle, size_t AStart) const {
    const size_t Length = Size();
    if (ANeedle.empty() || AStart >= Length || ANeedle.size() > Length - AStart) {
        return -1;
    }
    const uint8_t* Begin = FData.data() + FHead;
    const uint8_t* End = Begin + Length;
    if (ANeedle.size() == 1) {
        const void* Found = std::memchr(Begin + AStart, ANeedle[0], Length - AStart);
        return Found ? static_cast<const uint8_t*>(Found) - Begin : -1;
    }
    const uint8_t* Found = std::search(Begin + AStart, End, ANeedle.begin(), ANeedle.end());
    return Found == End ? -1 : Found - Begin;
}
