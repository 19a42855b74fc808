#pragma once

#include "IdIOHandlerSocket.h"
#include "IdSocketError.h"
#include "IdTLSHandlerHook.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// An I/O handler without a socket, for testing parsers byte by byte: every connection is answered
// from bytes given in advance, handed out in pieces of a chosen size, and everything sent is
// recorded. It takes any host name and port, so requests to port 80 or to names that do not
// resolve can be looked at too.
class TMemoryIOHandler : public TIdIOHandlerSocket, public IIdTLSHandlerHook {
public:
    // What happens once a connection's answer is used up.
    enum class TEnd {
        Close, // the peer closes: the next receive gives 0
        Reset, // the next receive fails with Socket Error # 10054
        Hold,  // nothing more arrives: every wait runs out at once
    };

    // The answer of every connection: connection N gets Replies[N], the last one repeating.
    std::vector<std::string> Replies{"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"};
    // Bytes per receive call; 0: as many as the receive buffer takes.
    std::size_t PieceSize = 0;
    TEnd End = TEnd::Close;
    // Receive and send calls (together, over all connections) that work before every later one
    // fails with FailError; -1: none fails.
    int FailAfterCalls = -1;
    int32_t FailError = Id_WSAECONNRESET;

    // Where each connection was asked to go, and how it was set up.
    struct TConnect {
        std::string Host;
        uint16_t Port;
        TIdIPVersion IPVersion;
        bool PassThrough;
        std::string ServerName;
    };
    std::vector<TConnect> Connects;
    // Every send call of the current connection, one entry each, and of all connections joined
    // per connection.
    std::vector<std::string> Sends;
    std::vector<std::string> Requests;
    // The bytes sent on the current connection.
    std::string Sent() const;
    // Receive calls made on the current connection.
    int Receives() const { return FReceives; }

    void SetServerName(const std::string& AHost) override { FServerName = AHost; }
    void SetPassThrough(bool AValue) override { FPassThrough = AValue; }

    bool Readable(int32_t AMSec = WaitDefault) override;
    void Close() override;

protected:
    void ConnectSocket() override;
    bool SocketAvailable() override { return FOpen; }
    int ReceiveChunk(std::span<uint8_t> ABuffer) override;
    int SendChunk(std::span<const uint8_t> ABytes) override;

private:
    // Raises FailError once FailAfterCalls calls have been made.
    void CountCall();
    const std::string& Reply() const;

    bool FOpen = false;
    bool FPassThrough = true;
    std::string FServerName;
    std::size_t FReplyPos = 0;
    int FCalls = 0;
    int FReceives = 0;
};
