#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

// Protocol versions; the ordinal is the bit number in TIdSSLVersions.
enum TIdSSLVersion {
    sslvSSLv2 = 0,
    sslvSSLv23 = 1,
    sslvSSLv3 = 2,
    sslvTLSv1 = 3,
    sslvTLSv1_1 = 4,
    sslvTLSv1_2 = 5,
};

// A set of TIdSSLVersion values, one bit each.
class TIdSSLVersions {
public:
    constexpr TIdSSLVersions() = default;
    constexpr TIdSSLVersions(std::initializer_list<TIdSSLVersion> AVersions) {
        for (TIdSSLVersion V : AVersions) {
            FBits |= Bit(V);
        }
    }
    constexpr bool Contains(TIdSSLVersion AVersion) const { return (FBits & Bit(AVersion)) != 0; }
    constexpr void Include(TIdSSLVersion AVersion) { FBits |= Bit(AVersion); }
    constexpr void Exclude(TIdSSLVersion AVersion) {
        FBits &= static_cast<uint8_t>(~Bit(AVersion));
    }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr uint8_t Bits() const { return FBits; }
    friend constexpr bool operator==(TIdSSLVersions, TIdSSLVersions) = default;

private:
    static constexpr uint8_t Bit(TIdSSLVersion AVersion) {
        return static_cast<uint8_t>(1U << static_cast<unsigned>(AVersion));
    }
    uint8_t FBits = 0;
};

enum TIdSSLMode { sslmUnassigned = 0, sslmClient = 1, sslmServer = 2, sslmBoth = 3 };

// Verification flags; the ordinal is the bit number, handed to OpenSSL as its flags 1, 2 and 4.
enum TIdSSLVerifyMode { sslvrfPeer = 0, sslvrfFailIfNoPeerCert = 1, sslvrfClientOnce = 2 };
using TIdSSLVerifyModeSet = uint8_t;

enum TIdSSLCtxMode { sslCtxClient = 0, sslCtxServer = 1 };

// The five concrete versions, in the order the context considers them.
inline constexpr TIdSSLVersion ConcreteSSLVersions[] = {sslvSSLv2, sslvSSLv3, sslvTLSv1,
                                                        sslvTLSv1_1, sslvTLSv1_2};

// TLS settings of a handler. Method and SSLVersions are kept consistent by their setters.
class TIdSSLOptions {
public:
    TIdSSLVersion Method() const { return FMethod; }
    // sslvSSLv23 allows every concrete version; any other method allows itself alone.
    void SetMethod(TIdSSLVersion AValue);

    TIdSSLVersions SSLVersions() const { return FSSLVersions; }
    // Exactly one concrete version makes it the method; anything else makes the method
    // sslvSSLv23, without sslvSSLv23 itself in the set (and all five when nothing else is left).
    void SetSSLVersions(TIdSSLVersions AValue);

    TIdSSLMode Mode = sslmUnassigned;
    TIdSSLVerifyModeSet VerifyMode = 0;
    int32_t VerifyDepth = 0;
    std::string RootCertFile;
    std::string CertFile;
    std::string KeyFile;
    std::string VerifyDirs;
    // OpenSSL cipher list; empty keeps OpenSSL's default.
    std::string CipherList;

private:
    TIdSSLVersion FMethod = sslvTLSv1;
    TIdSSLVersions FSSLVersions{sslvTLSv1};
};
