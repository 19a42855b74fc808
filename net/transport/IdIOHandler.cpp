#include "IdIOHandler.h"

#include "IdException.h"
#include "IdResourceStrings.h"
#include "IdStack.h"
#include "IdStream.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

TIdIOHandler::TIdIOHandler() {
    int Fds[2];
    // Close-on-exec from the start: a program started by another thread meanwhile gets none.
    if (pipe2(Fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        TIdStack::RaiseSocketError(errno == EMFILE ? Id_WSAEMFILE : Id_WSAENOBUFS);
    }
    FWakeRead = Fds[0];
    FWakeWrite = Fds[1];
}

TIdIOHandler::~TIdIOHandler() {
    close(FWakeRead);
    close(FWakeWrite);
}

void TIdIOHandler::Abort() {
    FAborted.store(true, std::memory_order_release);
    const char Byte = 1;
    // A full pipe is as readable as one byte, so a failed write changes nothing.
    [[maybe_unused]] const ssize_t Written = write(FWakeWrite, &Byte, 1);
}

void TIdIOHandler::DrainAbortWake() const {
    char Drain[64];
    while (read(FWakeRead, Drain, sizeof Drain) > 0) {
    }
}

void TIdIOHandler::ClearAbort() {
    DrainAbortWake();
    FAborted.store(false, std::memory_order_release);
}

void TIdIOHandler::CheckAborted() const {
    if (Aborted()) {
        throw EIdOperationAborted(RSOperationAborted);
    }
}

void TIdIOHandler::RethrowUnlessAborted() const {
    CheckAborted();
    throw;
}

TIdTextEncoding TIdIOHandler::ResolveEncoding(TIdTextEncoding AEncoding) const {
    if (AEncoding != TIdTextEncoding::enDefault) {
        return AEncoding;
    }
    return DefaultEncoding == TIdTextEncoding::enDefault ? TIdTextEncoding::enASCII
                                                         : DefaultEncoding;
}

void TIdIOHandler::Open() {
    CheckAborted();
    FOpened = false;
    FClosedGracefully = false;
    if (FWriteBuffer) {
        FWriteBuffer->Clear();
    }
    FInputBuffer.Clear();
    FOpened = true;
}

void TIdIOHandler::Close() {
    FOpened = false;
    if (FWriteBuffer) {
        FWriteBuffer->Clear();
    }
}

bool TIdIOHandler::Connected() {
    return SocketAvailable() && FOpened;
}

void TIdIOHandler::CheckForDisconnect(bool ARaiseExceptionIfDisconnected, bool AIgnoreBuffer) {
    bool Gone;
    if (FClosedGracefully) {
        if (SocketAvailable()) {
            Close();
            DoStatus(RSStatusDisconnected);
        }
        Gone = true;
    } else {
        Gone = !SocketAvailable();
    }
    if (Gone && (AIgnoreBuffer || FInputBuffer.Empty()) && ARaiseExceptionIfDisconnected) {
        throw EIdConnClosedGracefully(RSConnectionClosedGracefully);
    }
}

int TIdIOHandler::FillInputBuffer(bool ARaiseIfDisconnected, int32_t ATimeout,
                                  bool ARaiseOnTimeout) {
    CheckAborted();
    if (ATimeout == WaitDefault) {
        ATimeout = (ReadTimeout == -1 || ReadTimeout == 0) ? WaitForever : ReadTimeout;
    }
    CheckForDisconnect(ARaiseIfDisconnected, false);
    if (!SocketAvailable()) {
        if (ARaiseIfDisconnected) {
            throw EIdNotConnected(RSNotConnected);
        }
        return 0;
    }
    int Count;
    do {
        Count = 0;
        if (!Readable(ATimeout)) {
            if (ARaiseOnTimeout) {
                throw EIdReadTimeout(RSReadTimeout);
            }
            return -1;
        }
        if (FOpened) {
            if (SocketAvailable()) {
                const size_t Want = static_cast<size_t>(std::max<int32_t>(RecvBufferSize, 1));
                try {
                    Count = ReceiveChunk(FInputBuffer.PrepareWrite(Want));
                } catch (...) {
                    RethrowUnlessAborted();
                }
                CheckAborted();
                if (Count > 0) {
                    FInputBuffer.CommitWrite(static_cast<size_t>(Count));
                }
            } else if (ARaiseIfDisconnected) {
                throw EIdClosedSocket(RSStatusDisconnected);
            }
        } else if (ARaiseIfDisconnected) {
            throw EIdNotConnected(RSNotConnected);
        }
        if (Count < 0) {
            const int Code = ClassifyTransportError(Count);
            if (Code == Id_WSAETIMEDOUT) {
                if (ARaiseOnTimeout) {
                    throw EIdReadTimeout(RSReadTimeout);
                }
                return -1;
            }
            FClosedGracefully = true;
            Close();
            if (FInputBuffer.Empty() && ARaiseIfDisconnected) {
                RaiseTransportError(Code);
            }
            Count = 0;
        }
        if (Count == 0) {
            FClosedGracefully = true;
        }
        CheckForDisconnect(ARaiseIfDisconnected, false);
    } while (Count == 0 && SocketAvailable());
    return Count;
}

std::string TIdIOHandler::ReadLn(std::string_view ATerminator, int32_t ATimeout,
                                 int32_t AMaxLineLength, TIdTextEncoding AByteEncoding) {
    CheckAborted();
    const TIdTextEncoding Encoding = ResolveEncoding(AByteEncoding);
    const int64_t Limit = AMaxLineLength < 0 ? MaxLineLength : AMaxLineLength;
    const TIdBytes Terminator =
        ATerminator.empty() ? TIdBytes{'\n'} : EncodeText(ATerminator, Encoding);
    const bool TerminatorIsLF = Terminator.size() == 1 && Terminator[0] == '\n';
    FReadLnSplit = false;
    FReadLnTimedOut = false;
    size_t SearchStart = 0;
    const int64_t Start = TickCountMs();
    for (;;) {
        std::ptrdiff_t Position = -1;
        if (!FInputBuffer.Empty()) {
            const size_t Size = FInputBuffer.Size();
            if (SearchStart < Size) {
                Position = FInputBuffer.IndexOf(Terminator, SearchStart);
            }
            // Whatever was searched is not searched again; a terminator split across two
            // receives is still found because the last bytes stay in range.
            SearchStart = Size + 1 > Terminator.size() ? Size + 1 - Terminator.size() : 0;
        }
        if (Limit > 0 &&
            (Position > Limit || (Position < 0 && static_cast<int64_t>(SearchStart) > Limit))) {
            if (MaxLineAction == maException) {
                throw EIdReadLnMaxLineLengthExceeded(RSReadLnMaxLineLengthExceeded);
            }
            FReadLnSplit = true;
            const auto Front = FInputBuffer.View().first(static_cast<size_t>(Limit));
            std::string Line = DecodeText(Front, Encoding);
            FInputBuffer.Remove(static_cast<size_t>(Limit));
            return Line;
        }
        if (Position < 0) {
            CheckForDisconnect(true, true);
            const int Filled = FillInputBuffer(true, ATimeout, false);
            if (Filled == -1 || (ATimeout >= 0 && TickCountMs() - Start >= ATimeout)) {
                FReadLnTimedOut = true;
                return {};
            }
            continue;
        }
        size_t LineLength = static_cast<size_t>(Position);
        if (TerminatorIsLF && LineLength > 0 && FInputBuffer.PeekByte(LineLength - 1) == '\r') {
            --LineLength;
        }
        std::string Line = DecodeText(FInputBuffer.View().first(LineLength), Encoding);
        FInputBuffer.Remove(static_cast<size_t>(Position) + Terminator.size());
        return Line;
    }
}

void TIdIOHandler::ReadBytes(TIdBytes& ABuffer, int64_t AByteCount, bool AAppend) {
    CheckAborted();
    if (AByteCount > 0) {
        const auto Wanted = static_cast<uint64_t>(AByteCount);
        while (FInputBuffer.Size() < Wanted) {
            FillInputBuffer(false, WaitDefault, true);
            if (FInputBuffer.Size() < Wanted) {
                CheckForDisconnect(true, true);
            }
        }
        FInputBuffer.ExtractToBytes(ABuffer, static_cast<size_t>(AByteCount), AAppend);
    } else if (AByteCount < 0) {
        if (FInputBuffer.Empty()) {
            FillInputBuffer(false, ReadTimeout, false);
            CheckForDisconnect(true, true);
        }
        FInputBuffer.ExtractToBytes(ABuffer, FInputBuffer.Size(), AAppend);
    } else if (!AAppend) {
        ABuffer.clear();
    }
}

int64_t TIdIOHandler::MoveInputToStream(TIdStream& AStream, int64_t AMax) {
    const size_t Count = static_cast<size_t>(
        std::min<uint64_t>(FInputBuffer.Size(), static_cast<uint64_t>(std::max<int64_t>(AMax, 0))));
    if (Count == 0) {
        return 0;
    }
    AStream.Write(FInputBuffer.View().first(Count));
    FInputBuffer.Remove(Count);
    return static_cast<int64_t>(Count);
}

void TIdIOHandler::ReadStream(TIdStream& AStream, int64_t AByteCount, bool AReadUntilDisconnect) {
    CheckAborted();
    const bool UntilClose = AReadUntilDisconnect || AByteCount < 0;
    int64_t Wanted = UntilClose ? std::numeric_limits<int64_t>::max() : AByteCount;
    // The stream grows only with bytes that arrived: a length claimed by the peer is never
    // reserved up front.
    if (!UntilClose && AStream.Position() > std::numeric_limits<int64_t>::max() - AByteCount) {
        throw EIdException(RSDataTooLargeForStream);
    }
    Wanted -= MoveInputToStream(AStream, Wanted);
    while (UntilClose || Wanted > 0) {
        const int Filled = FillInputBuffer(!AReadUntilDisconnect, WaitDefault, true);
        Wanted -= MoveInputToStream(AStream, Wanted);
        if (Filled < 1) {
            CheckForDisconnect(false, false);
            break;
        }
    }
    if (AStream.Size() > AStream.Position()) {
        AStream.SetSize(AStream.Position());
    }
}

bool TIdIOHandler::CheckForDataOnSource(int32_t ATimeout) {
    const size_t Before = FInputBuffer.Size();
    if (!Connected()) {
        return false;
    }
    // Connected() may already have taken in what arrived; that counts as arrived in time.
    if (FInputBuffer.Size() == Before) {
        FillInputBuffer(false, ATimeout, false);
    }
    return FInputBuffer.Size() > Before;
}

void TIdIOHandler::Write(std::span<const uint8_t> ABytes, int64_t ALength, int64_t AOffset) {
    CheckAborted();
    const auto Size = static_cast<int64_t>(ABytes.size());
    AOffset = std::clamp<int64_t>(AOffset, 0, Size);
    const int64_t Length = std::min(ALength < 0 ? Size - AOffset : ALength, Size - AOffset);
    if (Length < 1) {
        return;
    }
    const auto Range = ABytes.subspan(static_cast<size_t>(AOffset), static_cast<size_t>(Length));
    if (!FWriteBuffer) {
        WriteDirect(Range);
        return;
    }
    FWriteBuffer->Write(Range);
    if (FWriteBufferThreshold > 0) {
        while (FWriteBuffer && FWriteBuffer->Size() >= static_cast<size_t>(FWriteBufferThreshold)) {
            WriteBufferFlush(FWriteBufferThreshold);
        }
    }
}

void TIdIOHandler::Write(std::string_view AText, TIdTextEncoding AEncoding) {
    if (AText.empty()) {
        return;
    }
    Write(EncodeText(AText, ResolveEncoding(AEncoding)));
}

void TIdIOHandler::WriteLn(std::string_view AText, TIdTextEncoding AEncoding) {
    TIdBytes Bytes = EncodeText(AText, ResolveEncoding(AEncoding));
    Bytes.push_back('\r');
    Bytes.push_back('\n');
    Write(Bytes);
}

void TIdIOHandler::Write(TIdStream& AStream, int64_t ASize, bool AWriteByteCount) {
    CheckAborted();
    if (ASize == 0) {
        AStream.SetPosition(0);
        ASize = AStream.Size();
    } else if (ASize < 0) {
        ASize = std::max<int64_t>(AStream.Size() - AStream.Position(), 0);
    }
    if (AWriteByteCount) {
        const auto Count = static_cast<uint32_t>(ASize);
        const uint8_t Prefix[4] = {static_cast<uint8_t>(Count >> 24),
                                   static_cast<uint8_t>(Count >> 16),
                                   static_cast<uint8_t>(Count >> 8), static_cast<uint8_t>(Count)};
        Write(std::span<const uint8_t>(Prefix));
    }
    TIdBytes Block(static_cast<size_t>(std::max<int32_t>(SendBufferSize, 1)));
    while (ASize > 0) {
        const size_t Want = static_cast<size_t>(std::min<int64_t>(ASize, Block.size()));
        const size_t Got = AStream.Read(std::span<uint8_t>(Block.data(), Want));
        if (Got == 0) {
            throw EIdNoDataToRead(RSNoDataToRead);
        }
        Write(std::span<const uint8_t>(Block.data(), Got));
        ASize -= static_cast<int64_t>(Got);
    }
}

void TIdIOHandler::WriteBufferOpen(int32_t AThreshold) {
    if (FWriteBuffer) {
        FWriteBuffer->Clear();
    } else {
        FWriteBuffer = std::make_unique<TIdBuffer>();
    }
    FWriteBufferThreshold = AThreshold;
}

void TIdIOHandler::WriteBufferFlush(int64_t AByteCount) {
    if (!FWriteBuffer || FWriteBuffer->Empty()) {
        return;
    }
    const size_t Count =
        AByteCount < 0 ? FWriteBuffer->Size()
                       : std::min<size_t>(static_cast<size_t>(AByteCount), FWriteBuffer->Size());
    // Taken off first: a failed send keeps nothing of the block.
    const TIdBytes Block = FWriteBuffer->Extract(Count);
    WriteDirect(Block);
}

void TIdIOHandler::WriteBufferClose() {
    try {
        WriteBufferFlush();
    } catch (...) {
        FWriteBuffer.reset();
        throw;
    }
    FWriteBuffer.reset();
}

void TIdIOHandler::WriteBufferCancel() {
    FWriteBuffer.reset();
}

void TIdIOHandler::WriteDirect(std::span<const uint8_t> ABytes, int64_t ALength, int64_t AOffset) {
    CheckAborted();
    const auto Size = static_cast<int64_t>(ABytes.size());
    AOffset = std::clamp<int64_t>(AOffset, 0, Size);
    const int64_t Length = std::min(ALength < 0 ? Size - AOffset : ALength, Size - AOffset);
    CheckForDisconnect(true, true);
    auto Remaining = ABytes.subspan(static_cast<size_t>(AOffset),
                                    static_cast<size_t>(std::max<int64_t>(Length, 0)));
    while (!Remaining.empty()) {
        int Sent;
        try {
            Sent = SendChunk(Remaining);
        } catch (...) {
            RethrowUnlessAborted();
        }
        CheckAborted();
        if (Sent < 0) {
            const int Code = ClassifyTransportError(Sent);
            if (Code != Id_WSAETIMEDOUT) {
                FClosedGracefully = true;
                Close();
            }
            RaiseTransportError(Code);
            TIdStack::RaiseSocketError(Code);
        }
        if (Sent == 0) {
            FClosedGracefully = true;
        }
        CheckForDisconnect(true, false);
        Remaining = Remaining.subspan(static_cast<size_t>(Sent));
    }
}

int TIdIOHandler::ClassifyTransportError(int ALastResult) {
    if (ALastResult != -1) {
        return ALastResult;
    }
    GlobalStack().RaiseLastSocketError();
}

void TIdIOHandler::RaiseTransportError(int ACode) {
    TIdStack::RaiseSocketError(ACode);
}
