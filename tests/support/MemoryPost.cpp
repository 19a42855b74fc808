#include "MemoryPost.h"

#include "IdException.h"

TMemoryPostOutcome PostFromMemory(const std::string& AReply, TMemoryIOHandler::TEnd AEnd,
                                  std::size_t APieceSize) {
    TMemoryClient client({AReply});
    client.Handler.End = AEnd;
    client.Handler.PieceSize = APieceSize;
    TMemoryPostOutcome outcome;
    try {
        outcome.Text = client.HTTP.Post(TMemoryClient::URL, {u"Command=AccountsList"});
    } catch (const EIdException& error) {
        outcome.Failed = true;
        outcome.Error = error.Message();
    }
    return outcome;
}
