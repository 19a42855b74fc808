#pragma once

#include <string>

// What the HTTP client tells a TLS-capable I/O handler before every connect. A handler that
// implements this is switched per request: TLS for https, pass-through for every other protocol.
// Handlers without it (the plain stack) are left alone.
class IIdTLSHandlerHook {
public:
    virtual ~IIdTLSHandlerHook() = default;
    // The request's full URL (UTF-8); the handler takes the server name from its host.
    virtual void SetURIToCheck(const std::string& AURI) = 0;
    // True: bytes go to the socket unencrypted; false: TLS is negotiated on connect.
    virtual void SetPassThrough(bool AValue) = 0;
};
