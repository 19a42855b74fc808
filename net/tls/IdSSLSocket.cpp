#include "IdSSLSocket.h"

#include "IdSocketError.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace {

bool IsRetry(int ACode) {
    return ACode == OpenSsl::ErrorWantRead || ACode == OpenSsl::ErrorWantWrite;
}

// On a blocking socket, a retry report with EAGAIN means the receive or send time-out ran out.
bool IsSocketTimeOut(int AErrno) {
    return AErrno == EAGAIN || AErrno == EWOULDBLOCK;
}

bool IsAddressLiteral(const std::string& AHost) {
    unsigned char Address[16];
    return inet_pton(AF_INET, AHost.c_str(), Address) == 1 ||
           inet_pton(AF_INET6, AHost.c_str(), Address) == 1;
}

} // namespace

std::string TIdSSLCipher::Name() const {
    return TlsText(TlsFunctions().SSL_CIPHER_get_name(FCipher));
}

std::string TIdSSLCipher::Description() const {
    char Buffer[1024] = {};
    return TlsText(TlsFunctions().SSL_CIPHER_description(FCipher, Buffer, sizeof Buffer));
}

int TIdSSLCipher::Bits() const {
    int AlgorithmBits = 0;
    TlsFunctions().SSL_CIPHER_get_bits(FCipher, &AlgorithmBits);
    return AlgorithmBits;
}

std::string TIdSSLCipher::Version() const {
    return TlsText(TlsFunctions().SSL_CIPHER_get_version(FCipher));
}

TIdSSLSocket::~TIdSSLSocket() {
    const TTlsFunctions& F = TlsFunctions();
    FCipher.reset();
    if (FSSL != nullptr && F.SSL_free != nullptr) {
        F.SSL_shutdown(FSSL);
        F.SSL_free(FSSL);
        // A close notification that could not be sent leaves errors that are nobody's concern.
        F.ERR_clear_error();
    }
}

void TIdSSLSocket::Connect(TIdStackSocketHandle AHandle) {
    using namespace IdSSLErrors;
    const TTlsFunctions& F = TlsFunctions();
    F.ERR_clear_error();
    FSSL = F.SSL_new(SSLContext->Context());
    if (FSSL == nullptr) {
        throw EIdOSSLCreatingSessionError(IdSSLText::CreatingSessionError);
    }
    errno = 0;
    int Result = F.SSL_set_ex_data(FSSL, 0, this);
    if (Result <= 0) {
        RaiseSslError<EIdOSSLDataBindingError>(FSSL, Result, IdSSLText::DataBindingError,
                                               TakeSocketError());
    }
    Result = F.SSL_set_fd(FSSL, AHandle);
    if (Result <= 0) {
        RaiseSslError<EIdOSSLFDSetError>(FSSL, Result, IdSSLText::FDSetError, TakeSocketError());
    }
    // The name goes out as typed, address literals included; the result is of no consequence.
    if (!HostName.empty()) {
        F.SSL_ctrl(FSSL, OpenSsl::CtrlSetTlsExtHostName, OpenSsl::TlsExtNameTypeHostName,
                   HostName.data());
        F.ERR_clear_error();
    }
    SetVerifyHost();
    for (;;) {
        errno = 0;
        Result = F.SSL_connect(FSSL);
        if (Result > 0) {
            break;
        }
        const TSocketErrorSnapshot SocketError = TakeSocketError();
        const int Code = F.SSL_get_error(FSSL, Result);
        if (IsRetry(Code) && IsSocketTimeOut(SocketError.Errno)) {
            RaiseSocketError(Id_WSAETIMEDOUT);
        }
        if (IsRetry(Code) && SocketError.Errno == EINTR) {
            continue;
        }
        RaiseSslErrorCode<EIdOSSLConnectError>(Code, Result, IdSSLText::ConnectError, SocketError);
    }
    if (FParent != nullptr) {
        FParent->StatusInfo(CipherStatusText());
    }
}

void TIdSSLSocket::SetVerifyHost() {
    if (VerifyHost.empty()) {
        return;
    }
    // The check runs within the handshake; its result is read afterwards, so a mismatch does not
    // break the handshake by itself.
    const TTlsFunctions& F = TlsFunctions();
    OpenSsl::X509_VERIFY_PARAM* Param = F.SSL_get0_param(FSSL);
    const int Set = IsAddressLiteral(VerifyHost)
                        ? F.X509_VERIFY_PARAM_set1_ip_asc(Param, VerifyHost.c_str())
                        : F.X509_VERIFY_PARAM_set1_host(Param, VerifyHost.c_str(), 0);
    if (Set != 1) {
        IdSSLErrors::RaiseCryptoError<EIdOSSLConnectError>(IdSSLText::ConnectError);
    }
}

long TIdSSLSocket::VerifyResult() const {
    return TlsFunctions().SSL_get_verify_result(FSSL);
}

OpenSsl::X509* TIdSSLSocket::PeerCertificate() const {
    return TlsFunctions().SSL_get1_peer_certificate(FSSL);
}

template <class TCall> int TIdSSLSocket::Transfer(TCall ACall) {
    const TTlsFunctions& F = TlsFunctions();
    FTimedOut = false;
    F.ERR_clear_error();
    for (;;) {
        errno = 0;
        const int Result = ACall();
        if (Result > 0) {
            return Result;
        }
        FLastSocketError = IdSSLErrors::TakeSocketError();
        const int Code = F.SSL_get_error(FSSL, Result);
        if (IsRetry(Code)) {
            // A blocking socket only asks for a retry when interrupted or out of time; retrying
            // after the time-out would wait for ever.
            if (IsSocketTimeOut(FLastSocketError.Errno)) {
                FTimedOut = true;
                FLastSocketError.SocketError = Id_WSAETIMEDOUT;
                return Result < 0 ? Result : -1;
            }
            continue;
        }
        // A system call failure without any socket error is the peer's end of the connection.
        if (Code == OpenSsl::ErrorZeroReturn ||
            (Code == OpenSsl::ErrorSyscall && FLastSocketError.SocketError == 0)) {
            return 0;
        }
        return Result;
    }
}

int TIdSSLSocket::Recv(std::span<uint8_t> ABuffer) {
    const int Length = static_cast<int>(std::min<std::size_t>(ABuffer.size(), INT_MAX));
    return Transfer([&] { return TlsFunctions().SSL_read(FSSL, ABuffer.data(), Length); });
}

int TIdSSLSocket::Send(std::span<const uint8_t> ABytes) {
    std::size_t Written = 0;
    while (Written < ABytes.size()) {
        const auto Rest = ABytes.subspan(Written);
        const int Length = static_cast<int>(std::min<std::size_t>(Rest.size(), INT_MAX));
        const int Result =
            Transfer([&] { return TlsFunctions().SSL_write(FSSL, Rest.data(), Length); });
        if (Result <= 0) {
            return Result;
        }
        Written += static_cast<std::size_t>(Result);
    }
    return static_cast<int>(std::min<std::size_t>(Written, INT_MAX));
}

int TIdSSLSocket::Pending() const {
    return FSSL != nullptr ? TlsFunctions().SSL_pending(FSSL) : 0;
}

int TIdSSLSocket::GetSSLError(int AResult) const {
    return TlsFunctions().SSL_get_error(FSSL, AResult);
}

TIdSSLCipher* TIdSSLSocket::Cipher() {
    if (FCipher == nullptr && FSSL != nullptr) {
        if (const OpenSsl::SSL_CIPHER* Current = TlsFunctions().SSL_get_current_cipher(FSSL)) {
            FCipher = std::make_unique<TIdSSLCipher>(Current);
        }
    }
    return FCipher.get();
}

std::string TIdSSLSocket::CipherStatusText() {
    const TIdSSLCipher* Current = Cipher();
    if (Current == nullptr) {
        return {};
    }
    return "Cipher: name = " + Current->Name() + "; " + "description = " + Current->Description() +
           "; " + "bits = " + std::to_string(Current->Bits()) + "; " +
           "version = " + Current->Version() + "; ";
}
