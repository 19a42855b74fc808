// A whole answer through a connection in memory, received in pieces whose size the first input
// byte chooses. However the bytes are cut, the outcome (the text, or the failure's message) is
// the one of the answer received in one piece.

#include "IdHTTP.h"
#include "IdText.h"
#include "MemoryIOHandler.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Outcome(const std::string& AReply, std::size_t APieceSize,
                    TMemoryIOHandler::TEnd AEnd) {
    TMemoryIOHandler Handler;
    Handler.Replies = {AReply};
    Handler.PieceSize = APieceSize;
    Handler.End = AEnd;
    TIdHTTP HTTP;
    HTTP.SetIOHandler(&Handler);
    HTTP.ReadTimeout = 5000;
    std::string Result;
    try {
        Result = "answer: " +
                 IdText::ToUTF8(HTTP.Post(u"http://127.0.0.1:8087/api", {u"Command=AccountsList"}));
    } catch (const EIdException& E) {
        Result = "failure: " + E.Message();
    }
    HTTP.SetIOHandler(nullptr);
    return Result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    if (ASize == 0)
        return 0;
    const std::size_t PieceSize = AData[0] % 16 + 1;
    const auto End =
        (AData[0] & 0x80) != 0 ? TMemoryIOHandler::TEnd::Reset : TMemoryIOHandler::TEnd::Close;
    const std::string Reply(reinterpret_cast<const char*>(AData) + 1, ASize - 1);
    const std::string Whole = Outcome(Reply, 0, End);
    const std::string Cut = Outcome(Reply, PieceSize, End);
    if (Whole != Cut) {
        std::fprintf(stderr, "pieces of %zu change the outcome:\nwhole: %s\ncut:   %s\n", PieceSize,
                     Whole.c_str(), Cut.c_str());
        std::abort();
    }
    return 0;
}
