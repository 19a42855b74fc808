// vlcallbench-call: one API call named by the catalogue, composed exactly as the window's Send
// composes it, with the window's stored connection settings as defaults. The answer is written to
// standard output as it arrives; a failure's message goes to standard error.

#include "AnswerWriter.h"
#include "CallArguments.h"
#include "CallInterrupt.h"
#include "CallLine.h"
#include "CallRecord.h"
#include "Catalogue.h"
#include "CatalogueJson.h"
#include "CatalogueText.h"
#include "IdHTTP.h"
#include "IdHTTPResponse.h"
#include "IdSSLIOHandlerSocketOpenSSL.h"
#include "PasswordKeyring.h"
#include "SendRequest.h"
#include "SettingsStore.h"
#include "TlsCommandLine.h"
#include "VersionText.h"

#include <QCoreApplication>
#include <QFile>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

std::string Usage() {
    const auto option = [](std::string_view AName, std::string_view AHelp) {
        std::string line = "  " + std::string(AName);
        line.resize(26, ' ');
        return line + std::string(AHelp) + "\n";
    };
    return "Usage: vlcallbench-call [OPTIONS] COMMAND [NAME=VALUE ...]\n"
           "       vlcallbench-call --list [GROUP]\n"
           "       vlcallbench-call --describe COMMAND\n"
           "\n"
           "Sends one API command with the given parameters, as the window's Send does with those "
           "rows\n"
           "ticked, and writes the server's answer to standard output as it arrives. Command and\n"
           "parameter names are checked against the catalogue and may be written in any case.\n"
           "Defaults come from the window's settings: server address, port and path, version and "
           "the\n"
           "remembered password.\n"
           "\n"
           "Options:\n"
           "  --server URL            the API's URL (default: built from the window's settings)\n"
           "  --password-env VAR      take the password from the environment variable VAR\n"
           "  --password-file FILE    take the password from the first line of FILE\n"
           "  --legacy                ask for the Legacy result format (JSON=No)\n"
           "  --server-version V      check names against server version V (default: the "
           "window's)\n"
           "  --force                 send commands and parameters the server version lacks\n"
           "  --timeout SECONDS       give up when the whole call takes longer\n" +
           option("--insecure", TTlsCommandLine::InsecureHelp) +
           option("--cacert FILE", TTlsCommandLine::CaCertHelp) +
           option("--pin " + std::string(TTlsCommandLine::PinValue), TTlsCommandLine::PinHelp) +
           "  --curl                  print a curl command line for the call instead of sending "
           "it\n"
           "  --show-password         with --curl: write the password itself, not $VL_PASSWORD\n"
           "  --list [GROUP]          list the commands (of one group)\n"
           "  --describe COMMAND      show a command's help and parameters\n"
           "  --json                  with --list or --describe: the catalogue's JSON for that "
           "part\n"
           "  --help                  show this text\n"
           "  --version               show the program's version\n"
           "\n"
           "An https server's certificate is checked as the window checks it, and the "
           "certificates\n"
           "trusted in the window are trusted here too.\n"
           "\n"
           "Exit status: 0 the answer was printed, 1 the call failed, 2 usage or validation "
           "error.\n";
}

struct TOptions {
    bool List = false;
    bool Describe = false;
    bool Json = false;
    bool Legacy = false;
    bool Force = false;
    bool Curl = false;
    bool ShowPassword = false;
    std::optional<std::string> Server;
    std::optional<std::string> ServerVersion;
    std::optional<std::string> PasswordEnv;
    std::optional<std::string> PasswordFile;
    std::optional<double> Timeout;
    std::string TimeoutText;
    TTlsCommandLine Tls;
    std::vector<std::string> Positional;
};

enum class TEarlyExit { None, Help, Version };

TEarlyExit ParseOptions(int argc, char** argv, TOptions& AOptions) {
    const std::vector<std::string> flags{"--list",    "--describe", "--json",          "--legacy",
                                         "--force",   "--curl",     "--show-password", "--help",
                                         "--version", "--insecure"};
    const std::vector<std::string> valued{
        "--server",  "--server-version", "--password-env", "--password-file",
        "--timeout", "--cacert",         "--pin"};
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (optionsEnded || argument.size() < 2 || argument.compare(0, 2, "--") != 0) {
            AOptions.Positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> value;
        if (const std::size_t equals = argument.find('='); equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument.resize(equals);
        }
        if (std::find(valued.begin(), valued.end(), argument) != valued.end()) {
            if (!value) {
                if (i + 1 >= argc)
                    throw ECallUsage("Option " + argument + " needs a value.");
                value = argv[++i];
            }
            if (argument == "--server")
                AOptions.Server = *value;
            else if (argument == "--server-version")
                AOptions.ServerVersion = *value;
            else if (argument == "--password-env")
                AOptions.PasswordEnv = *value;
            else if (argument == "--password-file")
                AOptions.PasswordFile = *value;
            else if (argument == "--cacert")
                AOptions.Tls.CaCertFile = *value;
            else if (argument == "--pin") {
                try {
                    AOptions.Tls.Pins.push_back(PinOptionValue(*value));
                } catch (const std::invalid_argument& error) {
                    throw ECallUsage(error.what());
                }
            } else {
                char* end = nullptr;
                const double seconds = std::strtod(value->c_str(), &end);
                if (value->empty() || *end != '\0' || !(seconds > 0) || seconds > 1e6)
                    throw ECallUsage("--timeout needs a number of seconds, not '" + *value + "'.");
                AOptions.Timeout = seconds;
                AOptions.TimeoutText = *value;
            }
            continue;
        }
        if (std::find(flags.begin(), flags.end(), argument) == flags.end()) {
            std::vector<std::string> all = flags;
            all.insert(all.end(), valued.begin(), valued.end());
            throw ECallUsage(UnknownNameMessage("option", argument, "", all));
        }
        if (value)
            throw ECallUsage("Option " + argument + " takes no value.");
        if (argument == "--help")
            return TEarlyExit::Help;
        if (argument == "--version")
            return TEarlyExit::Version;
        if (argument == "--insecure") {
            AOptions.Tls.Insecure = true;
            continue;
        }
        bool& flag = argument == "--list"       ? AOptions.List
                     : argument == "--describe" ? AOptions.Describe
                     : argument == "--json"     ? AOptions.Json
                     : argument == "--legacy"   ? AOptions.Legacy
                     : argument == "--force"    ? AOptions.Force
                     : argument == "--curl"     ? AOptions.Curl
                                                : AOptions.ShowPassword;
        flag = true;
    }
    return TEarlyExit::None;
}

int TerminalWidth() {
    if (!::isatty(STDOUT_FILENO))
        return 0;
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

const TCommand& FindGroup(const TCommandList& ACommands, const std::string& AName) {
    std::vector<std::string> names;
    for (const auto& entry : ACommands) {
        if (!entry->Header)
            continue;
        if (QString::fromStdString(entry->Name)
                .compare(QString::fromStdString(AName), Qt::CaseInsensitive) == 0)
            return *entry;
        names.push_back(entry->Name);
    }
    throw ECallUsage(UnknownNameMessage("group", AName, "", names));
}

// The entries from AFirst up to the next group header.
std::span<const std::unique_ptr<TCommand>> Part(const TCommandList& ACommands,
                                                const TCommand& AFirst) {
    std::size_t begin = 0;
    while (ACommands[begin].get() != &AFirst)
        ++begin;
    std::size_t end = begin + 1;
    while (AFirst.Header && end < ACommands.size() && !ACommands[end]->Header)
        ++end;
    return std::span(ACommands).subspan(begin, end - begin);
}

int ShowCatalogue(const TOptions& AOptions, const TCommandList& ACommands) {
    if (AOptions.List && AOptions.Describe)
        throw ECallUsage("--list and --describe cannot be combined.");
    std::ostringstream out;
    if (AOptions.List) {
        if (AOptions.Positional.size() > 1)
            throw ECallUsage("--list takes at most one GROUP.");
        const TCommand* group =
            AOptions.Positional.empty() ? nullptr : &FindGroup(ACommands, AOptions.Positional[0]);
        if (AOptions.Json)
            WriteCatalogueJson(group ? Part(ACommands, *group) : std::span(ACommands), out);
        else
            out << ListText(ACommands, group, TerminalWidth());
    } else {
        if (AOptions.Positional.size() != 1)
            throw ECallUsage("--describe takes one COMMAND.");
        const TCommand& command = FindCommand(ACommands, AOptions.Positional[0]);
        if (AOptions.Json)
            WriteCatalogueJson(Part(ACommands, command), out);
        else
            out << DescribeText(command, TerminalWidth());
    }
    std::cout << out.str() << std::flush;
    return std::cout ? 0 : 1;
}

// The settings file is read only when one of its values is needed.
class TDefaults {
public:
    const TConnectionSettings& Get() {
        if (!FLoaded) {
            try {
                TSettingsStore().Load(FSettings, TSettingsStore::TMissingFile::ReadAsEmpty);
            } catch (const ESettingsError& error) {
                throw ECallUsage("Cannot read the window's settings (" +
                                 TSettingsStore::DefaultFileName().toStdString() +
                                 "): " + error.what());
            }
            FLoaded = true;
        }
        return FSettings;
    }

    // The remembered password as the window's start-up reads it: from the keyring when the
    // window keeps it there, else from the file.
    QString Password() {
        QString password = Get().Password;
        TPasswordKeyring().ReadRemembered(FSettings.RememberPW, password);
        return password;
    }

    // "Keep call history"; a settings file that cannot be read in full still says it when it
    // can, and a history kept by mistake is better than a call refused for it.
    bool KeepHistory() {
        try {
            return Get().KeepHistory;
        } catch (const ECallUsage&) {
            return FSettings.KeepHistory;
        }
    }

private:
    TConnectionSettings FSettings;
    bool FLoaded = false;
};

QString URLOf(const TOptions& AOptions, TDefaults& ADefaults) {
    if (AOptions.Server)
        return QString::fromStdString(*AOptions.Server);
    const TConnectionSettings& settings = ADefaults.Get();
    const QString address = TrimControl(settings.IP);
    const QString port = TrimControl(settings.Port);
    const QString path = TrimControl(settings.Path);
    if (const QString missing = MissingConnectionField(address, port, path); !missing.isEmpty())
        throw ECallUsage(missing.toStdString() + " in the window's settings; give --server URL.");
    return BuildURL(address, port, path);
}

QString PasswordOf(const TOptions& AOptions, TDefaults& ADefaults) {
    if (AOptions.PasswordEnv && AOptions.PasswordFile)
        throw ECallUsage("--password-env and --password-file cannot be combined.");
    if (AOptions.PasswordEnv) {
        const char* value = std::getenv(AOptions.PasswordEnv->c_str());
        if (value == nullptr)
            throw ECallUsage("The environment variable " + *AOptions.PasswordEnv + " is not set.");
        return QString::fromLocal8Bit(value);
    }
    if (AOptions.PasswordFile) {
        QFile file(QString::fromStdString(*AOptions.PasswordFile));
        if (!file.open(QIODevice::ReadOnly))
            throw ECallUsage("Cannot read the password file " + *AOptions.PasswordFile + ": " +
                             file.errorString().toStdString());
        // The first line; its line break is not part of the password.
        QByteArray line = file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        return QString::fromUtf8(line);
    }
    return ADefaults.Password();
}

// Ends a running call from another thread once the time is up.
class TWatchdog {
public:
    TWatchdog(TIdHTTP& AHTTP, double ASeconds)
        : FThread([this, &AHTTP, ASeconds] {
              std::unique_lock lock(FLock);
              if (!FDone.wait_for(lock, std::chrono::duration<double>(ASeconds),
                                  [this] { return FFinished; })) {
                  FFired = true;
                  AHTTP.Abort();
              }
          }) {}
    ~TWatchdog() {
        {
            std::lock_guard lock(FLock);
            FFinished = true;
        }
        FDone.notify_all();
        FThread.join();
    }
    bool Fired() {
        std::lock_guard lock(FLock);
        return FFired;
    }

private:
    std::mutex FLock;
    std::condition_variable FDone;
    bool FFinished = false;
    bool FFired = false;
    std::thread FThread;
};

void WriteError(const std::string& AText) {
    std::string text = AText;
    if (text.empty() || text.back() != '\n')
        text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

int Call(const TOptions& AOptions, const TCommandList& ACommands) {
    if (AOptions.Json)
        throw ECallUsage("--json goes with --list or --describe.");
    if (AOptions.Positional.empty())
        throw ECallUsage("No COMMAND given.\n\n" + Usage());
    if (AOptions.ShowPassword && !AOptions.Curl)
        throw ECallUsage("--show-password goes with --curl.");
    const TCommand& command = FindCommand(ACommands, AOptions.Positional[0]);
    QStringList arguments;
    for (std::size_t i = 1; i < AOptions.Positional.size(); ++i)
        arguments << QString::fromStdString(AOptions.Positional[i]);
    const TCallGrid grid = CallGrid(command, !AOptions.Legacy, arguments);

    TDefaults defaults;
    if (!AOptions.Force) {
        const QString version = AOptions.ServerVersion
                                    ? QString::fromStdString(*AOptions.ServerVersion)
                                    : defaults.Get().Version;
        if (!TrimControl(version).isEmpty())
            CheckVersions(grid, ParseVersionText(version));
    }
    const QString url = URLOf(AOptions, defaults);
    const TParamValues form = CallForm(grid, PasswordOf(AOptions, defaults));
    if (AOptions.Curl) {
        // A pin has no counterpart among curl's options; the other choices carry over.
        const TCurlTls tls{AOptions.Tls.Insecure, QString::fromStdString(AOptions.Tls.CaCertFile)};
        std::cout << CurlLine(url, form, AOptions.ShowPassword, tls).toStdString() << '\n'
                  << std::flush;
        return std::cout ? 0 : 1;
    }

    TIdSSLIOHandlerSocketOpenSSL SSLHandler;
    SSLHandler.RecvBufferSize = AnswerReceiveSize;
    ApplyTlsCommandLine(AOptions.Tls, SSLHandler);
    TIdHTTP HTTP;
    HTTP.SetIOHandler(&SSLHandler);
    TCallRecord record(defaults.KeepHistory(), url, QString::fromStdString(command.Name),
                       form.AllLines(), !AOptions.Legacy);
    // The history keeps the bytes the tool wrote out, converted once for both.
    TAnswerWriter output(STDOUT_FILENO,
                         [&record](std::string_view AUtf8) { record.Answer(AUtf8); });
    HTTP.SetBodyUTF8Sink([&output](std::string_view APiece) { output.Write(APiece); });
    int exitCode = 0;
    THistoryOutcome outcome = THistoryOutcome::Answer;
    QString errorText;
    bool answered = true;
    {
        std::optional<TWatchdog> watchdog;
        if (AOptions.Timeout)
            watchdog.emplace(HTTP, *AOptions.Timeout);
        WatchCall(&HTTP);
        try {
            HTTP.Post(url.toStdU16String(), WireLines(form));
            WatchCall(nullptr);
            output.EndLine();
        } catch (const std::exception& error) {
            WatchCall(nullptr);
            std::string message = error.what();
            if (const auto* failure = dynamic_cast<const EIdException*>(&error))
                message = failure->Message(); // whole, even with a NUL byte
            if (watchdog && watchdog->Fired())
                message = "Timed out after " + AOptions.TimeoutText + " s.";
            if (const auto* refused = dynamic_cast<const EIdHTTPProtocolException*>(&error))
                record.Answer(refused->ErrorMessage); // the body that came with the refusal
            else
                answered = false;
            exitCode = 1;
            outcome = CallInterrupt() != 0 ? THistoryOutcome::Cancelled : THistoryOutcome::Error;
            errorText = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()))
                            .replace(QChar(0), QChar(0xFFFD));
            // Cancelled is the user's own choice: no message.
            const auto* refused = dynamic_cast<const EIdOSSLCertificateRejected*>(&error);
            if (outcome == THistoryOutcome::Error)
                WriteError(refused ? RefusedCertificateMessage(*refused, "") : message);
        }
    }
    // The answer is out; the history's trouble is worth a line but changes nothing else.
    if (const QString trouble =
            record.Finish(outcome, errorText, answered ? &HTTP.Response() : nullptr);
        !trouble.isEmpty())
        WriteError("vlcallbench-call: " + trouble.toStdString());
    if (const int signal = CallInterrupt(); signal != 0)
        EndBySignal(signal);
    return exitCode;
}

} // namespace

int main(int argc, char** argv) {
    StartInterruptWatch();
    try {
        TOptions options;
        switch (ParseOptions(argc, argv, options)) {
        case TEarlyExit::Help:
            std::cout << Usage() << std::flush;
            return 0;
        case TEarlyExit::Version:
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
        return Call(options, commands);
    } catch (const ECallUsage& error) {
        WriteError(error.what());
        return 2;
    }
}
