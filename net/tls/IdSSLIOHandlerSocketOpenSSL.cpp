#include "IdSSLIOHandlerSocketOpenSSL.h"

#include "IdSSLErrors.h"
#include "IdStack.h"

#include <cerrno>
#include <sys/socket.h>
#include <sys/time.h>

namespace {

// Receive and send time-out of a TLS connection when the handler sets no read time-out.
constexpr int32_t DefaultTlsTimeOut = 30000;

} // namespace

TIdSSLIOHandlerSocketOpenSSL::TIdSSLIOHandlerSocketOpenSSL() {
    // As the program uses it: the version-flexible method, every version the library offers.
    FSSLOptions.SetMethod(sslvSSLv23);
    FSSLOptions.SetSSLVersions({sslvSSLv2, sslvSSLv3, sslvTLSv1, sslvTLSv1_1, sslvTLSv1_2});
}

TIdSSLIOHandlerSocketOpenSSL::~TIdSSLIOHandlerSocketOpenSSL() {
    // This class's own Close: a derived class is gone by now.
    TIdSSLIOHandlerSocketOpenSSL::Close();
}

void TIdSSLIOHandlerSocketOpenSSL::StatusInfo(std::string_view AText) {
    if (OnStatusInfo) {
        OnStatusInfo(AText);
    }
}

std::string TIdSSLIOHandlerSocketOpenSSL::GetPassword(bool AIsWrite) {
    return OnGetPassword ? OnGetPassword(AIsWrite) : std::string();
}

void TIdSSLIOHandlerSocketOpenSSL::PrepareContext() {
    if (FSSLContext != nullptr || FContextDeferred) {
        return;
    }
    if (FPassThrough) {
        // A plain connection never uses the context, and loading OpenSSL and creating one costs
        // more than the connection itself; both are done if TLS is started on this connection.
        FContextDeferred = true;
        return;
    }
    CreateContext();
}

void TIdSSLIOHandlerSocketOpenSSL::CreateContext() {
    FContextDeferred = false;
    auto Context = std::make_unique<TIdSSLContext>(CallbackHelper());
    Context->Assign(FSSLOptions);
    Context->fCheckPeer = VerifyPeer;
    Context->ConfigureContext(sslCtxClient);
    FSSLContext = std::move(Context);
}

void TIdSSLIOHandlerSocketOpenSSL::ConnectSocket() {
    try {
        PrepareContext();
    } catch (const EIdOSSLCouldNotLoadSSLLibrary&) {
        // Plain http works without OpenSSL.
        if (!FPassThrough) {
            throw;
        }
    }
    const bool WasPassThrough = FPassThrough;
    FPassThrough = true;
    try {
        TIdIOHandlerStack::ConnectSocket();
    } catch (...) {
        FPassThrough = WasPassThrough;
        throw;
    }
    FPassThrough = WasPassThrough;
    if (OnBeforeConnect) {
        OnBeforeConnect(*this);
    }
    StartSSL();
}

void TIdSSLIOHandlerSocketOpenSSL::StartSSL() {
    if (!FPassThrough) {
        StartTlsSession();
    }
}

std::string TIdSSLIOHandlerSocketOpenSSL::ServerName() const {
    return ServerNameToSend.empty() ? Host : ServerNameToSend;
}

void TIdSSLIOHandlerSocketOpenSSL::SetSocketTimeOuts(int32_t AMSec) {
    timeval Value{};
    Value.tv_sec = AMSec / 1000;
    Value.tv_usec = static_cast<suseconds_t>(AMSec % 1000) * 1000;
    const int Handle = Binding()->Handle();
    setsockopt(Handle, SOL_SOCKET, SO_RCVTIMEO, &Value, sizeof Value);
    setsockopt(Handle, SOL_SOCKET, SO_SNDTIMEO, &Value, sizeof Value);
}

void TIdSSLIOHandlerSocketOpenSSL::StartTlsSession() {
    if (FSSLContext == nullptr && FContextDeferred) {
        CreateContext();
    }
    if (FSSLContext == nullptr) {
        throw EIdOSSLCouldNotLoadSSLLibrary(IdSSLText::CouldNotLoadSSLLibrary);
    }
    if (FSSLSocket == nullptr) {
        FSSLSocket = std::make_unique<TIdSSLSocket>(CallbackHelper());
    }
    FSSLSocket->SSLContext = FSSLContext.get();
    // Every receive and send of the session, the handshake included, gives up after this.
    SetSocketTimeOuts(ReadTimeout < 1 ? DefaultTlsTimeOut : ReadTimeout);
    // Only the client side exists in this program.
    FSSLSocket->HostName = ServerName();
    FSSLSocket->VerifyHost = VerifyPeer ? ServerName() : std::string();
    try {
        FSSLSocket->Connect(Binding()->Handle());
    } catch (...) {
        // A handshake broken off by Abort reports the abort, not what OpenSSL made of it.
        CheckAborted();
        throw;
    }
    if (VerifyPeer) {
        CheckPeerCertificate();
    }
    FPassThrough = false;
}

void TIdSSLIOHandlerSocketOpenSSL::CheckPeerCertificate() {
    const TTlsFunctions& F = TlsFunctions();
    const std::unique_ptr<OpenSsl::X509, void (*)(OpenSsl::X509*)> Certificate(
        FSSLSocket->PeerCertificate(), F.X509_free);
    const long Result = FSSLSocket->VerifyResult();
    if (Certificate != nullptr && Result == OpenSsl::VerifyOk) {
        return;
    }
    TIdPeerCertificate Peer;
    Peer.Host = ServerName();
    Peer.Port = Port;
    if (Certificate == nullptr) {
        Peer.VerifyError = IdSSLText::NoPeerCertificate;
    } else {
        Peer.VerifyError = TlsText(F.X509_verify_cert_error_string(Result));
        IdDescribeCertificate(Certificate.get(), Peer);
    }
    if (Certificate != nullptr && OnVerifyPeer && OnVerifyPeer(Peer)) {
        return;
    }
    CheckAborted();
    const bool IPv6 = Peer.Host.find(':') != std::string::npos;
    std::string Message = IdSSLText::CertificateRejected +
                          (IPv6 ? "[" + Peer.Host + "]" : Peer.Host) + ":" +
                          std::to_string(Peer.Port) + ": " + Peer.VerifyError;
    if (!Peer.Fingerprint.empty()) {
        Message += "\r\nFingerprint: " + Peer.Fingerprint;
    }
    throw EIdOSSLCertificateRejected(Message, std::move(Peer));
}

void TIdSSLIOHandlerSocketOpenSSL::SetPassThrough(bool AValue) {
    if (AValue == FPassThrough) {
        return;
    }
    const bool SocketAllocated = Binding() != nullptr && Binding()->HandleAllocated();
    if (!AValue) {
        if (SocketAllocated) {
            StartTlsSession();
        } else {
            FPassThrough = false;
        }
        return;
    }
    if (FSSLSocket != nullptr && FSSLSocket->SSL() != nullptr) {
        const TTlsFunctions& F = TlsFunctions();
        if (F.SSL_shutdown(FSSLSocket->SSL()) == 0) {
            F.SSL_shutdown(FSSLSocket->SSL());
        }
        F.ERR_clear_error();
    }
    if (SocketAllocated) {
        SetSocketTimeOuts(0);
    }
    FPassThrough = true;
}

bool TIdSSLIOHandlerSocketOpenSSL::Readable(int32_t AMSec) {
    if (TlsActive() && FSSLSocket->Pending() > 0) {
        return true;
    }
    return TIdIOHandlerStack::Readable(AMSec);
}

bool TIdSSLIOHandlerSocketOpenSSL::Connected() {
    if (!TlsActive() || FSSLSocket->Pending() > 0) {
        return TIdIOHandlerStack::Connected();
    }
    // A read of the socket would wait for a whole record, for the full time-out when only a
    // part of one has come; a peek does not wait.
    char Byte = 0;
    const ssize_t Peeked = recv(Binding()->Handle(), &Byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (Peeked > 0 || (Peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))) {
        return SocketAvailable() && Opened();
    }
    // The peer closed or the socket failed: the read reports that at once.
    return TIdIOHandlerStack::Connected();
}

int TIdSSLIOHandlerSocketOpenSSL::ReceiveChunk(std::span<uint8_t> ABuffer) {
    if (!TlsActive()) {
        return TIdIOHandlerStack::ReceiveChunk(ABuffer);
    }
    const int Result = FSSLSocket->Recv(ABuffer);
    if (Result <= 0) {
        CheckAborted();
    }
    return Result;
}

int TIdSSLIOHandlerSocketOpenSSL::SendChunk(std::span<const uint8_t> ABytes) {
    if (!TlsActive()) {
        return TIdIOHandlerStack::SendChunk(ABytes);
    }
    const int Result = FSSLSocket->Send(ABytes);
    if (Result <= 0) {
        CheckAborted();
    }
    return Result;
}

int TIdSSLIOHandlerSocketOpenSSL::ClassifyTransportError(int ALastResult) {
    if (!TlsActive()) {
        return TIdIOHandlerStack::ClassifyTransportError(ALastResult);
    }
    if (FSSLSocket->TimedOut()) {
        return FSSLSocket->LastSocketError().SocketError;
    }
    const int Code = FSSLSocket->GetSSLError(ALastResult);
    if (Code == OpenSsl::ErrorNone) {
        return 0;
    }
    if (Code == OpenSsl::ErrorSyscall) {
        // The socket error as it was right after the failing call.
        const int SocketError = FSSLSocket->LastSocketError().SocketError;
        if (SocketError == 0 || SocketError == Id_WSAETIMEDOUT ||
            IsConnectionClosedError(SocketError)) {
            return SocketError;
        }
        TIdStack::RaiseSocketError(SocketError);
    }
    IdSSLErrors::RaiseSslErrorCode<EIdOpenSSLAPISSLError>(Code, ALastResult, {},
                                                          FSSLSocket->LastSocketError());
}

void TIdSSLIOHandlerSocketOpenSSL::RaiseTransportError(int ACode) {
    // The connection is usually closed by now, so only its last result is left to report.
    // A time-out is the socket's, not a TLS failure: OpenSSL's error queue holds nothing for it.
    if (FPassThrough || ACode == Id_WSAETIMEDOUT || IsConnectionClosedError(ACode) ||
        !TlsActive()) {
        TIdStack::RaiseSocketError(ACode);
    }
    IdSSLErrors::RaiseSslError<EIdOpenSSLAPISSLError>(FSSLSocket->SSL(), ACode, {},
                                                      FSSLSocket->LastSocketError());
}

void TIdSSLIOHandlerSocketOpenSSL::Close() {
    // The close notification goes out while the socket is still open.
    FSSLSocket.reset();
    FSSLContext.reset();
    FContextDeferred = false;
    TIdIOHandlerStack::Close();
}
