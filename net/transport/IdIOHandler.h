#pragma once

#include "IdBuffer.h"
#include "IdComponent.h"
#include "IdGlobal.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

class TIdStream;

// Byte transport with an input buffer and an optional write buffer. Descendants supply the
// socket through the protected hooks.
class TIdIOHandler : public TIdComponent {
public:
    TIdIOHandler();
    ~TIdIOHandler() override;

    // Target and limits; the connection copies them in before Open.
    std::string Host;
    uint16_t Port = 0;
    int32_t ConnectTimeout = 0; // 0 and -1: no limit
    int32_t ReadTimeout = -1;   // 0 and -1: no limit
    int32_t RecvBufferSize = 32768;
    int32_t SendBufferSize = 32768;
    int32_t MaxLineLength = 16384;
    TIdMaxLineAction MaxLineAction = maException;
    TIdTextEncoding DefaultEncoding = TIdTextEncoding::enASCII;

    TIdBuffer& InputBuffer() { return FInputBuffer; }
    bool InputBufferIsEmpty() const { return FInputBuffer.Empty(); }
    bool Opened() const { return FOpened; }
    bool ClosedGracefully() const { return FClosedGracefully; }
    bool ReadLnSplit() const { return FReadLnSplit; }
    bool ReadLnTimedOut() const { return FReadLnTimedOut; }

    virtual void Open();
    virtual void Close();
    virtual bool Connected();

    void CheckForDisconnect(bool ARaiseExceptionIfDisconnected = true, bool AIgnoreBuffer = false);
    // Waits up to AMSec ms (WaitDefault, WaitForever: no limit) for data or end of stream.
    virtual bool Readable(int32_t AMSec = WaitDefault) = 0;
    // One read pass into InputBuffer: the byte count, 0 at the end, -1 on a time-out.
    int FillInputBuffer(bool ARaiseIfDisconnected, int32_t ATimeout, bool ARaiseOnTimeout);

    std::string ReadLn(std::string_view ATerminator = "\n", int32_t ATimeout = WaitDefault,
                       int32_t AMaxLineLength = -1,
                       TIdTextEncoding AByteEncoding = TIdTextEncoding::enDefault);
    // AByteCount > 0: exactly that many bytes; < 0: whatever one read pass brings.
    void ReadBytes(TIdBytes& ABuffer, int64_t AByteCount, bool AAppend = true);
    // AByteCount >= 0 with AReadUntilDisconnect false: exactly that many bytes; otherwise
    // everything until the peer closes. Memory grows only with bytes that arrived.
    void ReadStream(TIdStream& AStream, int64_t AByteCount = -1, bool AReadUntilDisconnect = false);
    // True when connected and a read pass within ATimeout added bytes to InputBuffer.
    bool CheckForDataOnSource(int32_t ATimeout = 0);

    // ALength -1: everything from AOffset on.
    void Write(std::span<const uint8_t> ABytes, int64_t ALength = -1, int64_t AOffset = 0);
    void Write(std::string_view AText, TIdTextEncoding AEncoding = TIdTextEncoding::enDefault);
    void WriteLn(std::string_view AText = {},
                 TIdTextEncoding AEncoding = TIdTextEncoding::enDefault);
    // ASize 0: the whole stream from position 0; < 0: from the position to the end.
    void Write(TIdStream& AStream, int64_t ASize = 0, bool AWriteByteCount = false);

    // AThreshold -1: no automatic flush.
    void WriteBufferOpen(int32_t AThreshold = -1);
    void WriteBufferFlush(int64_t AByteCount = -1);
    void WriteBufferClose();
    void WriteBufferCancel();
    bool WriteBufferingActive() const { return FWriteBuffer != nullptr; }

    // Sends at once, bypassing the write buffer.
    void WriteDirect(std::span<const uint8_t> ABytes, int64_t ALength = -1, int64_t AOffset = 0);

    // Thread-safe: makes a blocked connect, wait, receive or send end promptly with
    // EIdOperationAborted, and every later operation fail the same way until ClearAbort.
    virtual void Abort();
    // Called by the owner between operations, never while another thread may abort.
    void ClearAbort();
    bool Aborted() const { return FAborted.load(std::memory_order_acquire); }

protected:
    // Creates, binds and connects the socket.
    virtual void ConnectSocket() {}
    // True while there is a live socket.
    virtual bool SocketAvailable() = 0;
    // One receive into ABuffer; 0 when the peer closed. Socket failures may raise at once.
    virtual int ReceiveChunk(std::span<uint8_t> ABuffer) = 0;
    // One send of (a part of) ABytes; returns the count sent.
    virtual int SendChunk(std::span<const uint8_t> ABytes) = 0;
    // For a negative chunk result: the socket error when it is a closed connection
    // (IsConnectionClosedError) or a time-out (Id_WSAETIMEDOUT), which the caller handles;
    // raises for any other. The default raises the stack's last error: the socket handlers
    // raise their failures from ReceiveChunk and SendChunk and never return a negative count.
    virtual int ClassifyTransportError(int ALastResult);
    // Raises the error of ACode.
    virtual void RaiseTransportError(int ACode);

    // Raises EIdOperationAborted once Abort was called.
    void CheckAborted() const;
    // Readable descriptor that stays readable while aborted; wait on it beside the socket.
    int AbortWakeFd() const { return FWakeRead; }
    // Empties the wake descriptor after a wake that no abort stands behind (one left over from
    // an abort cleared meanwhile); the flag is left alone, so no abort is lost.
    void DrainAbortWake() const;

    void SetClosedGracefully(bool AValue) { FClosedGracefully = AValue; }

    // In a catch block: raises EIdOperationAborted when the failure came from Abort, else
    // rethrows the failure being handled.
    [[noreturn]] void RethrowUnlessAborted() const;

private:
    TIdTextEncoding ResolveEncoding(TIdTextEncoding AEncoding) const;
    // Moves up to AMax buffered bytes to AStream; returns the count moved.
    int64_t MoveInputToStream(TIdStream& AStream, int64_t AMax);

    TIdBuffer FInputBuffer;
    std::unique_ptr<TIdBuffer> FWriteBuffer;
    int32_t FWriteBufferThreshold = -1;
    bool FOpened = false;
    bool FClosedGracefully = false;
    bool FReadLnSplit = false;
    bool FReadLnTimedOut = false;
    std::atomic<bool> FAborted{false};
    int FWakeRead = -1;
    int FWakeWrite = -1;
};
