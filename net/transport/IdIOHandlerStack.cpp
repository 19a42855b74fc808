#include "IdIOHandlerStack.h"

#include "IdConnectThread.h"
#include "IdException.h"
#include "IdResourceStrings.h"
#include "IdStack.h"

#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

std::string FormatStatus(const char* AFormat, const std::string& AArgument) {
    std::string Text = AFormat;
    const size_t At = Text.find("%s");
    if (At != std::string::npos) {
        Text.replace(At, 2, AArgument);
    }
    return Text;
}

// The outcome of one resolution on its own thread; shared, so the thread may outlive the wait.
struct TResolution {
    std::mutex Lock;
    std::string Address;
    std::exception_ptr Error;
    int Pipe[2] = {-1, -1}; // written once the outcome is in place

    ~TResolution() {
        for (const int Fd : Pipe) {
            if (Fd >= 0) {
                close(Fd);
            }
        }
    }
};

} // namespace

std::string TIdIOHandlerStack::ResolvePeer() {
    // A slow resolver must not delay an abort: the lookup runs on a thread of its own that keeps
    // the stack in use until it ends, and is left to finish alone when the wait is aborted.
    auto State = std::make_shared<TResolution>();
    // Close-on-exec: the lookup may outlive this call, and no child process is to inherit it.
    if (pipe2(State->Pipe, O_CLOEXEC) != 0) {
        return GlobalStack().ResolveHost(Host, IPVersion);
    }
    TIdStack::IncUsage();
    try {
        std::thread([State, AHost = Host, AVersion = IPVersion] {
            std::string Address;
            std::exception_ptr Error;
            try {
                Address = GlobalStack().ResolveHost(AHost, AVersion);
            } catch (...) {
                Error = std::current_exception();
            }
            {
                const std::lock_guard Guard(State->Lock);
                State->Address = std::move(Address);
                State->Error = Error;
            }
            const char Byte = 1;
            [[maybe_unused]] const ssize_t Written = write(State->Pipe[1], &Byte, 1);
            TIdStack::DecUsage();
        }).detach();
    } catch (const std::system_error&) {
        TIdStack::DecUsage();
        return GlobalStack().ResolveHost(Host, IPVersion);
    }
    const int WakeFd = AbortWakeFd();
    while (GlobalStack().WaitForSocket(State->Pipe[0], false, -1,
                                       std::span<const int>(&WakeFd, 1)) != TIdWaitResult::Ready) {
        CheckAborted();
        DrainAbortWake();
        CheckAborted();
    }
    const std::lock_guard Guard(State->Lock);
    if (State->Error) {
        std::rethrow_exception(State->Error);
    }
    return State->Address;
}

bool TIdIOHandlerStack::Connected() {
    try {
        FillInputBuffer(false, 0, false);
    } catch (const EIdSocketError& E) {
        if (IsConnectionClosedError(E.LastError)) {
            return false;
        }
        throw;
    }
    const bool Live =
        SocketAvailable() && Opened() && !(ClosedGracefully() && InputBufferIsEmpty());
    return Live || !InputBufferIsEmpty();
}

bool TIdIOHandlerStack::Readable(int32_t AMSec) {
    CheckAborted();
    if (!SocketAvailable()) {
        return false;
    }
    const int32_t Wait = AMSec < 0 ? -1 : AMSec;
    const int WakeFd = AbortWakeFd();
    for (;;) {
        switch (Binding()->WaitReadable(Wait, std::span<const int>(&WakeFd, 1))) {
        case TIdWaitResult::Ready:
            return true;
        case TIdWaitResult::TimedOut:
            return false;
        case TIdWaitResult::Woken:
            CheckAborted();
            DrainAbortWake();
            // Abort sets the flag before it wakes, so a wake just drained shows here.
            CheckAborted();
            break;
        }
    }
}

void TIdIOHandlerStack::ConnectSocket() {
    CheckAborted();
    // From here on a wake means an abort: none may be left over from an earlier one.
    DrainAbortWake();
    CheckAborted();
    TIdSocketHandle& Socket = *Binding();
    Socket.SetIPVersion(IPVersion);
    Socket.AllocateSocket(SOCK_STREAM, 0);
    Socket.IP = BoundIP;
    Socket.Port = BoundPort;
    Socket.ClientPortMin = BoundPortMin;
    Socket.ClientPortMax = BoundPortMax;
    Socket.ReuseSocket = ReuseSocket;
    Socket.Bind();
    Socket.ApplyNagle(UseNagle);

    std::string PeerAddress;
    if (IPVersion == Id_IPv4) {
        if (TIdStack::IsIP(Host)) {
            PeerAddress = Host;
        }
    } else {
        PeerAddress = CanonicalIPv6(Host);
    }
    if (PeerAddress.empty()) {
        DoStatus(FormatStatus(RSStatusResolving, Host));
        PeerAddress = ResolvePeer();
    }
    Socket.SetPeer(PeerAddress, Port, IPVersion);
    DoStatus(FormatStatus(RSStatusConnecting, PeerAddress));

    const int32_t Timeout = ConnectTimeout;
    if (Timeout == -1 || Timeout == 0) {
        ConnectBinding();
    } else {
        ConnectWithTimeout(Timeout);
    }
}

void TIdIOHandlerStack::ConnectBinding() {
    const int WakeFd = AbortWakeFd();
    if (Binding()->Connect(WaitForever, std::span<const int>(&WakeFd, 1)) != TIdWaitResult::Ready) {
        throw EIdOperationAborted(RSOperationAborted);
    }
}

void TIdIOHandlerStack::ConnectWithTimeout(int32_t ATimeout) {
    TIdConnectThread Thread([this](int AStopFd) {
        const int WakeFds[2] = {AbortWakeFd(), AStopFd};
        if (Binding()->Connect(WaitForever, WakeFds) != TIdWaitResult::Ready) {
            CheckAborted();
        }
    });
    if (!Thread.WaitFor(ATimeout)) {
        Thread.Stop();
        Thread.Join();
        Close();
        CheckAborted();
        throw EIdConnectTimeout(RSConnectTimeout);
    }
    Thread.Join();
    if (const std::exception_ptr Error = Thread.Error()) {
        std::rethrow_exception(Error);
    }
    CheckAborted();
}

int TIdIOHandlerStack::ReceiveChunk(std::span<uint8_t> ABuffer) {
    TIdStack& Stack = GlobalStack();
    const int Count = Stack.Receive(Binding()->Handle(), ABuffer);
    if (Count < 0) {
        const int Code = Stack.WSGetLastError();
        CheckAborted();
        TIdStack::RaiseSocketError(Code);
    }
    return Count;
}

int TIdIOHandlerStack::SendChunk(std::span<const uint8_t> ABytes) {
    TIdStack& Stack = GlobalStack();
    const int Count = Stack.Send(Binding()->Handle(), ABytes);
    if (Count < 0) {
        const int Code = Stack.WSGetLastError();
        CheckAborted();
        TIdStack::RaiseSocketError(Code);
    }
    return Count;
}
