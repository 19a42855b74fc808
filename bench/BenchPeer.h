#pragma once

// The socket side of the benchmarks' own loopback servers.

#include <cstddef>
#include <string>

// Sends all ASize bytes; false when the peer has gone.
bool SendAll(int AFd, const char* AData, std::size_t ASize);

// Reads the request head and its body (as long as Content-Length says); returns the request
// target, or nothing when the peer closed first.
std::string ReadRequest(int AFd);

// Ends the answer on AFd: no more is sent, what the client still sends is read and dropped (so
// that the close does not reset the connection), then the socket is closed.
void FinishAnswer(int AFd);
