#pragma once

#include "IdSSLCertificate.h"
#include "IdSSLContext.h"
#include "IdSSLIOHandlerSocketBase.h"
#include "IdSSLOptions.h"
#include "IdSSLSocket.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The TLS-capable socket handler over OpenSSL. In pass-through mode it is the plain handler; in
// TLS mode every connect ends with a full client handshake on a fresh context, and every byte goes
// through OpenSSL. The server's certificate is checked after the handshake, before anything is
// written.
class TIdSSLIOHandlerSocketOpenSSL : public TIdSSLIOHandlerSocketBase,
                                     private IIdSSLOpenSSLCallbackHelper {
public:
    // Ready for this program's use: the version-flexible method with every version allowed.
    TIdSSLIOHandlerSocketOpenSSL();
    ~TIdSSLIOHandlerSocketOpenSSL() override;

    TIdSSLOptions& SSLOptions() { return FSSLOptions; }
    const TIdSSLOptions& SSLOptions() const { return FSSLOptions; }
    // The context of the current connection attempt, and its TLS connection; null between
    // connections.
    TIdSSLContext* SSLContext() const { return FSSLContext.get(); }
    TIdSSLSocket* SSLSocket() const { return FSSLSocket.get(); }

    // Check the server's certificate: its chain against the trusted certificates (the system's,
    // or those in SSLOptions().RootCertFile when set) and its name against the host as typed.
    // False skips the check.
    bool VerifyPeer = true;
    // Asked, on the connecting thread, about a certificate that fails the check; true accepts it.
    // Without a receiver such a certificate is refused. A refused certificate ends the connect
    // with EIdOSSLCertificateRejected, or EIdOperationAborted when Abort came meanwhile.
    std::function<bool(const TIdPeerCertificate&)> OnVerifyPeer;

    // Receivers of status texts (such as the negotiated cipher), of a key file's password, and of
    // the moment between the TCP connect and the handshake. None is needed.
    std::function<void(std::string_view)> OnStatusInfo;
    std::function<std::string(bool AIsWrite)> OnGetPassword;
    std::function<void(TIdSSLIOHandlerSocketOpenSSL&)> OnBeforeConnect;

    // False on a live socket starts TLS on it; true ends a running TLS session first.
    void SetPassThrough(bool AValue) override;

    // In TLS mode, decrypted bytes held by OpenSSL count as readable.
    bool Readable(int32_t AMSec = WaitDefault) override;
    // Never waits: only what OpenSSL holds is read; bytes on the socket that may be part of a
    // record are looked at without being taken.
    bool Connected() override;
    // Sends the close notification, frees the TLS connection and the context, then closes the
    // socket. The next connect prepares a fresh context.
    void Close() override;

    // Runs the handshake unless in pass-through mode.
    void StartSSL();

protected:
    void ConnectSocket() override;
    int ReceiveChunk(std::span<uint8_t> ABuffer) override;
    int SendChunk(std::span<const uint8_t> ABytes) override;
    int ClassifyTransportError(int ALastResult) override;
    void RaiseTransportError(int ACode) override;

    // Makes the context for the next connection ready unless one exists. In pass-through mode
    // only the libraries are loaded; the context itself waits until TLS starts.
    void PrepareContext();
    void StartTlsSession();

private:
    void StatusInfo(std::string_view AText) override;
    std::string GetPassword(bool AIsWrite) override;
    IIdSSLOpenSSLCallbackHelper* CallbackHelper() { return this; }

    // The server name the HTTP client gave, else Host.
    std::string ServerName() const;
    // SO_RCVTIMEO and SO_SNDTIMEO of the socket, in ms (0: none).
    void SetSocketTimeOuts(int32_t AMSec);
    bool TlsActive() const { return !FPassThrough && FSSLSocket != nullptr; }
    void CreateContext();
    void CheckPeerCertificate();

    TIdSSLOptions FSSLOptions;
    std::unique_ptr<TIdSSLContext> FSSLContext;
    std::unique_ptr<TIdSSLSocket> FSSLSocket;
    // The libraries loaded for this connection but its context not yet created.
    bool FContextDeferred = false;
};
