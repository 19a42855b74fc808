#include "IdTCPClient.h"

#include "IdException.h"
#include "IdIOHandlerStack.h"
#include "IdResourceStrings.h"

void TIdTCPClientCustom::Connect() {
    if (!IOHandler()) {
        FOwnedIOHandler = std::make_unique<TIdIOHandlerStack>();
        SetIOHandler(FOwnedIOHandler.get());
    }
    if (Connected()) {
        throw EIdAlreadyConnected(RSAlreadyConnected);
    }
    if (Host.empty()) {
        throw EIdHostRequired(RSHostRequired);
    }
    if (Port == 0) {
        throw EIdPortRequired(RSPortRequired);
    }
    TIdIOHandler& Handler = *IOHandler();
    try {
        Handler.Port = Port;
        Handler.Host = Host;
        Handler.ConnectTimeout = ConnectTimeout;
        Handler.ReadTimeout = ReadTimeout;
        if (auto* SocketHandler = dynamic_cast<TIdIOHandlerSocket*>(&Handler)) {
            SocketHandler->BoundIP = BoundIP;
            SocketHandler->BoundPort = BoundPort;
            SocketHandler->BoundPortMin = BoundPortMin;
            SocketHandler->BoundPortMax = BoundPortMax;
            SocketHandler->IPVersion = IPVersion;
            SocketHandler->ReuseSocket = ReuseSocket;
            SocketHandler->UseNagle = UseNagle;
        }
        Handler.Open();
        DoStatus(RSStatusConnected);
    } catch (...) {
        try {
            Handler.Close();
        } catch (...) {
        }
        throw;
    }
}
