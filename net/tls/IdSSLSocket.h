#pragma once

#include "IdGlobal.h"
#include "IdSSLContext.h"
#include "IdSSLErrors.h"

#include <memory>
#include <span>
#include <string>

// A view of the cipher a connection negotiated.
class TIdSSLCipher {
public:
    explicit TIdSSLCipher(const OpenSsl::SSL_CIPHER* ACipher) : FCipher(ACipher) {}

    std::string Name() const;
    std::string Description() const;
    // The cipher algorithm's bit count.
    int Bits() const;
    std::string Version() const;

private:
    const OpenSsl::SSL_CIPHER* FCipher;
};

// One OpenSSL connection over a connected socket, client side.
class TIdSSLSocket {
public:
    explicit TIdSSLSocket(IIdSSLOpenSSLCallbackHelper* AParent) : FParent(AParent) {}
    // Sends the close notification (once, result ignored) and frees the connection.
    ~TIdSSLSocket();
    TIdSSLSocket(const TIdSSLSocket&) = delete;
    TIdSSLSocket& operator=(const TIdSSLSocket&) = delete;

    // The server name sent in the handshake, as typed.
    std::string HostName;
    // The name (or address) the server's certificate must be for; empty: no name check.
    std::string VerifyHost;
    TIdSSLContext* SSLContext = nullptr;

    // Full client handshake on AHandle, blocking. Fails with the TLS layer's exceptions; a
    // handshake that stalls beyond the socket's time-out fails with Socket Error # 10060.
    void Connect(TIdStackSocketHandle AHandle);

    // One read: the byte count, 0 when the peer sent its close notification, else the failing
    // result (0 or negative); see TimedOut().
    int Recv(std::span<uint8_t> ABuffer);
    // Writes all of ABytes: their count, 0 on the peer's close notification, else the failing
    // result.
    int Send(std::span<const uint8_t> ABytes);
    // Decrypted bytes held by OpenSSL and not yet read.
    int Pending() const;
    // SSL_get_error's classification of AResult.
    int GetSSLError(int AResult) const;

    // True when the last Recv or Send gave up because the socket's time-out ran out.
    bool TimedOut() const { return FTimedOut; }
    // Socket error right after the last failing call.
    const IdSSLErrors::TSocketErrorSnapshot& LastSocketError() const { return FLastSocketError; }

    OpenSsl::SSL* SSL() const { return FSSL; }
    // OpenSSL's result of the certificate check made during the handshake (0: passed), and the
    // server's certificate, which the caller frees (null when the server sent none).
    long VerifyResult() const;
    OpenSsl::X509* PeerCertificate() const;

    // The negotiated cipher; null before the handshake.
    TIdSSLCipher* Cipher();
    // "Cipher: name = ...; description = ...; bits = ...; version = ...; "
    std::string CipherStatusText();

private:
    // Repeats a read or write until it succeeds or fails for a reason other than a retry.
    template <class TCall> int Transfer(TCall ACall);
    void SetVerifyHost();

    IIdSSLOpenSSLCallbackHelper* FParent;
    OpenSsl::SSL* FSSL = nullptr;
    std::unique_ptr<TIdSSLCipher> FCipher;
    bool FTimedOut = false;
    IdSSLErrors::TSocketErrorSnapshot FLastSocketError;
};
