#pragma once

#include "IdHTTPTLSHook.h"
#include "IdIOHandlerStack.h"

#include <string>

// A socket handler that can run TLS on its connections. The HTTP client switches it before every
// connect: pass-through (plain bytes) for http, TLS for https.
class TIdSSLIOHandlerSocketBase : public TIdIOHandlerStack, public IIdTLSHandlerHook {
public:
    bool PassThrough() const { return FPassThrough; }
    void SetPassThrough(bool AValue) override { FPassThrough = AValue; }

    // The full URL of the request being made; only its host is used (as the server name).
    std::string URIToCheck;
    void SetURIToCheck(const std::string& AURI) override { URIToCheck = AURI; }

protected:
    bool FPassThrough = true;
};
