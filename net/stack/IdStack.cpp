#include "IdStack.h"

#include "IdException.h"
#include "IdResourceStrings.h"
#include "IdStackPosix.h"
#include "IdText.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cstdio>
#include <memory>
#include <mutex>
#include <netinet/in.h>

namespace {

// The stack's holder is never destroyed: a name lookup left to finish on its own thread may
// release its use of the stack after the process has begun to exit.
struct TStackHolder {
    std::mutex Lock;
    std::unique_ptr<TIdStack> Stack;
    int Users = 0;
};
TStackHolder& Holder() {
    static auto* const Instance = new TStackHolder;
    return *Instance;
}

struct TSocketErrorText {
    int Code;
    const char* Text;
};

constexpr TSocketErrorText SocketErrorTexts[] = {
    {Id_WSAEINTR, "Interrupted system call."},
    {Id_WSAEBADF, "Bad file number."},
    {Id_WSAEACCES, "Access denied."},
    {Id_WSAEFAULT, "Buffer fault."},
    {Id_WSAEINVAL, "Invalid argument."},
    {Id_WSAEMFILE, "Too many open files."},
    {Id_WSAEWOULDBLOCK, "Operation would block."},
    {Id_WSAEINPROGRESS, "Operation now in progress."},
    {Id_WSAEALREADY, "Operation already in progress."},
    {Id_WSAENOTSOCK, "Socket operation on non-socket."},
    {Id_WSAEDESTADDRREQ, "Destination address required."},
    {Id_WSAEMSGSIZE, "Message too long."},
    {Id_WSAEPROTOTYPE, "Protocol wrong type for socket."},
    {Id_WSAENOPROTOOPT, "Bad protocol option."},
    {Id_WSAEPROTONOSUPPORT, "Protocol not supported."},
    {Id_WSAESOCKTNOSUPPORT, "Socket type not supported."},
    {Id_WSAEOPNOTSUPP, "Operation not supported on socket."},
    {Id_WSAEPFNOSUPPORT, "Protocol family not supported."},
    {Id_WSAEAFNOSUPPORT, "Address family not supported by protocol family."},
    {Id_WSAEADDRINUSE, "Address already in use."},
    {Id_WSAEADDRNOTAVAIL, "Cannot assign requested address."},
    {Id_WSAENETDOWN, "Network is down."},
    {Id_WSAENETUNREACH, "Network is unreachable."},
    {Id_WSAENETRESET, "Net dropped connection or reset."},
    {Id_WSAECONNABORTED, "Software caused connection abort."},
    {Id_WSAECONNRESET, "Connection reset by peer."},
    {Id_WSAENOBUFS, "No buffer space available."},
    {Id_WSAEISCONN, "Socket is already connected."},
    {Id_WSAENOTCONN, "Socket is not connected."},
    {Id_WSAESHUTDOWN, "Cannot send or receive after socket is closed."},
    {Id_WSAETOOMANYREFS, "Too many references, cannot splice."},
    {Id_WSAETIMEDOUT, "Connection timed out."},
    {Id_WSAECONNREFUSED, "Connection refused."},
    {Id_WSAELOOP, "Too many levels of symbolic links."},
    {Id_WSAENAMETOOLONG, "File name too long."},
    {Id_WSAEHOSTDOWN, "Host is down."},
    {Id_WSAEHOSTUNREACH, "No route to host."},
    {Id_WSAENOTEMPTY, "Directory not empty"},
    {Id_WSAHOST_NOT_FOUND, "Host not found."},
};

// The text up to the next "." (or the end), removed from ARest together with the ".".
std::string_view FetchPiece(std::string_view& ARest) {
    const size_t Dot = ARest.find('.');
    const std::string_view Piece = ARest.substr(0, Dot);
    ARest = Dot == std::string_view::npos ? std::string_view() : ARest.substr(Dot + 1);
    return Piece;
}

// A trimmed decimal number, or -1 when the piece is not one.
int PieceNumber(std::string_view APiece) {
    while (!APiece.empty() && static_cast<unsigned char>(APiece.front()) <= ' ') {
        APiece.remove_prefix(1);
    }
    while (!APiece.empty() && static_cast<unsigned char>(APiece.back()) <= ' ') {
        APiece.remove_suffix(1);
    }
    if (APiece.empty()) {
        return -1;
    }
    int Value = 0;
    for (const char C : APiece) {
        if (!std::isdigit(static_cast<unsigned char>(C))) {
            return -1;
        }
        // Capped: anything above 255 is out of range anyway.
        Value = std::min(Value * 10 + (C - '0'), 100000);
    }
    return Value;
}

} // namespace

void TIdStack::IncUsage() {
    TStackHolder& H = Holder();
    const std::lock_guard Guard(H.Lock);
    if (H.Users == 0) {
        H.Stack = std::make_unique<TIdStackPosix>();
    }
    ++H.Users;
}

void TIdStack::DecUsage() {
    TStackHolder& H = Holder();
    const std::lock_guard Guard(H.Lock);
    if (H.Users == 0) {
        return;
    }
    if (--H.Users == 0) {
        H.Stack.reset();
    }
}

int TIdStack::StackUsers() {
    TStackHolder& H = Holder();
    const std::lock_guard Guard(H.Lock);
    return H.Users;
}

TIdStack& GlobalStack() {
    TStackHolder& H = Holder();
    const std::lock_guard Guard(H.Lock);
    if (!H.Stack) {
        throw EIdStackError("The socket stack is not in use.");
    }
    return *H.Stack;
}

std::string TIdStack::ResolveHost(const std::string& AHost, TIdIPVersion AIPVersion) {
    // The resolver's own conversion of other letters depends on the process locale.
    std::string Host;
    if (!IdText::HostToASCII(AHost, Host)) {
        RaiseSocketError(Id_WSAHOST_NOT_FOUND);
    }
    switch (AIPVersion) {
    case Id_IPv4:
        if (IdText::EqualsNoCase(Host, "LOCALHOST")) {
            return "127.0.0.1";
        }
        if (IsIP(Host)) {
            return Host;
        }
        return LookupHost(Host, Id_IPv4);
    case Id_IPv6: {
        if (IdText::EqualsNoCase(Host, "LOCALHOST")) {
            return "::1";
        }
        std::string Canonical = CanonicalIPv6(Host);
        if (!Canonical.empty()) {
            return Canonical;
        }
        return LookupHost(Host, Id_IPv6);
    }
    }
    throw EIdIPVersionUnsupported(RSIPVersionUnsupported);
}

bool TIdStack::IsIP(std::string_view AText) {
    std::string_view Rest = AText;
    for (int I = 0; I < 4; ++I) {
        const int Number = PieceNumber(FetchPiece(Rest));
        if (Number < 0 || Number > 255) {
            return false;
        }
    }
    return Rest.empty();
}

int TIdStack::CheckForSocketError(int AResult) {
    if (AResult == -1) {
        RaiseLastSocketError();
    }
    return AResult;
}

int TIdStack::CheckForSocketError(int AResult, std::initializer_list<int> AIgnore) {
    if (AResult != -1) {
        return AResult;
    }
    const int Code = WSGetLastError();
    if (std::find(AIgnore.begin(), AIgnore.end(), Code) != AIgnore.end()) {
        return Code;
    }
    RaiseSocketError(Code);
}

void TIdStack::RaiseLastSocketError() {
    RaiseSocketError(WSGetLastError());
}

void TIdStack::RaiseSocketError(int ACode) {
    if (ACode == Id_WSAENOTSOCK) {
        throw EIdNotASocket(ACode, WSTranslateSocketErrorMsg(ACode));
    }
    throw EIdSocketError(ACode, WSTranslateSocketErrorMsg(ACode));
}

std::string TIdStack::WSTranslateSocketErrorMsg(int ACode) {
    const char* Text = "";
    for (const auto& Entry : SocketErrorTexts) {
        if (Entry.Code == ACode) {
            Text = Entry.Text;
            break;
        }
    }
    return "Socket Error # " + std::to_string(ACode) + "\r\n" + Text;
}

std::string CanonicalIPv6(std::string_view AText) {
    // inet_pton needs a terminated string and rejects zone suffixes and blanks, as wanted.
    const std::string Text(AText);
    in6_addr Address{};
    if (Text.empty() || inet_pton(AF_INET6, Text.c_str(), &Address) != 1) {
        return {};
    }
    std::string Result;
    for (int Group = 0; Group < 8; ++Group) {
        const unsigned Value = (Address.s6_addr[Group * 2] << 8) | Address.s6_addr[Group * 2 + 1];
        char Piece[8];
        std::snprintf(Piece, sizeof Piece, "%X", Value);
        if (Group > 0) {
            Result += ':';
        }
        Result += Piece;
    }
    return Result;
}
