#pragma once

#include "IdSSLOptions.h"
#include "TlsLibrary.h"

#include <string>
#include <string_view>

// How the context and the TLS socket reach the handler that uses them.
class IIdSSLOpenSSLCallbackHelper {
public:
    // Status texts such as the negotiated cipher.
    virtual void StatusInfo(std::string_view AText) = 0;
    // The password of an encrypted key file; empty when none is known.
    virtual std::string GetPassword(bool AIsWrite) = 0;

protected:
    ~IIdSSLOpenSSLCallbackHelper() = default;
};

// One OpenSSL context, made afresh for every connection attempt from a copy of the options.
class TIdSSLContext {
public:
    // Loads OpenSSL if needed; fails with EIdOSSLCouldNotLoadSSLLibrary when it is not usable.
    explicit TIdSSLContext(IIdSSLOpenSSLCallbackHelper* AParent);
    ~TIdSSLContext();
    TIdSSLContext(const TIdSSLContext&) = delete;
    TIdSSLContext& operator=(const TIdSSLContext&) = delete;

    TIdSSLVersion Method = sslvTLSv1;
    TIdSSLVersions SSLVersions{sslvTLSv1};
    TIdSSLMode Mode = sslmUnassigned;
    TIdSSLVerifyModeSet VerifyMode = 0;
    int32_t VerifyDepth = 0;
    std::string RootCertFile;
    std::string CertFile;
    std::string KeyFile;
    std::string VerifyDirs;
    std::string CipherList;
    // The server's certificate is checked after the handshake: the trusted certificates are
    // loaded (the system's unless RootCertFile or VerifyDirs names others).
    bool fCheckPeer = false;

    // Copies the settings of AOptions.
    void Assign(const TIdSSLOptions& AOptions);

    // Creates the OpenSSL context (freeing one held before) and applies the settings.
    void ConfigureContext(TIdSSLCtxMode ACtxMode);

    OpenSsl::SSL_CTX* Context() const { return FContext; }
    IIdSSLOpenSSLCallbackHelper* Parent() const { return FParent; }

private:
    // The method entry point for Method and Mode; fails when none is bound.
    OpenSsl::MethodFunction ChooseMethod() const;
    void SetProtocolOptions();
    void LoadFiles();
    void FreeContext();

    IIdSSLOpenSSLCallbackHelper* FParent;
    OpenSsl::SSL_CTX* FContext = nullptr;
};
