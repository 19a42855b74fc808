// A whole answer through a connection in memory, received in pieces whose size the first input
// byte chooses. However the bytes are cut, the outcome (the text, or the failure's message) is
// the one of the answer received in one piece.

#include "IdText.h"
#include "MemoryPost.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Outcome(const std::string& AReply, std::size_t APieceSize,
                    TMemoryIOHandler::TEnd AEnd) {
    const TMemoryPostOutcome Outcome = PostFromMemory(AReply, AEnd, APieceSize);
    return Outcome.Failed ? "failure: " + Outcome.Error : "answer: " + IdText::ToUTF8(Outcome.Text);
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
