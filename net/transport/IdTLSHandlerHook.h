#pragma once

#include <string>

// What an HTTP client tells a TLS-capable I/O handler before every connect. A handler that
// implements this is switched per request: TLS for https, pass-through for every other protocol.
// Handlers without it (the plain stack) are left alone.
class IIdTLSHandlerHook {
public:
    virtual ~IIdTLSHandlerHook() = default;
    // The host of the request's URL as typed (UTF-8, without IPv6 brackets): the server name
    // the handler sends and checks.
    virtual void SetServerName(const std::string& AHost) = 0;
    // True: bytes go to the socket unencrypted; false: TLS is negotiated on connect.
    virtual void SetPassThrough(bool AValue) = 0;
};
