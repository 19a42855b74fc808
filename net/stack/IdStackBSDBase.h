#pragma once

#include "IdStack.h"

// Parts common to BSD-style socket interfaces: address conversion and resolver error mapping.
class TIdStackBSDBase : public TIdStack {
public:
    // Socket error number for a resolver (getaddrinfo) result; EAI_SYSTEM maps the errno.
    static int ResolverErrorToSocketError(int AResolverResult, int AErrno);
    // Socket error number for an errno value; numbers without a counterpart pass unchanged.
    static int ErrnoToSocketError(int AErrno);
};
