#pragma once

#include <string>

// A URL split into the parts the HTTP client merges and sends. `Port` is kept as text: it is sent
// in the Host header as typed, whatever it holds.
class TIdURI {
public:
    enum class TIPVersion { Id_IPv4 = 0, Id_IPv6 = 1 };

    TIdURI() = default;
    explicit TIdURI(const std::u16string& AURI) { SetURI(AURI); }

    // Clears every part and reads AURI.
    void SetURI(const std::u16string& AURI);

    // Backslashes after the scheme's separator and before "?"/"#" become "/".
    static std::u16string NormalizePath(const std::u16string& AURI);
    // Resolves "." and ".." segments; a leading "/" and a trailing "/" are kept.
    static std::u16string ResolvePath(const std::u16string& APath);

    // Protocol "://" host ":" port path document ["?" params]: the URL handed to the TLS layer.
    std::u16string GetFullURI() const;

    std::u16string Protocol;
    std::u16string Host;
    std::u16string Port;
    std::u16string Path;
    std::u16string Document;
    std::u16string Params;
    std::u16string Bookmark;
    std::u16string Username;
    std::u16string Password;
    TIPVersion IPVersion = TIPVersion::Id_IPv4;
};
