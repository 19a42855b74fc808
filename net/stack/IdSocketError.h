#pragma once

#include <cstdint>

// The socket error numbers users see in messages ("Socket Error # 10061"). errno values and
// resolver results are mapped onto them by TIdStackBSDBase.
enum TIdSocketError : int32_t {
    Id_WSA_NOT_ENOUGH_MEMORY = 8,
    Id_WSAEINTR = 10004,
    Id_WSAEBADF = 10009,
    Id_WSAEACCES = 10013,
    Id_WSAEFAULT = 10014,
    Id_WSAEINVAL = 10022,
    Id_WSAEMFILE = 10024,
    Id_WSAEWOULDBLOCK = 10035,
    Id_WSAEINPROGRESS = 10036,
    Id_WSAEALREADY = 10037,
    Id_WSAENOTSOCK = 10038,
    Id_WSAEDESTADDRREQ = 10039,
    Id_WSAEMSGSIZE = 10040,
    Id_WSAEPROTOTYPE = 10041,
    Id_WSAENOPROTOOPT = 10042,
    Id_WSAEPROTONOSUPPORT = 10043,
    Id_WSAESOCKTNOSUPPORT = 10044,
    Id_WSAEOPNOTSUPP = 10045,
    Id_WSAEPFNOSUPPORT = 10046,
    Id_WSAEAFNOSUPPORT = 10047,
    Id_WSAEADDRINUSE = 10048,
    Id_WSAEADDRNOTAVAIL = 10049,
    Id_WSAENETDOWN = 10050,
    Id_WSAENETUNREACH = 10051,
    Id_WSAENETRESET = 10052,
    Id_WSAECONNABORTED = 10053,
    Id_WSAECONNRESET = 10054,
    Id_WSAENOBUFS = 10055,
    Id_WSAEISCONN = 10056,
    Id_WSAENOTCONN = 10057,
    Id_WSAESHUTDOWN = 10058,
    Id_WSAETOOMANYREFS = 10059,
    Id_WSAETIMEDOUT = 10060,
    Id_WSAECONNREFUSED = 10061,
    Id_WSAELOOP = 10062,
    Id_WSAENAMETOOLONG = 10063,
    Id_WSAEHOSTDOWN = 10064,
    Id_WSAEHOSTUNREACH = 10065,
    Id_WSAENOTEMPTY = 10066,
    Id_WSATYPE_NOT_FOUND = 10109,
    Id_WSAHOST_NOT_FOUND = 11001,
    Id_WSATRY_AGAIN = 11002,
    Id_WSANO_RECOVERY = 11003,
    Id_WSANO_DATA = 11004,
};

// The errors that mean the peer is gone: the connection was aborted, reset, or shut down. A read
// that meets one ends the connection as if it had been closed; a time-out (10060) is not one.
constexpr bool IsConnectionClosedError(int32_t ACode) {
    return ACode == Id_WSAECONNABORTED || ACode == Id_WSAECONNRESET || ACode == Id_WSAESHUTDOWN;
}
