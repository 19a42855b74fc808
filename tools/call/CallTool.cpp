// vlcallbench-call: one API call named by the catalogue, composed exactly as the window's Send
// composes it, with the window's stored connection settings as defaults. The answer is written to
// standard output as it arrives; a failure's message goes to standard error.

#include "AnswerWriter.h"
#include "BeforeCopyCall.h"
#include "CallAnswerData.h"
#include "CallArguments.h"
#include "CallDefaults.h"
#include "CallGuard.h"
#include "CallInterrupt.h"
#include "CallLine.h"
#include "CallOptions.h"
#include "CallProfiles.h"
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
    TCurlTls tls;
    tls.Insecure = AOptions.Tls.Insecure;
    tls.CACertFile = QString::fromStdString(AOptions.Tls.CaCertFile);
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
        WriteError(trouble.toStdString());
}

// Whether the form carries the API password: none given and none remembered leaves it out.
bool HasPassword(const TParamValues& AForm) {
    for (qsizetype i = 0; i < AForm.Count(); ++i)
        if (AForm.Name(i).compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Makes room for the whole answer at once when its length is known, with the spare bytes the
// JSON reader looks past the end: a string grown piece by piece would hold up to twice the answer
// while it moves, and the reader would copy it again.
void ReserveWhole(TAnswerDataInput& AData, const TIdHTTPResponse& AResponse) {
    constexpr std::int64_t most = std::int64_t(1) << 31; // a length no answer is trusted with
    if (AResponse.HasContentLength() && AResponse.ContentLength <= most)
        AData.Reserve(static_cast<std::size_t>(AResponse.ContentLength));
}

// The read that keeps what the call alters as it was, sent first with the same client, its answer
// kept for the call's history entry, not written out. A read that fails is said and recorded;
// the call goes on all the same.
std::optional<THistoryCall> SendBeforeCopy(const TCallOptions& AOptions, const TPreparedCall& ACall,
                                           const TCallGrid& AReadGrid, TIdHTTP& AHTTP, bool AKeep,
                                           const QString& AProfile) {
    TPreparedCall read;
    read.Command = AReadGrid.Command;
    read.URL = ACall.URL;
    read.Password = ACall.Password;
    read.Form = CallForm(AReadGrid, ACall.Password);
    read.Grid = AReadGrid;
    TCallRecord record(TCallRecord::TBuiltOnly{}, AKeep, read.URL, *read.Command,
                       read.Form.AllLines(), !AOptions.Legacy);
    record.SetProfile(AProfile);
    TAnswerWriter output(-1, [&record](std::string_view AUtf8) { record.Answer(AUtf8); });
    AHTTP.SetBodyUTF8Sink([&output](std::string_view APiece) { output.Write(APiece); });
    const TSentCall sent = SendCall(AOptions, read, AHTTP, output, record);
    AHTTP.SetBodyUTF8Sink({});
    if (sent.Outcome == THistoryOutcome::Error)
        WriteError("warning: the before copy " + read.Command->Name + " failed; " +
                   ACall.Command->Name + " is sent all the same.");
    return record.Build(sent.Outcome, sent.ErrorText, sent.Answered ? &AHTTP.Response() : nullptr);
}

// Sends the call and records it; ends the tool as a signal that cancelled it would have. With
// ADataOptions the answer is gathered whole and printed as data once it is in. ABeforeCopy: the
// read to send first, if any.
int RunCall(const TCallOptions& AOptions, const TPreparedCall& ACall, TCallDefaults& ADefaults,
            const TAnswerDataOptions& ADataOptions, const std::optional<TCallGrid>& ABeforeCopy,
            const QString& AProfile) {
    // Said before anything goes out: the server's refusal of such a call may not say what was
    // missing.
    if (!HasPassword(ACall.Form))
        WriteError("warning: no password given (--password-env, --password-file) and none "
                   "remembered; the call is sent without one.");
    TIdSSLIOHandlerSocketOpenSSL SSLHandler;
    SSLHandler.RecvBufferSize = AnswerReceiveSize;
    ApplyTlsCommandLine(AOptions.Tls, SSLHandler);
    TIdHTTP HTTP;
    HTTP.SetIOHandler(&SSLHandler);
    const bool keep = ADefaults.KeepHistory();
    TCallRecord record(keep, ACall.URL, *ACall.Command, ACall.Form.AllLines(), !AOptions.Legacy);
    record.SetProfile(AProfile);
    if (ABeforeCopy) {
        if (std::optional<THistoryCall> before =
                SendBeforeCopy(AOptions, ACall, *ABeforeCopy, HTTP, keep, AProfile))
            record.KeepBefore(std::move(*before));
        // Interrupted during the read: nothing more goes out.
        if (const int signal = CallInterrupt(); signal != 0) {
            record.RecordBeforeOnly();
            EndBySignal(signal);
        }
    }
    // The history keeps the bytes the tool wrote out, converted once for both.
    TAnswerDataInput data(ADataOptions);
    TAnswerWriter output(ADataOptions.Any() ? -1 : STDOUT_FILENO,
                         [&record, &data, &ADataOptions, &HTTP](std::string_view AUtf8) {
                             record.Answer(AUtf8);
                             if (!ADataOptions.Any())
                                 return;
                             if (!data.Started())
                                 ReserveWhole(data, HTTP.Response());
                             data.Add(AUtf8);
                         });
    HTTP.SetBodyUTF8Sink([&output](std::string_view APiece) { output.Write(APiece); });
    TSentCall sent = SendCall(AOptions, ACall, HTTP, output, record);
    FinishRecord(record, sent, HTTP);
    if (ADataOptions.Any() && sent.ExitCode == 0)
        if (const std::string failure = data.Write(STDOUT_FILENO); !failure.empty()) {
            WriteError(failure);
            sent.ExitCode = 1;
        }
    if (const int signal = CallInterrupt(); signal != 0)
        EndBySignal(signal);
    return sent.ExitCode;
}

// Qt's own messages (the keyring's, the database driver's) name the tool as its own do.
void WriteQtMessage(QtMsgType /*AType*/, const QMessageLogContext& /*AContext*/,
                    const QString& AText) {
    WriteError(AText.toStdString());
}

// The help with the answer-data options among the others, before --list.
std::string WithAnswerDataUsage(std::string AUsage) {
    if (const std::size_t at = AUsage.find("  --list"); at != std::string::npos)
        AUsage.insert(at, AnswerDataUsage());
    return AUsage;
}

} // namespace

int main(int argc, char** argv) {
    StartInterruptWatch();
    qInstallMessageHandler(WriteQtMessage);
    try {
        TAnswerDataOptions dataOptions;
        std::vector<char*> arguments = TakeAnswerDataOptions(argc, argv, dataOptions);
        TCallOptions options;
        switch (
            ParseCallOptions(static_cast<int>(arguments.size()) - 1, arguments.data(), options)) {
        case TEarlyExit::ShowHelp:
            std::cout << WithAnswerDataUsage(CallToolUsage()) << RowOptionsUsage() << std::flush;
            return 0;
        case TEarlyExit::ShowVersion:
            std::cout << "vlcallbench-call " VL_VERSION "\n" << std::flush;
            return 0;
        case TEarlyExit::None:
            break;
        }
        options.Data = dataOptions;
        TCommandList commands;
        AppendCatalogue(commands);
        if (options.List || options.Describe)
            return ShowCatalogue(options, commands);
        // The keyring and the history's database driver need an application object.
        QCoreApplication application(argc, argv);
        if (ManagesProfiles(options))
            return RunProfileCommand(options);
        if (options.Production)
            throw ECallUsage("--production goes with --profile-add.");
        TCallDefaults defaults;
        defaults.UseProfile(options.Profile);
        if (options.Rows.Wanted())
            return RunRows(options, commands, defaults);
        const TPreparedCall call = PrepareCall(options, commands, defaults);
        if (options.Curl)
            return PrintCurlLine(options, call);
        // Nothing goes out before the guard's answer, the before copy included.
        if (const int refused = GuardCall(options, call, defaults); refused != 0)
            return refused;
        const std::optional<TServerProfile> profile =
            defaults.CallProfile(options.Server.has_value());
        const bool beforeCopy = options.BeforeCopy.value_or(
            profile && TakesBeforeCopy(profile->BeforeCopies, profile->Production));
        return RunCall(options, call, defaults, dataOptions,
                       beforeCopy ? BeforeCopyGrid(call.Grid, commands) : std::nullopt,
                       profile ? profile->Name : QString());
    } catch (const ECallUsage& error) {
        WriteError(error.what());
        return 2;
    }
}
