#include "BenchPeer.h"

#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

bool SendAll(int AFd, const char* AData, std::size_t ASize) {
    while (ASize > 0) {
        const ssize_t sent = send(AFd, AData, ASize, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        AData += sent;
        ASize -= static_cast<std::size_t>(sent);
    }
    return true;
}

std::string ReadRequest(int AFd) {
    std::string data;
    char buffer[8192];
    std::size_t headEnd = std::string::npos;
    while (headEnd == std::string::npos) {
        const ssize_t got = recv(AFd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return {};
        data.append(buffer, static_cast<std::size_t>(got));
        headEnd = data.find("\r\n\r\n");
    }
    std::size_t length = 0;
    for (const char* name : {"Content-Length: ", "content-length: "}) {
        const std::size_t pos = data.find(name);
        if (pos != std::string::npos && pos < headEnd)
            length = std::strtoull(data.c_str() + pos + std::strlen(name), nullptr, 10);
    }
    while (data.size() < headEnd + 4 + length) {
        const ssize_t got = recv(AFd, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        data.append(buffer, static_cast<std::size_t>(got));
    }
    const std::size_t start = data.find(' ') + 1;
    return data.substr(start, data.find(' ', start) - start);
}

void FinishAnswer(int AFd) {
    shutdown(AFd, SHUT_WR);
    char drain[256];
    while (recv(AFd, drain, sizeof drain, 0) > 0) {
    }
    close(AFd);
}
