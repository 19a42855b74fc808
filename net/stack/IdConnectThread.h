#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

// A worker thread that performs one blocking connect and keeps the exception it raised.
class TIdConnectThread {
public:
    // AConnect receives a descriptor that becomes readable when Stop is called; the connect
    // should wait on it and return early.
    explicit TIdConnectThread(std::function<void(int AStopFd)> AConnect);
    ~TIdConnectThread(); // stops and joins
    TIdConnectThread(const TIdConnectThread&) = delete;
    TIdConnectThread& operator=(const TIdConnectThread&) = delete;

    // True when the connect ended within AMSec ms.
    bool WaitFor(int32_t AMSec);
    void Stop();
    void Join();
    std::exception_ptr Error() const { return FError; }

private:
    std::mutex FLock;
    std::condition_variable FDoneSignal;
    bool FDone = false;
    std::exception_ptr FError;
    int FStopRead = -1;
    int FStopWrite = -1;
    std::thread FThread;
};
