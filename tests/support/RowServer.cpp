#include "RowServer.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The value of ANAme in an urlencoded form, as sent (not decoded).
std::string FormValue(const std::string& ABody, const std::string& AName) {
    std::size_t at = 0;
    while (at <= ABody.size()) {
        std::size_t end = ABody.find('&', at);
        if (end == std::string::npos)
            end = ABody.size();
        const std::string pair = ABody.substr(at, end - at);
        if (pair.starts_with(AName + "="))
            return pair.substr(AName.size() + 1);
        at = end + 1;
    }
    return {};
}

bool SendAllBytes(int AFd, const std::string& AText) {
    std::size_t sent = 0;
    while (sent < AText.size()) {
        const ssize_t n = ::send(AFd, AText.data() + sent, AText.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

TRowServer::TRowServer(std::string AKeyName, bool ACloseFirst)
    : FKeyName(std::move(AKeyName)), FCloseFirst(ACloseFirst) {
    if (::pipe(FStopPipe) != 0)
        std::abort();
    FAcceptThread = std::thread([this] { AcceptLoop(); });
}

TRowServer::~TRowServer() {
    {
        std::lock_guard lock(FLock);
        FStopping = true;
        for (const auto& client : FClients)
            ::shutdown(client->Fd, SHUT_RDWR);
    }
    FChanged.notify_all();
    [[maybe_unused]] const ssize_t written = ::write(FStopPipe[1], "x", 1);
    FAcceptThread.join();
    for (const auto& client : FClients) {
        client->Thread.join();
        ::close(client->Fd);
    }
    ::close(FStopPipe[0]);
    ::close(FStopPipe[1]);
}

void TRowServer::AnswerWith(std::function<std::string(const std::string&)> AAnswer) {
    std::lock_guard lock(FLock);
    FAnswer = std::move(AAnswer);
}

std::string TRowServer::URL() const {
    return "http://127.0.0.1:" + std::to_string(FListener.Port()) + "/api";
}

void TRowServer::HoldAnswerTo(const std::string& AKey, const std::string& ACommand) {
    std::lock_guard lock(FLock);
    FHold.insert({ACommand, AKey});
}

bool TRowServer::Matches(const std::set<TKeyOf>& ASet, const std::string& ACommand,
                         const std::string& AKey) {
    return ASet.contains({ACommand, AKey}) || ASet.contains({std::string(), AKey});
}

std::vector<std::string> TRowServer::Log() const {
    std::lock_guard lock(FLock);
    return FLog;
}

void TRowServer::OnRequest(std::function<void(const std::string&)> ASeen) {
    std::lock_guard lock(FLock);
    FSeen = std::move(ASeen);
}

void TRowServer::RefuseKey(const std::string& AKey, const std::string& ACommand) {
    std::lock_guard lock(FLock);
    FRefused.insert({ACommand, AKey});
}

void TRowServer::Release() {
    {
        std::lock_guard lock(FLock);
        FReleased = true;
    }
    FChanged.notify_all();
}

bool TRowServer::WaitUntilHeld(const std::string& AKey, int ATimeoutMs) {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(ATimeoutMs),
                             [&] { return FHeld.contains(AKey); });
}

bool TRowServer::WaitForRequests(int ACount, int ATimeoutMs) {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(ATimeoutMs),
                             [&] { return FRequests >= ACount; });
}

std::map<std::string, int> TRowServer::Counts() const {
    std::lock_guard lock(FLock);
    return FCounts;
}

int TRowServer::Requests() const {
    std::lock_guard lock(FLock);
    return FRequests;
}

void TRowServer::AcceptLoop() {
    for (;;) {
        const int fd = FListener.Accept(FStopPipe[0]);
        if (fd < 0)
            return;
        std::lock_guard lock(FLock);
        if (FStopping) {
            ::close(fd);
            return;
        }
        for (auto it = FClients.begin(); it != FClients.end();) {
            if (!(*it)->Ended) {
                ++it;
                continue;
            }
            (*it)->Thread.join();
            ::close((*it)->Fd);
            it = FClients.erase(it);
        }
        auto client = std::make_unique<TClient>();
        client->Fd = fd;
        TClient& added = *client;
        FClients.push_back(std::move(client));
        added.Thread = std::thread([this, &added] {
            Serve(added);
            std::lock_guard ended(FLock);
            added.Ended = true;
        });
    }
}

void TRowServer::Serve(TClient& AClient) {
    const int fd = AClient.Fd;
    std::string received;
    char buffer[16384];
    for (;;) {
        // One request: the head, then the body of its Content-Length.
        std::size_t headEnd;
        while ((headEnd = received.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return; // the client closed; the socket is closed by the destructor
            received.append(buffer, static_cast<std::size_t>(n));
        }
        std::size_t length = 0;
        const std::string head = received.substr(0, headEnd);
        for (const char* name : {"Content-Length:", "content-length:"})
            if (const std::size_t at = head.find(name); at != std::string::npos)
                length = std::strtoul(head.c_str() + at + std::strlen(name), nullptr, 10);
        while (received.size() < headEnd + 4 + length) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            received.append(buffer, static_cast<std::size_t>(n));
        }
        const std::string body = received.substr(headEnd + 4, length);
        received.erase(0, headEnd + 4 + length);
        const std::string key = FormValue(body, FKeyName);
        const std::string command = FormValue(body, "Command");
        std::function<void(const std::string&)> seen;
        {
            std::lock_guard lock(FLock);
            seen = FSeen;
        }
        if (seen)
            seen(key);
        bool refuse = false;
        std::function<std::string(const std::string&)> answerOf;
        {
            std::unique_lock lock(FLock);
            ++FRequests;
            ++FCounts[key];
            FLog.push_back(command);
            FLog.back().append(" ").append(key);
            FChanged.notify_all();
            refuse = Matches(FRefused, command, key);
            answerOf = FAnswer;
            if (Matches(FHold, command, key)) {
                FHeld.insert(key);
                FChanged.notify_all();
                FChanged.wait(lock, [this] { return FReleased || FStopping; });
                if (FStopping)
                    return;
            }
        }
        std::string answer = "HTTP/1.1 ";
        answer += refuse ? "500 Internal Server Error" : "200 OK";
        const std::string text = refuse     ? "{\"Result\":\"Error\"}"
                                 : answerOf ? answerOf(key)
                                            : "{\"Result\":\"Ok\"}";
        answer += "\r\nContent-Type: application/json; charset=utf-8\r\nConnection: ";
        answer += FCloseFirst ? "close" : "keep-alive";
        answer += "\r\nContent-Length: ";
        answer += std::to_string(text.size());
        answer += "\r\n\r\n";
        answer += text;
        if (!SendAllBytes(fd, answer) || FCloseFirst) {
            // The server's end goes first; the socket is closed with the others.
            if (FCloseFirst)
                ::shutdown(fd, SHUT_RDWR);
            return;
        }
    }
}
