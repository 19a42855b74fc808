#pragma once

// Message texts of the transport, as the user sees them.
inline constexpr const char* RSConnectionClosedGracefully = "Connection Closed Gracefully.";
inline constexpr const char* RSReadTimeout = "Read timed out.";
inline constexpr const char* RSConnectTimeout = "Connect timed out.";
inline constexpr const char* RSReadLnMaxLineLengthExceeded = "Max line length exceeded.";
inline constexpr const char* RSNotConnected = "Not Connected";
inline constexpr const char* RSStatusDisconnected = "Disconnected.";
inline constexpr const char* RSAlreadyConnected = "Already connected.";
inline constexpr const char* RSHostRequired = "A Host is required";
inline constexpr const char* RSPortRequired = "A Port is required";
inline constexpr const char* RSNoDataToRead = "No data to read.";
inline constexpr const char* RSDataTooLargeForStream = "Data is too large for stream";
inline constexpr const char* RSCouldNotBindSocket = "Could not bind socket.";
inline constexpr const char* RSIPVersionUnsupported =
    "The requested IPVersion / Address family is not supported.";
inline constexpr const char* RSCannotChangeIPVersion = "Cannot change IPVersion when connected";
inline constexpr const char* RSOperationAborted = "Operation aborted.";

// Status texts handed to OnStatus.
inline constexpr const char* RSStatusResolving = "Resolving hostname %s.";
inline constexpr const char* RSStatusConnecting = "Connecting to %s.";
inline constexpr const char* RSStatusConnected = "Connected.";
inline constexpr const char* RSStatusDisconnecting = "Disconnecting.";
