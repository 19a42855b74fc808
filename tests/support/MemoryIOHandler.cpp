#include "MemoryIOHandler.h"

#include "IdStack.h"

#include <algorithm>

std::string TMemoryIOHandler::Sent() const {
    std::string All;
    for (const std::string& Piece : Sends)
        All += Piece;
    return All;
}

const std::string& TMemoryIOHandler::Reply() const {
    static const std::string None;
    if (Replies.empty())
        return None;
    const std::size_t Index = std::min(Connects.size() - 1, Replies.size() - 1);
    return Replies[Index];
}

void TMemoryIOHandler::ConnectSocket() {
    CheckAborted();
    Connects.push_back({Host, Port, IPVersion, FPassThrough, FServerName});
    FOpen = true;
    FReplyPos = 0;
    FReceives = 0;
    Sends.clear();
    Requests.emplace_back();
}

void TMemoryIOHandler::Close() {
    FOpen = false;
    TIdIOHandlerSocket::Close();
}

bool TMemoryIOHandler::Readable(int32_t) {
    CheckAborted();
    if (!FOpen)
        return false;
    return FReplyPos < Reply().size() || End != TEnd::Hold;
}

void TMemoryIOHandler::CountCall() {
    if (FailAfterCalls >= 0 && FCalls >= FailAfterCalls)
        TIdStack::RaiseSocketError(FailError);
    ++FCalls;
}

int TMemoryIOHandler::ReceiveChunk(std::span<uint8_t> ABuffer) {
    CountCall();
    ++FReceives;
    const std::string& Bytes = Reply();
    if (FReplyPos == Bytes.size() && End == TEnd::Reset)
        TIdStack::RaiseSocketError(Id_WSAECONNRESET);
    std::size_t Count = std::min(ABuffer.size(), Bytes.size() - FReplyPos);
    if (PieceSize > 0)
        Count = std::min(Count, PieceSize);
    std::copy_n(Bytes.data() + FReplyPos, Count, ABuffer.data());
    FReplyPos += Count;
    return static_cast<int>(Count);
}

int TMemoryIOHandler::SendChunk(std::span<const uint8_t> ABytes) {
    CountCall();
    Sends.emplace_back(reinterpret_cast<const char*>(ABytes.data()), ABytes.size());
    Requests.back() += Sends.back();
    return static_cast<int>(ABytes.size());
}
