#pragma once

#include "IdTCPConnection.h"

#include <cstdint>
#include <string>

// The client side of a TCP connection.
class TIdTCPClientCustom : public TIdTCPConnection {
public:
    std::string Host;
    uint16_t Port = 0;
    TIdIPVersion IPVersion = Id_IPv4;
    int32_t ConnectTimeout = 0; // 0 and -1: no limit
    int32_t ReadTimeout = -1;   // 0 and -1: no limit
    std::string BoundIP;
    uint16_t BoundPort = 0;
    uint16_t BoundPortMin = 0;
    uint16_t BoundPortMax = 0;
    TIdReuseSocket ReuseSocket = rsOSDependent;
    bool UseNagle = true;

    // Opens the connection to Host:Port through IOHandler (a plain TIdIOHandlerStack owned by
    // the connection when none is set). On failure the handler is closed again.
    virtual void Connect();
};
