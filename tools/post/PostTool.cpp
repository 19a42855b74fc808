// vlcallbench-post [OPTION ...] URL [LINE ...]: one Post through the program's HTTP client. The
// decoded answer goes to standard output as UTF-8 as it arrives; a failure's message text goes to
// standard error unchanged after the tool's name, followed by a newline.

#include "AnswerWriter.h"
#include "CallTimeout.h"
#include "IdHTTP.h"
#include "IdHTTPResponse.h"
#include "IdHTTPText.h"
#include "IdSSLIOHandlerSocketOpenSSL.h"
#include "PostCommandLine.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void WriteAll(std::FILE* AFile, const std::string& AText) {
    std::fwrite(AText.data(), 1, AText.size(), AFile);
    std::fflush(AFile);
}

// Every message says where it comes from; AText ends with a newline.
void WriteError(const std::string& AText) {
    WriteAll(stderr, "vlcallbench-post: " + AText);
}

} // namespace

int main(int argc, char** argv) {
    TPostCommandLine commandLine;
    try {
        commandLine = ParsePostCommandLine({argv + 1, static_cast<std::size_t>(argc - 1)});
    } catch (const EPostUsage& E) {
        WriteError(std::string(E.what()) + "\n" + PostUsage());
        return 2;
    }
    if (commandLine.Help) {
        WriteAll(stdout, PostUsage());
        return 0;
    }
    if (commandLine.Version) {
        WriteAll(stdout, "vlcallbench-post " VL_VERSION "\n");
        return 0;
    }
    const std::u16string URL = IdHTTPText::FromUTF8(commandLine.URL);
    std::vector<std::u16string> Lines;
    for (const std::string& Line : commandLine.Lines)
        Lines.push_back(IdHTTPText::FromUTF8(Line));
    // The program's arrangement: https through the TLS handler, http passed through it.
    TIdSSLIOHandlerSocketOpenSSL SSLHandler;
    TIdHTTP HTTP;
    std::optional<TCallTimeout> timeout;
    try {
        ApplyTlsCommandLine(commandLine.Tls, SSLHandler);
        SSLHandler.RecvBufferSize = AnswerReceiveSize;
        HTTP.SetIOHandler(&SSLHandler);
        // The answer goes out as it arrives: a large one is never held whole.
        TAnswerWriter Output(STDOUT_FILENO);
        HTTP.SetBodyUTF8Sink([&Output](std::string_view APiece) { Output.Write(APiece); });
        if (commandLine.Timeout)
            timeout.emplace(HTTP, *commandLine.Timeout);
        HTTP.Post(URL, Lines);
        timeout.reset();
        Output.EndLine();
        return 0;
    } catch (const EIdOSSLCertificateRejected& E) {
        WriteError(RefusedCertificateMessage(E, " before the URL"));
        return 1;
    } catch (const EIdException& E) {
        if (timeout && timeout->Fired()) {
            WriteError("Timed out after " + commandLine.TimeoutText + " s.\n");
            return 1;
        }
        // The message keeps its exact bytes, even one that ends with a line break or holds NUL.
        std::string text = E.Message() + "\n";
        // A refused status: what the server said with it follows the status line.
        if (const auto* refused = dynamic_cast<const EIdHTTPProtocolException*>(&E);
            refused != nullptr && !refused->ErrorMessage.empty()) {
            text += IdHTTPText::ToUTF8(refused->ErrorMessage);
            if (text.back() != '\n')
                text += '\n';
        }
        WriteError(text);
        return 1;
    } catch (const std::exception& E) {
        WriteError(std::string(E.what()) + "\n");
        return 1;
    }
}
