#include "TlsTestServer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace {

SSL_CTX* Ctx(void* AContext) {
    return static_cast<SSL_CTX*>(AContext);
}

void SetTimeOuts(int AFd, int AMs) {
    timeval Value{AMs / 1000, (AMs % 1000) * 1000};
    setsockopt(AFd, SOL_SOCKET, SO_RCVTIMEO, &Value, sizeof Value);
    setsockopt(AFd, SOL_SOCKET, SO_SNDTIMEO, &Value, sizeof Value);
}

// The request head up to the empty line plus a Content-Length body.
bool RequestComplete(const std::string& ARequest) {
    const size_t HeadEnd = ARequest.find("\r\n\r\n");
    if (HeadEnd == std::string::npos) {
        return false;
    }
    size_t Length = 0;
    const size_t Field = ARequest.find("Content-Length: ");
    if (Field != std::string::npos && Field < HeadEnd) {
        Length = std::strtoul(ARequest.c_str() + Field + 16, nullptr, 10);
    }
    return ARequest.size() >= HeadEnd + 4 + Length;
}

} // namespace

TTlsTestServer::TTlsTestServer(TTlsServerOptions AOptions, bool AIPv6)
    : FOptions(std::move(AOptions)), FListener(AIPv6, 8) {
    // Writing to a client that is gone must fail the write, not end the test.
    signal(SIGPIPE, SIG_IGN);
    const TTestCertificate& Certificate =
        FOptions.Certificate != nullptr ? *FOptions.Certificate : TTestCertificate::Get();
    SSL_CTX* Context = SSL_CTX_new(TLS_server_method());
    if (Context == nullptr ||
        SSL_CTX_use_certificate_file(Context, Certificate.CertFile.c_str(), SSL_FILETYPE_PEM) !=
            1 ||
        SSL_CTX_use_PrivateKey_file(Context, Certificate.KeyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        SSL_CTX_free(Context);
        throw std::runtime_error("TLS server context failed");
    }
    FContext = Context;
    if (pipe(FStopPipe) != 0) {
        SSL_CTX_free(Context);
        throw std::runtime_error("TLS server pipe failed");
    }
    FThread = std::thread([this] { Run(); });
}

TTlsTestServer::~TTlsTestServer() {
    const char Stop = 1;
    [[maybe_unused]] const auto Ignored = write(FStopPipe[1], &Stop, 1);
    FThread.join();
    close(FStopPipe[0]);
    close(FStopPipe[1]);
    SSL_CTX_free(Ctx(FContext));
}

void TTlsTestServer::Run() {
    for (;;) {
        const int Fd = FListener.Accept(FStopPipe[0]);
        if (Fd < 0) {
            return;
        }
        {
            std::lock_guard Guard(FLock);
            ++FAccepted;
            FChanged.notify_all();
        }
        SetTimeOuts(Fd, WaitMs);
        Serve(Fd);
        close(Fd);
        std::lock_guard Guard(FLock);
        ++FServed;
        FChanged.notify_all();
    }
}

void TTlsTestServer::Serve(int AFd) {
    if (FOptions.Mode == TTlsServerMode::EndAtOnce) {
        shutdown(AFd, SHUT_WR);
    }
    if (FOptions.Mode == TTlsServerMode::NeverHandshake ||
        FOptions.Mode == TTlsServerMode::EndAtOnce) {
        // Reading all the client sends keeps the close orderly (no reset).
        DrainUntilClosed(AFd);
        return;
    }
    ServeTls(AFd);
    ERR_clear_error();
}

void TTlsTestServer::ServeTls(int AFd) {
    if (FOptions.BeforeHandshake) {
        FOptions.BeforeHandshake();
    }
    SSL* Connection = SSL_new(Ctx(FContext));
    SSL_set_fd(Connection, AFd);
    if (SSL_accept(Connection) != 1) {
        SSL_free(Connection);
        return;
    }
    {
        const char* Name = SSL_get_servername(Connection, TLSEXT_NAMETYPE_host_name);
        std::lock_guard Guard(FLock);
        ++FHandshakes;
        FResumed += SSL_session_reused(Connection) ? 1 : 0;
        FServerNames.emplace_back(Name != nullptr ? Name : "");
    }
    std::string Request;
    if (FOptions.Mode == TTlsServerMode::NeverRead) {
        pollfd Stop{FStopPipe[0], POLLIN, 0};
        poll(&Stop, 1, WaitMs);
        SSL_free(Connection);
        return;
    }
    char Buffer[4096];
    while (!RequestComplete(Request)) {
        const int Count = SSL_read(Connection, Buffer, sizeof Buffer);
        if (Count <= 0) {
            break;
        }
        Request.append(Buffer, static_cast<size_t>(Count));
    }
    {
        std::lock_guard Guard(FLock);
        FRequests.push_back(Request);
        FChanged.notify_all();
    }
    // A client that refused the certificate went away without a request: nothing to answer.
    if (Request.empty()) {
        SSL_free(Connection);
        return;
    }
    if (FOptions.Mode == TTlsServerMode::Silent) {
        DrainUntilClosed(AFd);
        SSL_free(Connection);
        return;
    }
    const bool Raw = !FOptions.RawAfterAnswer.empty();
    const int Cork = 1;
    if (Raw)
        setsockopt(AFd, IPPROTO_TCP, TCP_CORK, &Cork, sizeof Cork);
    if (!FOptions.Answer.empty()) {
        SSL_write(Connection, FOptions.Answer.data(), static_cast<int>(FOptions.Answer.size()));
    }
    if (Raw) {
        send(AFd, FOptions.RawAfterAnswer.data(), FOptions.RawAfterAnswer.size(), MSG_NOSIGNAL);
        const int Uncork = 0;
        setsockopt(AFd, IPPROTO_TCP, TCP_CORK, &Uncork, sizeof Uncork);
        DrainUntilClosed(AFd);
        SSL_free(Connection);
        return;
    }
    if (FOptions.CloseNotify) {
        SSL_shutdown(Connection);
    }
    SSL_free(Connection);
}

void TTlsTestServer::DrainUntilClosed(int AFd) const {
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WaitMs);
    while (std::chrono::steady_clock::now() < Deadline) {
        pollfd Fds[2] = {{AFd, POLLIN, 0}, {FStopPipe[0], POLLIN, 0}};
        if (poll(Fds, 2, 100) < 0 || (Fds[1].revents & POLLIN) != 0) {
            return;
        }
        if ((Fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char Buffer[4096];
            if (recv(AFd, Buffer, sizeof Buffer, 0) <= 0) {
                return;
            }
        }
    }
}

int TTlsTestServer::Accepted() const {
    std::lock_guard Guard(FLock);
    return FAccepted;
}

int TTlsTestServer::Handshakes() const {
    std::lock_guard Guard(FLock);
    return FHandshakes;
}

int TTlsTestServer::ResumedSessions() const {
    std::lock_guard Guard(FLock);
    return FResumed;
}

std::vector<std::string> TTlsTestServer::ServerNames() const {
    std::lock_guard Guard(FLock);
    return FServerNames;
}

std::vector<std::string> TTlsTestServer::Requests() const {
    std::lock_guard Guard(FLock);
    return FRequests;
}

bool TTlsTestServer::WaitForServed(int ACount, int ATimeoutMs) const {
    std::unique_lock Guard(FLock);
    return FChanged.wait_for(Guard, std::chrono::milliseconds(ATimeoutMs),
                             [&] { return FServed >= ACount; });
}

bool TTlsTestServer::WaitForAccepted(int ACount, int ATimeoutMs) const {
    std::unique_lock Guard(FLock);
    return FChanged.wait_for(Guard, std::chrono::milliseconds(ATimeoutMs),
                             [&] { return FAccepted >= ACount; });
}

bool TTlsTestServer::WaitForRequests(int ACount, int ATimeoutMs) const {
    std::unique_lock Guard(FLock);
    return FChanged.wait_for(Guard, std::chrono::milliseconds(ATimeoutMs),
                             [&] { return static_cast<int>(FRequests.size()) >= ACount; });
}
