#include "IdSSLErrors.h"

#include "IdStack.h"

#include <cerrno>

namespace IdSSLErrors {

TSocketErrorSnapshot TakeSocketError() {
    TSocketErrorSnapshot Result;
    Result.Errno = errno;
    Result.SocketError = Result.Errno == 0 ? 0 : GlobalStack().WSGetLastError();
    errno = Result.Errno;
    return Result;
}

std::string ErrorText(unsigned long ACode) {
    char Buffer[160] = {};
    TlsFunctions().ERR_error_string_n(ACode, Buffer, sizeof Buffer);
    return TlsText(Buffer);
}

std::string JoinMessage(const std::string& AMessage, const std::string& AText) {
    return AMessage.empty() ? AText : AMessage + "\r\n" + AText;
}

void RaiseSocketError(int ASocketError) {
    TIdStack::RaiseSocketError(ASocketError);
}

} // namespace IdSSLErrors
