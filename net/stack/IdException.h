#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Every failure of the transport is one of these; Message() is the UTF-8 message shown to the
// user. A server's text may hold NUL bytes, at which what() ends: Message() has them all.
class EIdException : public std::runtime_error {
public:
    explicit EIdException(const std::string& AMessage)
        : std::runtime_error(AMessage), FMessage(AMessage) {}
    const std::string& Message() const { return FMessage; }

private:
    std::string FMessage;
};

// A failing socket call; LastError is the socket error number of the message.
class EIdSocketError : public EIdException {
public:
    EIdSocketError(int32_t ALastError, const std::string& AMessage)
        : EIdException(AMessage), LastError(ALastError) {}
    int32_t LastError = 0;
};

class EIdNotASocket : public EIdSocketError {
public:
    using EIdSocketError::EIdSocketError;
};

// Failures that mark an expected end rather than a fault.
class EIdSilentException : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdConnClosedGracefully : public EIdSilentException {
public:
    using EIdSilentException::EIdSilentException;
};

// NOLINTBEGIN(bugprone-macro-parentheses): class names are pasted bare; in parentheses they
// would not declare a class.
#define VL_ID_EXCEPTION(AName, ABase)                                                              \
    class AName : public ABase {                                                                   \
    public:                                                                                        \
        using ABase::ABase;                                                                        \
    }
// NOLINTEND(bugprone-macro-parentheses)

VL_ID_EXCEPTION(EIdReadTimeout, EIdException);
VL_ID_EXCEPTION(EIdConnectTimeout, EIdException);
VL_ID_EXCEPTION(EIdReadLnMaxLineLengthExceeded, EIdException);
VL_ID_EXCEPTION(EIdNotConnected, EIdException);
VL_ID_EXCEPTION(EIdClosedSocket, EIdException);
VL_ID_EXCEPTION(EIdAlreadyConnected, EIdException);
VL_ID_EXCEPTION(EIdHostRequired, EIdException);
VL_ID_EXCEPTION(EIdPortRequired, EIdException);
VL_ID_EXCEPTION(EIdConnectException, EIdException);
VL_ID_EXCEPTION(EIdTCPConnectionError, EIdException);
VL_ID_EXCEPTION(EIdNoDataToRead, EIdTCPConnectionError);
VL_ID_EXCEPTION(EIdStackError, EIdException);
VL_ID_EXCEPTION(EIdIPVersionUnsupported, EIdStackError);
VL_ID_EXCEPTION(EIdStackInitializationFailed, EIdStackError);
VL_ID_EXCEPTION(EIdSocketHandleError, EIdException);
VL_ID_EXCEPTION(EIdCouldNotBindSocket, EIdSocketHandleError);
// Raised by every operation of a connection after Abort was called on it.
VL_ID_EXCEPTION(EIdOperationAborted, EIdException);

#undef VL_ID_EXCEPTION
