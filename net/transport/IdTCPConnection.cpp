#include "IdTCPConnection.h"

#include "IdException.h"
#include "IdResourceStrings.h"

TIdTCPConnection::TIdTCPConnection() = default;

TIdTCPConnection::~TIdTCPConnection() = default;

void TIdTCPConnection::SetIOHandler(TIdIOHandler* AHandler) {
    FIOHandler.store(AHandler);
    if (FOwnedIOHandler && FOwnedIOHandler.get() != AHandler) {
        FOwnedIOHandler.reset();
    }
}

bool TIdTCPConnection::Connected() {
    TIdIOHandler* Handler = IOHandler();
    return Handler && Handler->Connected();
}

void TIdTCPConnection::Disconnect(bool ANotifyPeer) {
    TIdIOHandler* Handler = IOHandler();
    if (ANotifyPeer) {
        try {
            if (Connected()) {
                DisconnectNotifyPeer();
            }
        } catch (...) {
        }
    }
    if (!Handler) {
        return;
    }
    if (Handler->Opened()) {
        DoStatus(RSStatusDisconnecting);
        Handler->Close();
        DoOnDisconnected();
        DoStatus(RSStatusDisconnected);
    }
    // Bytes left over from a connection that is over must not make the next Connect see a
    // live connection ("Already connected.").
    Handler->InputBuffer().Clear();
}

void TIdTCPConnection::CheckForGracefulDisconnect(bool ARaiseExceptionIfDisconnected) {
    if (TIdIOHandler* Handler = IOHandler()) {
        Handler->CheckForDisconnect(ARaiseExceptionIfDisconnected, false);
    } else if (ARaiseExceptionIfDisconnected) {
        throw EIdNotConnected(RSNotConnected);
    }
}

void TIdTCPConnection::Abort() {
    if (TIdIOHandler* Handler = IOHandler()) {
        Handler->Abort();
    }
}
