#pragma once

#include "IdIOHandlerStack.h"
#include "IdTLSHandlerHook.h"

#include <string>

// A socket handler that can run TLS on its connections. The HTTP client switches it before every
// connect: pass-through (plain bytes) for http, TLS for https.
class TIdSSLIOHandlerSocketBase : public TIdIOHandlerStack, public IIdTLSHandlerHook {
public:
    bool PassThrough() const { return FPassThrough; }
    void SetPassThrough(bool AValue) override { FPassThrough = AValue; }

    // The host of the request being made, used as the server name; empty: the connect host.
    std::string ServerNameToSend;
    void SetServerName(const std::string& AHost) override { ServerNameToSend = AHost; }

protected:
    bool FPassThrough = true;
};
