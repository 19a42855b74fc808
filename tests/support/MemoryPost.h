#pragma once

#include "IdHTTP.h"
#include "MemoryIOHandler.h"

#include <cstddef>
#include <string>
#include <vector>

// A client whose connections are answered from memory, one reply per connection.
struct TMemoryClient {
    TMemoryIOHandler Handler;
    TIdHTTP HTTP;
    explicit TMemoryClient(std::vector<std::string> AReplies) {
        Handler.Replies = std::move(AReplies);
        HTTP.SetIOHandler(&Handler);
        HTTP.ReadTimeout = 5000;
    }
    ~TMemoryClient() { HTTP.SetIOHandler(nullptr); }
    TMemoryClient(const TMemoryClient&) = delete;
    TMemoryClient& operator=(const TMemoryClient&) = delete;
    static constexpr const char16_t* URL = u"http://127.0.0.1:8087/api";
};

// How one call answered from memory ended: the answer's text, or the failure's message.
struct TMemoryPostOutcome {
    std::u16string Text;
    std::string Error; // empty when the call succeeded
    bool Failed = false;
};

// Posts one AccountsList call whose connection serves AReply APieceSize bytes at a time (0: as
// many as fit) and then ends as AEnd says.
TMemoryPostOutcome PostFromMemory(const std::string& AReply, TMemoryIOHandler::TEnd AEnd,
                                  std::size_t APieceSize);
