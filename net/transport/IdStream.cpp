#include "IdStream.h"

#include <algorithm>
#include <cstring>

void TIdMemoryStream::SetSize(int64_t ASize) {
    FData.resize(static_cast<size_t>(std::max<int64_t>(ASize, 0)));
    FPosition = std::min(FPosition, Size());
}

void TIdMemoryStream::SetPosition(int64_t APosition) {
    FPosition = std::max<int64_t>(APosition, 0);
}

size_t TIdMemoryStream::Read(std::span<uint8_t> ABuffer) {
    if (FPosition >= Size()) {
        return 0;
    }
    const size_t Count = std::min(ABuffer.size(), static_cast<size_t>(Size() - FPosition));
    std::memcpy(ABuffer.data(), FData.data() + FPosition, Count);
    FPosition += static_cast<int64_t>(Count);
    return Count;
}

void TIdMemoryStream::Write(std::span<const uint8_t> ABytes) {
    if (ABytes.empty()) {
        return;
    }
    const size_t End = static_cast<size_t>(FPosition) + ABytes.size();
    if (End > FData.size()) {
        FData.resize(End);
    }
    std::memcpy(FData.data() + FPosition, ABytes.data(), ABytes.size());
    FPosition = static_cast<int64_t>(End);
}

std::vector<uint8_t> TIdMemoryStream::TakeBytes() {
    FPosition = 0;
    return std::exchange(FData, {});
}
