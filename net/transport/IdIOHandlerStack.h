#pragma once

#include "IdIOHandlerSocket.h"

#include <string>

// The plain TCP handler: connect, waits, receives and sends on the binding's socket.
class TIdIOHandlerStack : public TIdIOHandlerSocket {
public:
    bool Connected() override;
    bool Readable(int32_t AMSec = WaitDefault) override;

protected:
    void ConnectSocket() override;
    int ReceiveChunk(std::span<uint8_t> ABuffer) override;
    int SendChunk(std::span<const uint8_t> ABytes) override;

    // Runs the binding's connect on a TIdConnectThread, closing the handler and raising
    // EIdConnectTimeout when it takes longer than ATimeout ms.
    void ConnectWithTimeout(int32_t ATimeout);
    // The binding's connect on the calling thread, without limit.
    void ConnectBinding();
    // ResolveHost(Host, IPVersion), ended early by Abort.
    std::string ResolvePeer();
};
