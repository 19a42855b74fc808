#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

// Debian's "openssl s_server" on a loopback port it takes from the system with the test
// certificate, answering its one connection with what the test gives on its standard input. The
// connection ends when the client closes it; the process is stopped and reaped by the destructor.
class TOpenSslServerProcess {
public:
    explicit TOpenSslServerProcess(const std::string& AAnswer);
    ~TOpenSslServerProcess();
    TOpenSslServerProcess(const TOpenSslServerProcess&) = delete;
    TOpenSslServerProcess& operator=(const TOpenSslServerProcess&) = delete;

    uint16_t Port() const { return FPort; }

private:
    void Stop();
    // Appends what the server prints within AWaitMs; the count read, 0 or less when nothing.
    ssize_t ReadSome(int AWaitMs);

    pid_t FPid = -1;
    int FInput = -1;
    int FOutput = -1;
    uint16_t FPort = 0;
    std::string FPrinted;
};
