#include "IdSSLContext.h"

#include "IdSSLErrors.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

// Serialises the key password callback.
std::mutex PasswordLock;

int KeyPasswordCallback(char* ABuffer, int ASize, int AReadWrite, void* AUserData) {
    const auto* Context = static_cast<const TIdSSLContext*>(AUserData);
    if (Context == nullptr || Context->Parent() == nullptr || ABuffer == nullptr || ASize <= 0) {
        return 0;
    }
    std::lock_guard Guard(PasswordLock);
    const std::string Password = Context->Parent()->GetPassword(AReadWrite != 0);
    const auto Length = static_cast<int>(std::min<std::size_t>(Password.size(), ASize - 1));
    std::memcpy(ABuffer, Password.data(), static_cast<std::size_t>(Length));
    ABuffer[Length] = '\0';
    return Length;
}

// The "no" option of each concrete version.
std::uint64_t NoOption(TIdSSLVersion AVersion) {
    switch (AVersion) {
    case sslvSSLv2:
        return 0x01000000;
    case sslvSSLv3:
        return 0x02000000;
    case sslvTLSv1:
        return 0x04000000;
    case sslvTLSv1_1:
        return 0x10000000;
    case sslvTLSv1_2:
        return 0x08000000;
    case sslvSSLv23:
        break;
    }
    return 0;
}

// Generic, server and client method of a version.
struct TMethods {
    OpenSsl::MethodFunction Generic;
    OpenSsl::MethodFunction Server;
    OpenSsl::MethodFunction Client;
};

TMethods MethodsOf(TIdSSLVersion AVersion) {
    const TTlsFunctions& F = TlsFunctions();
    switch (AVersion) {
    case sslvSSLv2:
        return {F.SSLv2_method, F.SSLv2_server_method, F.SSLv2_client_method};
    case sslvSSLv23:
        return {F.TLS_method, F.TLS_server_method, F.TLS_client_method};
    case sslvSSLv3:
        return {F.SSLv3_method, F.SSLv3_server_method, F.SSLv3_client_method};
    case sslvTLSv1:
        return {F.TLSv1_method, F.TLSv1_server_method, F.TLSv1_client_method};
    case sslvTLSv1_1:
        return {F.TLSv1_1_method, F.TLSv1_1_server_method, F.TLSv1_1_client_method};
    case sslvTLSv1_2:
        return {F.TLSv1_2_method, F.TLSv1_2_server_method, F.TLSv1_2_client_method};
    }
    return {};
}

OpenSsl::MethodFunction Pick(const TMethods& AMethods, TIdSSLMode AMode) {
    switch (AMode) {
    case sslmClient:
        return AMethods.Client;
    case sslmServer:
        return AMethods.Server;
    case sslmBoth:
        return AMethods.Generic;
    case sslmUnassigned:
        break;
    }
    return nullptr;
}

constexpr int FileTypePEM = 1;

} // namespace

TIdSSLContext::TIdSSLContext(IIdSSLOpenSSLCallbackHelper* AParent) : FParent(AParent) {
    if (!LoadTlsLibraries()) {
        throw EIdOSSLCouldNotLoadSSLLibrary(IdSSLText::CouldNotLoadSSLLibrary);
    }
}

TIdSSLContext::~TIdSSLContext() {
    FreeContext();
}

void TIdSSLContext::FreeContext() {
    if (FContext != nullptr && TlsFunctions().SSL_CTX_free != nullptr) {
        TlsFunctions().SSL_CTX_free(FContext);
    }
    FContext = nullptr;
}

void TIdSSLContext::Assign(const TIdSSLOptions& AOptions) {
    RootCertFile = AOptions.RootCertFile;
    CertFile = AOptions.CertFile;
    KeyFile = AOptions.KeyFile;
    VerifyDirs = AOptions.VerifyDirs;
    VerifyDepth = AOptions.VerifyDepth;
    VerifyMode = AOptions.VerifyMode;
    CipherList = AOptions.CipherList;
    Method = AOptions.Method();
    SSLVersions = AOptions.SSLVersions();
    Mode = AOptions.Mode;
}

OpenSsl::MethodFunction TIdSSLContext::ChooseMethod() const {
    if (Mode == sslmUnassigned) {
        throw EIdOSSLModeNotSet(IdSSLText::ModeNotSet);
    }
    OpenSsl::MethodFunction Result = Pick(MethodsOf(Method), Mode);
    // TLS 1.1 and 1.2 fall back to TLS 1.0 where the library lacks them.
    if (Result == nullptr && (Method == sslvTLSv1_1 || Method == sslvTLSv1_2)) {
        Result = Pick(MethodsOf(sslvTLSv1), Mode);
    }
    if (Result == nullptr) {
        throw EIdOSSLGetMethodError(IdSSLText::GetMethodError);
    }
    return Result;
}

void TIdSSLContext::SetProtocolOptions() {
    for (TIdSSLVersion Version : ConcreteSSLVersions) {
        const TMethods Methods = MethodsOf(Version);
        if (Methods.Generic == nullptr || Methods.Server == nullptr || Methods.Client == nullptr) {
            continue; // a version the library does not offer keeps the library's default
        }
        if (!SSLVersions.Contains(Version)) {
            TlsSetContextOptions(FContext, NoOption(Version));
        } else if (Method == sslvSSLv23) {
            TlsClearContextOptions(FContext, NoOption(Version));
        }
    }
}

void TIdSSLContext::LoadFiles() {
    using namespace IdSSLErrors;
    const TTlsFunctions& F = TlsFunctions();
    if (!RootCertFile.empty() || !VerifyDirs.empty()) {
        if (F.SSL_CTX_load_verify_locations == nullptr ||
            F.SSL_CTX_load_verify_locations(
                FContext, RootCertFile.empty() ? nullptr : RootCertFile.c_str(),
                VerifyDirs.empty() ? nullptr : VerifyDirs.c_str()) <= 0) {
            RaiseCryptoError<EIdOSSLLoadingRootCertError>(IdSSLText::LoadingRootCertError);
        }
    }
    if (!CertFile.empty()) {
        if (F.SSL_CTX_use_certificate_file == nullptr ||
            F.SSL_CTX_use_certificate_file(FContext, CertFile.c_str(), FileTypePEM) <= 0) {
            RaiseCryptoError<EIdOSSLLoadingCertError>(IdSSLText::LoadingCertError);
        }
    }
    if (!KeyFile.empty()) {
        if (F.SSL_CTX_use_PrivateKey_file == nullptr ||
            F.SSL_CTX_use_PrivateKey_file(FContext, KeyFile.c_str(), FileTypePEM) <= 0) {
            RaiseCryptoError<EIdOSSLLoadingKeyError>(IdSSLText::LoadingKeyError);
        }
    }
}

void TIdSSLContext::ConfigureContext(TIdSSLCtxMode ACtxMode) {
    const TTlsFunctions& F = TlsFunctions();
    FreeContext();
    if (Mode == sslmUnassigned) {
        Mode = ACtxMode == sslCtxServer ? sslmServer : sslmClient;
    }
    const OpenSsl::MethodFunction MethodFunction = ChooseMethod();

    // Errors left queued by earlier calls must not be reported as this context's.
    F.ERR_clear_error();
    FContext = F.SSL_CTX_new(MethodFunction());
    if (FContext == nullptr) {
        IdSSLErrors::RaiseCryptoError<EIdOSSLCreatingContextError>(IdSSLText::CreatingContextError);
    }
    SetProtocolOptions();
    F.SSL_CTX_ctrl(FContext, OpenSsl::CtrlMode, OpenSsl::ModeAutoRetry, nullptr);
    F.SSL_CTX_set_default_passwd_cb(FContext, &KeyPasswordCallback);
    F.SSL_CTX_set_default_passwd_cb_userdata(FContext, this);
    // The default certificate locations serve verification alone; loading them costs about 25 ms
    // per context with OpenSSL 3, so they are loaded only when verifying against them.
    const bool OwnRoots = !RootCertFile.empty() || !VerifyDirs.empty();
    if (VerifyMode != 0 || (fCheckPeer && !OwnRoots)) {
        F.SSL_CTX_set_default_verify_paths(FContext);
    }
    LoadFiles();
    if (!CipherList.empty()) {
        if (F.SSL_CTX_set_cipher_list == nullptr ||
            F.SSL_CTX_set_cipher_list(FContext, CipherList.c_str()) <= 0) {
            throw EIdOSSLSettingCipherError(IdSSLText::SettingCipherError);
        }
    }
    // Without verification flags OpenSSL verifies nothing: self-signed, expired and wrongly named
    // server certificates are accepted, as servers of this kind commonly use them.
    if (VerifyMode != 0 && F.SSL_CTX_set_verify != nullptr) {
        F.SSL_CTX_set_verify(FContext, VerifyMode, nullptr);
        if (F.SSL_CTX_set_verify_depth != nullptr) {
            F.SSL_CTX_set_verify_depth(FContext, VerifyDepth);
        }
    }
    F.ERR_clear_error();
}
