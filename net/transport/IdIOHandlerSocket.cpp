#include "IdIOHandlerSocket.h"

TIdIOHandlerSocket::TIdIOHandlerSocket() : FBinding(std::make_unique<TIdSocketHandle>()) {}

TIdIOHandlerSocket::~TIdIOHandlerSocket() = default;

void TIdIOHandlerSocket::Open() {
    TIdIOHandler::Open();
    FBinding->Reset();
    if (!Host.empty() && Port > 0) {
        try {
            ConnectSocket();
        } catch (...) {
            RethrowUnlessAborted();
        }
    }
}

void TIdIOHandlerSocket::Close() {
    FBinding->CloseSocket();
    TIdIOHandler::Close();
}

void TIdIOHandlerSocket::Abort() {
    TIdIOHandler::Abort();
    FBinding->ShutdownBoth();
}

bool TIdIOHandlerSocket::SocketAvailable() {
    return FBinding->HandleAllocated();
}
