#include "IdSocketHandle.h"

#include "IdException.h"
#include "IdResourceStrings.h"
#include "IdStack.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

TIdSocketHandle::~TIdSocketHandle() {
    CloseSocket();
}

void TIdSocketHandle::SetIPVersion(TIdIPVersion AValue) {
    if (AValue == FIPVersion) {
        return;
    }
    if (HandleAllocated()) {
        throw EIdSocketHandleError(RSCannotChangeIPVersion);
    }
    FIPVersion = AValue;
}

void TIdSocketHandle::AllocateSocket(int ASocketType, int AProtocol) {
    CloseSocket();
    SetHandle(GlobalStack().NewSocketHandle(ASocketType, AProtocol, FIPVersion));
}

void TIdSocketHandle::SetHandle(TIdStackSocketHandle AHandle) {
    {
        const std::lock_guard Guard(FLock);
        FHandle = AHandle;
    }
    if (HandleAllocated()) {
        ReadSocketSettings();
    }
}

void TIdSocketHandle::ReadSocketSettings() {
    TIdStack& Stack = GlobalStack();
    FSocketType = Stack.GetSocketOption(FHandle, SOL_SOCKET, SO_TYPE);
    if (FSocketType == SOCK_STREAM) {
        UseNagle = Stack.GetSocketOption(FHandle, IPPROTO_TCP, TCP_NODELAY) == 0;
    }
}

void TIdSocketHandle::CloseSocket() {
    const std::lock_guard Guard(FLock);
    if (!HandleAllocated()) {
        return;
    }
    const TIdStackSocketHandle Handle = FHandle;
    FHandle = Id_INVALID_SOCKET;
    TIdStack& Stack = GlobalStack();
    Stack.Disconnect(Handle);
    Stack.CloseSocketHandle(Handle);
}

void TIdSocketHandle::Reset() {
    CloseSocket();
    IP.clear();
    Port = 0;
    PeerIP.clear();
    PeerPort = 0;
    FIPVersion = Id_IPv4;
}

void TIdSocketHandle::Bind() {
    TIdStack& Stack = GlobalStack();
    Stack.SetSocketOption(FHandle, SOL_SOCKET, SO_REUSEADDR, ReuseSocket == rsTrue ? 1 : 0);
    bool Bound = false;
    if (Port == 0 && ClientPortMin > 0 && ClientPortMax >= ClientPortMin) {
        for (uint32_t Candidate = ClientPortMin; Candidate <= ClientPortMax && !Bound;
             ++Candidate) {
            try {
                Stack.Bind(FHandle, IP, static_cast<uint16_t>(Candidate), FIPVersion);
                Bound = true;
            } catch (const EIdSocketError&) {
            }
        }
    } else {
#ifdef IP_BIND_ADDRESS_NO_PORT
        // Any local port: chosen at connect, where a port may serve other peers as well. Bound
        // here, the port would be searched among every socket held (closed ones included) and
        // kept from every peer.
        if (Port == 0) {
            try {
                Stack.SetSocketOption(FHandle, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, 1);
            } catch (const EIdSocketError&) {
            }
        }
#endif
        try {
            Stack.Bind(FHandle, IP, Port, FIPVersion);
            Bound = true;
        } catch (const EIdSocketError&) {
        }
    }
    if (!Bound) {
        throw EIdCouldNotBindSocket(RSCouldNotBindSocket);
    }
    UpdateBindingLocal();
}

void TIdSocketHandle::ApplyNagle(bool AUseNagle) {
    if (AUseNagle == UseNagle) {
        return;
    }
    GlobalStack().SetSocketOption(FHandle, IPPROTO_TCP, TCP_NODELAY, AUseNagle ? 0 : 1);
    UseNagle = AUseNagle;
}

void TIdSocketHandle::SetPeer(const std::string& AIP, uint16_t APort, TIdIPVersion AIPVersion) {
    PeerIP = AIP;
    PeerPort = APort;
    SetIPVersion(AIPVersion);
}

TIdWaitResult TIdSocketHandle::Connect(int32_t ATimeout, std::span<const int> AWakeFds) {
    const TIdWaitResult Result =
        GlobalStack().ConnectWait(FHandle, PeerIP, PeerPort, FIPVersion, ATimeout, AWakeFds);
    if (Result == TIdWaitResult::Ready) {
        const std::lock_guard Guard(FLock);
        if (HandleAllocated()) {
            UpdateBindingLocal();
            UpdateBindingPeer();
        }
    }
    return Result;
}

void TIdSocketHandle::UpdateBindingLocal() {
    GlobalStack().GetSocketName(FHandle, IP, Port);
}

void TIdSocketHandle::UpdateBindingPeer() {
    GlobalStack().GetPeerName(FHandle, PeerIP, PeerPort);
}

TIdWaitResult TIdSocketHandle::WaitReadable(int32_t AMSec, std::span<const int> AWakeFds) {
    return GlobalStack().WaitForSocket(FHandle, false, AMSec, AWakeFds);
}

void TIdSocketHandle::ShutdownBoth() {
    const std::lock_guard Guard(FLock);
    if (HandleAllocated()) {
        GlobalStack().ShutdownBoth(FHandle);
    }
}
