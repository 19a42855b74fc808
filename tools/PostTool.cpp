// vlcallbench-post URL [LINE ...]: one Post through the program's HTTP client. The decoded answer
// goes to standard output as UTF-8; a failure's message text goes to standard error unchanged.

#include "IdHTTP.h"
#include "IdHTTPText.h"
#include "IdSSLIOHandlerSocketOpenSSL.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace {

void WriteAll(std::FILE* AFile, const std::string& AText) {
    std::fwrite(AText.data(), 1, AText.size(), AFile);
    std::fflush(AFile);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        WriteAll(stderr, "usage: vlcallbench-post URL [LINE ...]\n");
        return 2;
    }
    const std::u16string URL = IdHTTPText::FromUTF8(argv[1]);
    std::vector<std::u16string> Lines;
    for (int I = 2; I < argc; ++I)
        Lines.push_back(IdHTTPText::FromUTF8(argv[I]));
    try {
        // The program's arrangement: https through the TLS handler, http passed through it.
        TIdSSLIOHandlerSocketOpenSSL SSLHandler;
        SSLHandler.VerifyPeer = false;
        TIdHTTP HTTP;
        HTTP.SetIOHandler(&SSLHandler);
        const std::u16string Answer = HTTP.Post(URL, Lines);
        WriteAll(stdout, IdHTTPText::ToUTF8(Answer));
        return 0;
    } catch (const std::exception& E) {
        WriteAll(stderr, E.what());
        return 1;
    }
}
