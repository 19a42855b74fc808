#include "IdStackBSDBase.h"

#include "IdSocketError.h"

#include <cerrno>
#include <netdb.h>

int TIdStackBSDBase::ErrnoToSocketError(int AErrno) {
    switch (AErrno) {
    case EINTR:
        return Id_WSAEINTR;
    case EBADF:
        return Id_WSAEBADF;
    case EACCES:
        return Id_WSAEACCES;
    case EFAULT:
        return Id_WSAEFAULT;
    case EINVAL:
        return Id_WSAEINVAL;
    case EMFILE:
        return Id_WSAEMFILE;
    case EWOULDBLOCK:
        return Id_WSAEWOULDBLOCK;
    case EINPROGRESS:
        return Id_WSAEINPROGRESS;
    case EALREADY:
        return Id_WSAEALREADY;
    case ENOTSOCK:
        return Id_WSAENOTSOCK;
    case EDESTADDRREQ:
        return Id_WSAEDESTADDRREQ;
    case EMSGSIZE:
        return Id_WSAEMSGSIZE;
    case EPROTOTYPE:
        return Id_WSAEPROTOTYPE;
    case ENOPROTOOPT:
        return Id_WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
        return Id_WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
        return Id_WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
        return Id_WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
        return Id_WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
        return Id_WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return Id_WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return Id_WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return Id_WSAENETDOWN;
    case ENETUNREACH:
        return Id_WSAENETUNREACH;
    case ENETRESET:
        return Id_WSAENETRESET;
    case ECONNABORTED:
        return Id_WSAECONNABORTED;
    case ECONNRESET:
        return Id_WSAECONNRESET;
    case ENOBUFS:
        return Id_WSAENOBUFS;
    case EISCONN:
        return Id_WSAEISCONN;
    case ENOTCONN:
        return Id_WSAENOTCONN;
    case EPIPE:
    case ESHUTDOWN:
        return Id_WSAESHUTDOWN;
    case ETOOMANYREFS:
        return Id_WSAETOOMANYREFS;
    case ETIMEDOUT:
        return Id_WSAETIMEDOUT;
    case ECONNREFUSED:
        return Id_WSAECONNREFUSED;
    case ELOOP:
        return Id_WSAELOOP;
    case ENAMETOOLONG:
        return Id_WSAENAMETOOLONG;
    case EHOSTDOWN:
        return Id_WSAEHOSTDOWN;
    case EHOSTUNREACH:
        return Id_WSAEHOSTUNREACH;
    case ENOTEMPTY:
        return Id_WSAENOTEMPTY;
    case ENOMEM:
        return Id_WSA_NOT_ENOUGH_MEMORY;
    default:
        return AErrno;
    }
}

int TIdStackBSDBase::ResolverErrorToSocketError(int AResolverResult, int AErrno) {
    switch (AResolverResult) {
    case 0:
        return 0;
    case EAI_AGAIN:
        return Id_WSATRY_AGAIN;
    case EAI_BADFLAGS:
        return Id_WSAEINVAL;
    case EAI_FAIL:
        return Id_WSANO_RECOVERY;
    case EAI_FAMILY:
        return Id_WSAEAFNOSUPPORT;
    case EAI_MEMORY:
        return Id_WSA_NOT_ENOUGH_MEMORY;
#if defined(EAI_NODATA) && EAI_NODATA != EAI_NONAME
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    // The name exists but has no address of the family asked for: no data, as for EAI_NODATA.
    case EAI_ADDRFAMILY:
#endif
        return Id_WSANO_DATA;
    case EAI_NONAME:
        return Id_WSAHOST_NOT_FOUND;
    case EAI_SERVICE:
        return Id_WSATYPE_NOT_FOUND;
    case EAI_SOCKTYPE:
        return Id_WSAESOCKTNOSUPPORT;
    case EAI_SYSTEM:
        return ErrnoToSocketError(AErrno);
    default:
        return AResolverResult;
    }
}
