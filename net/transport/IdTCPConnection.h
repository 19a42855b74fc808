#pragma once

#include "IdComponent.h"
#include "IdIOHandler.h"

#include <atomic>
#include <memory>

// A TCP connection as its users see it; the I/O handler does the work.
class TIdTCPConnection : public TIdComponent {
public:
    TIdTCPConnection();
    ~TIdTCPConnection() override;

    // Not owned, unless the connection created it itself (see TIdTCPClientCustom::Connect).
    TIdIOHandler* IOHandler() const { return FIOHandler.load(); }
    void SetIOHandler(TIdIOHandler* AHandler);

    bool Connected();
    // Closes the connection if the handler is open and drops any bytes still buffered; never
    // fails because the peer is gone.
    virtual void Disconnect(bool ANotifyPeer = true);
    void CheckForGracefulDisconnect(bool ARaiseExceptionIfDisconnected = true);

    // Thread-safe: forwards to the handler's Abort.
    void Abort();

protected:
    // Tells the peer about the disconnect; nothing for plain TCP.
    virtual void DisconnectNotifyPeer() {}
    virtual void DoOnDisconnected() {}

    std::unique_ptr<TIdIOHandler> FOwnedIOHandler;

private:
    // Atomic because Abort may read it from another thread.
    std::atomic<TIdIOHandler*> FIOHandler{nullptr};
};
