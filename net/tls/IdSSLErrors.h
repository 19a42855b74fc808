#pragma once

#include "IdSSLExceptions.h"
#include "TlsLibrary.h"

#include <cstdint>
#include <string>

// The two ways OpenSSL failures become exceptions: the crypto error rule (the oldest code of
// OpenSSL's error queue and its text) and the SSL error rule (SSL_get_error's classification of a
// connection call's result).
namespace IdSSLErrors {

// The socket error of the last failing call, taken right after it: errno as it was, and its
// number of the socket error table.
struct TSocketErrorSnapshot {
    int Errno = 0;
    int SocketError = 0;
};
TSocketErrorSnapshot TakeSocketError();

// OpenSSL's one-line text for ACode (at most 159 characters).
std::string ErrorText(unsigned long ACode);

// AMessage, CR LF and AText; AText alone when AMessage is empty.
std::string JoinMessage(const std::string& AMessage, const std::string& AText);

template <class E>
[[noreturn]] void RaiseCryptoErrorCode(unsigned long ACode, const std::string& AMessage) {
    throw E(JoinMessage(AMessage, ErrorText(ACode)), static_cast<int32_t>(ACode));
}

// Crypto error rule with the oldest queued code.
template <class E> [[noreturn]] void RaiseCryptoError(const std::string& AMessage) {
    RaiseCryptoErrorCode<E>(TlsFunctions().ERR_get_error(), AMessage);
}

// Raises the socket error of ASocket (Socket Error # ...).
[[noreturn]] void RaiseSocketError(int ASocketError);

// SSL error rule for the classification ACode of a call that returned AResult.
template <class E>
[[noreturn]] void RaiseSslErrorCode(int ACode, int AResult, const std::string& AMessage,
                                    const TSocketErrorSnapshot& ASocketError) {
    const std::string Prefix = AMessage.empty() ? std::string() : AMessage + "\r\n";
    if (ACode == OpenSsl::ErrorSsl) {
        RaiseCryptoError<EIdOSSLUnderlyingCryptoError>(AMessage);
    }
    if (ACode == OpenSsl::ErrorSyscall) {
        if (const unsigned long Queued = TlsFunctions().ERR_get_error(); Queued != 0) {
            RaiseCryptoErrorCode<EIdOSSLUnderlyingCryptoError>(Queued, AMessage);
        }
        // A failed call without any socket error is the peer's close, not "Socket Error # 0".
        if (AResult == 0 || (AResult == -1 && ASocketError.SocketError == 0)) {
            throw E(Prefix + IdSSLText::EOFViolation, OpenSsl::ErrorSyscall, 0);
        }
        if (AResult == -1) {
            RaiseSocketError(ASocketError.SocketError);
        }
    }
    throw E(Prefix + ErrorText(static_cast<unsigned long>(ACode)), ACode, AResult);
}

template <class E>
[[noreturn]] void RaiseSslError(const OpenSsl::SSL* AConnection, int AResult,
                                const std::string& AMessage,
                                const TSocketErrorSnapshot& ASocketError) {
    RaiseSslErrorCode<E>(TlsFunctions().SSL_get_error(AConnection, AResult), AResult, AMessage,
                         ASocketError);
}

} // namespace IdSSLErrors
