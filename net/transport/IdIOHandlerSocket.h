#pragma once

#include "IdIOHandler.h"
#include "IdSocketHandle.h"

#include <memory>

// An I/O handler over one socket of the global stack.
class TIdIOHandlerSocket : public TIdIOHandler {
public:
    TIdIOHandlerSocket();
    ~TIdIOHandlerSocket() override;

    // Local binding and socket settings; the connection copies them in before Open.
    std::string BoundIP;
    uint16_t BoundPort = 0;
    uint16_t BoundPortMin = 0;
    uint16_t BoundPortMax = 0;
    TIdIPVersion IPVersion = Id_IPv4;
    TIdReuseSocket ReuseSocket = rsOSDependent;
    bool UseNagle = true;

    // Lives as long as the handler, so that Abort may reach it from any thread; every Open
    // resets it.
    TIdSocketHandle* Binding() const { return FBinding.get(); }

    void Open() override;
    void Close() override;
    // Also shuts the socket down, so that calls blocked inside the platform return.
    void Abort() override;

protected:
    bool SocketAvailable() override;

private:
    std::unique_ptr<TIdSocketHandle> FBinding;
};
