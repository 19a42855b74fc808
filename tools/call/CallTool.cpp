// vlcallbench-call: one API call named by the catalogue, composed exactly as the window's Send
// composes it, with the window's stored connection settings as defaults. The answer is written to
// standard output as it arrives; a failure's message goes to standard error.

#include "AnswerWriter.h"
#include "CallArguments.h"
#include "CallDefaults.h"
#include "CallInterrupt.h"
#include "CallLine.h"
#include "CallOptions.h"
#include "CallRecord.h"
#include "CallSend.h"
#include "Catalogue.h"
#include "CatalogueListing.h"
#include "ErrorOutput.h"
#include "IdHTTP.h"
#include "IdSSLIOHandlerSocketOpenSSL.h"
#include "PreparedCall.h"
#include "RowRunTool.h"
#include "SecretParams.h"

#include <QCoreApplication>

#include <iostream>
#include <unistd.h>

namespace {

// --curl: the call as a curl command line instead of the call itself.
int PrintCurlLine(const TCallOptions& AOptions, const TPreparedCall& ACall) {
    // A pin has no counterpart among curl's options; the other choices carry over.
    const TCurlTls tls{AOptions.Tls.Insecure, QString::fromStdString(AOptions.Tls.CaCertFile)};
    std::cout << CurlLine(ACall.URL, ACall.Form, SecretNames(*ACall.Command), AOptions.ShowPassword,
                          tls)
                     .toStdString()
              << '\n'
              << std::flush;
    return std::cout ? 0 : 1;
}

// Keeps the call in the history. The answer is out by now; the history's trouble is worth a line
// but changes nothing else.
void FinishRecord(TCallRecord& ARecord, const TSentCall& ASent, const TIdHTTP& AHTTP) {
    if (const QString trouble = ARecord.Finish(ASent.Outcome, ASent.ErrorText,
                                               ASent.Answered ? &AHTTP.Response() : nullptr);
        !trouble.isEmpty())
        WriteError("vlcallbench-call: " + trouble.toStdString());
}

// Sends the call and records it; ends the tool as a signal that cancelled it would have.
int RunCall(const TCallOptions& AOptions, const TPreparedCall& ACall, TCallDefaults& ADefaults) {
    TIdSSLIOHandlerSocketOpenSSL SSLHandler;
    SSLHandler.RecvBufferSize = AnswerReceiveSize;
    ApplyTlsCommandLine(AOptions.Tls, SSLHandler);
    TIdHTTP HTTP;
    HTTP.SetIOHandler(&SSLHandler);
    TCallRecord record(ADefaults.KeepHistory(), ACall.URL, *ACall.Command, ACall.Form.AllLines(),
                       !AOptions.Legacy);
    // The history keeps the bytes the tool wrote out, converted once for both.
    TAnswerWriter output(STDOUT_FILENO,
                         [&record](std::string_view AUtf8) { record.Answer(AUtf8); });
    HTTP.SetBodyUTF8Sink([&output](std::string_view APiece) { output.Write(APiece); });
    const TSentCall sent = SendCall(AOptions, ACall, HTTP, output, record);
    FinishRecord(record, sent, HTTP);
    if (const int signal = CallInterrupt(); signal != 0)
        EndBySignal(signal);
    return sent.ExitCode;
}

} // namespace

int main(int argc, char** argv) {
    StartInterruptWatch();
    try {
        TCallOptions options;
        switch (ParseCallOptions(argc, argv, options)) {
        case TEarlyExit::ShowHelp:
            std::cout << CallToolUsage() << RowOptionsUsage() << std::flush;
            return 0;
        case TEarlyExit::ShowVersion:
            std::cout << "vlcallbench-call " VL_VERSION "\n" << std::flush;
            return 0;
        case TEarlyExit::None:
            break;
        }
        TCommandList commands;
        AppendCatalogue(commands);
        if (options.List || options.Describe)
            return ShowCatalogue(options, commands);
        // The keyring and the history's database driver need an application object.
        QCoreApplication application(argc, argv);
        TCallDefaults defaults;
        if (options.Rows.Wanted())
            return RunRows(options, commands, defaults);
        const TPreparedCall call = PrepareCall(options, commands, defaults);
        if (options.Curl)
            return PrintCurlLine(options, call);
        return RunCall(options, call, defaults);
    } catch (const ECallUsage& error) {
        WriteError(error.what());
        return 2;
    }
}
