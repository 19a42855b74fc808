#include "LoopbackListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

TLoopbackSocket::TLoopbackSocket(bool AIPv6, bool AListen, int ABacklog) : FIPv6(AIPv6) {
    FFd = socket(AIPv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (FFd < 0) {
        throw std::runtime_error(std::string("socket failed: ") + std::strerror(errno));
    }
    sockaddr_storage Address{};
    socklen_t Length;
    if (AIPv6) {
        auto& A6 = reinterpret_cast<sockaddr_in6&>(Address);
        A6.sin6_family = AF_INET6;
        A6.sin6_addr = in6addr_loopback;
        Length = sizeof A6;
    } else {
        auto& A4 = reinterpret_cast<sockaddr_in&>(Address);
        A4.sin_family = AF_INET;
        A4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Length = sizeof A4;
    }
    if (bind(FFd, reinterpret_cast<sockaddr*>(&Address), Length) != 0 ||
        (AListen && listen(FFd, ABacklog) != 0) ||
        getsockname(FFd, reinterpret_cast<sockaddr*>(&Address), &Length) != 0) {
        const int Error = errno;
        close(FFd);
        throw std::runtime_error(std::string("loopback port failed: ") + std::strerror(Error));
    }
    FPort = ntohs(AIPv6 ? reinterpret_cast<sockaddr_in6&>(Address).sin6_port
                        : reinterpret_cast<sockaddr_in&>(Address).sin_port);
}

TLoopbackSocket::~TLoopbackSocket() {
    close(FFd);
}

int TLoopbackSocket::Accept(int AStopFd) const {
    for (;;) {
        pollfd Fds[2] = {{FFd, POLLIN, 0}, {AStopFd, POLLIN, 0}};
        if (poll(Fds, AStopFd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (AStopFd >= 0 && Fds[1].revents != 0) {
            return -1;
        }
        const int Client = accept4(FFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (Client >= 0) {
            return Client;
        }
    }
}
