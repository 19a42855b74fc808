#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Raw bytes as they travel over a connection.
using TIdBytes = std::vector<uint8_t>;

// A socket of the platform; Id_INVALID_SOCKET when none.
using TIdStackSocketHandle = int;
inline constexpr TIdStackSocketHandle Id_INVALID_SOCKET = -1;

enum TIdIPVersion { Id_IPv4 = 0, Id_IPv6 = 1 };

// Time-outs are signed milliseconds; these two values are sentinels, not durations.
inline constexpr int32_t WaitDefault = -1; // use the handler's ReadTimeout
inline constexpr int32_t WaitForever = -2; // no limit

// Outcome of a wait on a socket: ready, out of time, or ended early by a wake descriptor.
enum class TIdWaitResult { Ready, TimedOut, Woken };

enum TIdMaxLineAction { maException, maSplit };

enum TIdReuseSocket { rsOSDependent, rsTrue, rsFalse };

// Text encodings of the transport. enDefault stands for the handler's default encoding.
enum class TIdTextEncoding { enDefault, enASCII, enUTF8, enLatin1 };

// Encodes UTF-8 text. ASCII writes every character above 127 as "?"; Latin-1 writes characters
// above 255 as "?"; UTF-8 copies the bytes. enDefault counts as ASCII.
TIdBytes EncodeText(std::string_view AText, TIdTextEncoding AEncoding);

// Decodes bytes to UTF-8 text. ASCII turns every byte above 127 into U+FFFD; Latin-1 maps each
// byte to the character of the same code; UTF-8 replaces malformed sequences by U+FFFD.
// enDefault counts as ASCII.
std::string DecodeText(std::span<const uint8_t> ABytes, TIdTextEncoding AEncoding);

// Milliseconds of a monotonic clock, for measuring elapsed time.
int64_t TickCountMs();

// Faults in the pages of [ABegin, AEnd) in one call rather than one trap per page as they are
// first written; a buffer of many megabytes spends more on those traps than on being filled.
// False when the system cannot.
bool PrefaultForWriting(const void* ABegin, const void* AEnd);
