#include "IdConnectThread.h"

#include "IdException.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <unistd.h>

TIdConnectThread::TIdConnectThread(std::function<void(int AStopFd)> AConnect) {
    int Fds[2];
    // Close-on-exec from the start: a program started by another thread meanwhile gets none.
    if (pipe2(Fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw EIdConnectException("Could not start the connect thread.");
    }
    FStopRead = Fds[0];
    FStopWrite = Fds[1];
    FThread = std::thread([this, Connect = std::move(AConnect)] {
        std::exception_ptr Error;
        try {
            Connect(FStopRead);
        } catch (...) {
            Error = std::current_exception();
        }
        const std::lock_guard Guard(FLock);
        FError = Error;
        FDone = true;
        FDoneSignal.notify_all();
    });
}

TIdConnectThread::~TIdConnectThread() {
    Stop();
    Join();
    close(FStopRead);
    close(FStopWrite);
}

bool TIdConnectThread::WaitFor(int32_t AMSec) {
    std::unique_lock Guard(FLock);
    if (AMSec < 0) {
        FDoneSignal.wait(Guard, [this] { return FDone; });
        return true;
    }
    return FDoneSignal.wait_for(Guard, std::chrono::milliseconds(AMSec), [this] { return FDone; });
}

void TIdConnectThread::Stop() {
    const char Byte = 1;
    [[maybe_unused]] const ssize_t Written = write(FStopWrite, &Byte, 1);
}

void TIdConnectThread::Join() {
    if (FThread.joinable()) {
        FThread.join();
    }
}
