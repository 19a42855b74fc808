#pragma once

#include "IdException.h"

#include <cstdint>
#include <string>

// Failures of the TLS layer. Their messages carry OpenSSL's own one-line error texts where the
// library reported one.
class EIdOpenSSLError : public EIdException {
public:
    using EIdException::EIdException;
};

// A failing call on an OpenSSL connection: ErrorCode is SSL_get_error's classification (or the
// queued error's code), RetCode the call's own result.
class EIdOpenSSLAPISSLError : public EIdOpenSSLError {
public:
    EIdOpenSSLAPISSLError(const std::string& AMessage, int32_t AErrorCode = 0, int32_t ARetCode = 0)
        : EIdOpenSSLError(AMessage), ErrorCode(AErrorCode), RetCode(ARetCode) {}
    int32_t ErrorCode = 0;
    int32_t RetCode = 0;
};

// A failure that OpenSSL queued in its error queue; ErrorCode is the queued code.
class EIdOpenSSLAPICryptoError : public EIdOpenSSLError {
public:
    explicit EIdOpenSSLAPICryptoError(const std::string& AMessage, int32_t AErrorCode = 0)
        : EIdOpenSSLError(AMessage), ErrorCode(AErrorCode) {}
    int32_t ErrorCode = 0;
};

// NOLINTBEGIN(bugprone-macro-parentheses): class names are pasted bare; in parentheses they
// would not declare a class.
#define VL_SSL_EXCEPTION(AName, ABase)                                                             \
    class AName : public ABase {                                                                   \
    public:                                                                                        \
        using ABase::ABase;                                                                        \
    }
// NOLINTEND(bugprone-macro-parentheses)

VL_SSL_EXCEPTION(EIdOSSLConnectError, EIdOpenSSLAPISSLError);
VL_SSL_EXCEPTION(EIdOSSLDataBindingError, EIdOpenSSLAPISSLError);
VL_SSL_EXCEPTION(EIdOSSLFDSetError, EIdOpenSSLAPISSLError);
VL_SSL_EXCEPTION(EIdOSSLUnderlyingCryptoError, EIdOpenSSLAPICryptoError);
VL_SSL_EXCEPTION(EIdOSSLCreatingContextError, EIdOpenSSLAPICryptoError);
VL_SSL_EXCEPTION(EIdOSSLLoadingRootCertError, EIdOpenSSLAPICryptoError);
VL_SSL_EXCEPTION(EIdOSSLLoadingCertError, EIdOpenSSLAPICryptoError);
VL_SSL_EXCEPTION(EIdOSSLLoadingKeyError, EIdOpenSSLAPICryptoError);
VL_SSL_EXCEPTION(EIdOSSLCouldNotLoadSSLLibrary, EIdOpenSSLError);
VL_SSL_EXCEPTION(EIdOSSLCreatingSessionError, EIdOpenSSLError);
VL_SSL_EXCEPTION(EIdOSSLGetMethodError, EIdOpenSSLError);
VL_SSL_EXCEPTION(EIdOSSLModeNotSet, EIdOpenSSLError);
VL_SSL_EXCEPTION(EIdOSSLSettingCipherError, EIdOpenSSLError);

#undef VL_SSL_EXCEPTION

// Message texts of the TLS layer.
namespace IdSSLText {
inline constexpr const char* CouldNotLoadSSLLibrary = "Could not load SSL library.";
inline constexpr const char* GetMethodError = "Error getting SSL method.";
inline constexpr const char* ModeNotSet = "Mode has not been set.";
inline constexpr const char* CreatingContextError = "Error creating SSL context.";
inline constexpr const char* SettingCipherError = "SetCipher failed.";
inline constexpr const char* CreatingSessionError = "Error creating SSL session.";
inline constexpr const char* DataBindingError = "Error binding data to SSL socket.";
inline constexpr const char* FDSetError = "Error setting File Descriptor for SSL";
inline constexpr const char* ConnectError = "Error connecting with SSL.";
inline constexpr const char* LoadingRootCertError = "Could not load root certificate.";
inline constexpr const char* LoadingCertError = "Could not load certificate.";
inline constexpr const char* LoadingKeyError = "Could not load key, check password.";
inline constexpr const char* CertificateRejected = "Untrusted certificate of ";
inline constexpr const char* NoPeerCertificate = "the server sent no certificate";
inline constexpr const char* EOFViolation = "EOF was observed that violates the protocol";
} // namespace IdSSLText
