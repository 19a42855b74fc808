#include "CallOptions.h"

#include "CallArguments.h"
#include "CallProfiles.h"
#include "CallTimeout.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

std::string CallToolUsage() {
    const auto option = [](std::string_view AName, std::string_view AHelp) {
        std::string line = "  " + std::string(AName);
        line.resize(26, ' ');
        return line + std::string(AHelp) + "\n";
    };
    return "usage: vlcallbench-call [OPTIONS] COMMAND [NAME=VALUE ...]\n"
           "       vlcallbench-call --list [GROUP]\n"
           "       vlcallbench-call --describe COMMAND\n"
           "       vlcallbench-call --profiles | --profile-remove PROFILE\n"
           "       vlcallbench-call --profile-add NAME --server URL [--server-version V] "
           "[--production]\n"
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
           "  --timeout SECONDS       give up when the whole call takes longer\n"
           "  --profile PROFILE       use the server profile's address, version and password\n"
           "                          (default: the window's current profile)\n"
           "  --yes                   send a command that is not a read on a production profile\n"
           "                          without asking\n"
           "  --before-copy           first send the read that shows what a change, money or\n"
           "                          remove command alters, and keep its answer in the history\n"
           "                          (default: on production profiles; with --rows, each\n"
           "                          row's read just before its change)\n"
           "  --no-before-copy        send no such read\n" +
           option("--insecure", TTlsCommandLine::InsecureHelp) +
           option("--cacert FILE", TTlsCommandLine::CaCertHelp) +
           option("--pin " + std::string(TTlsCommandLine::PinValue), TTlsCommandLine::PinHelp) +
           "  --curl                  print a curl command line for the call instead of sending "
           "it\n"
           "  --show-password         with --curl: write the password and the other secrets\n"
           "                          themselves, not $VL_PASSWORD, $VL_PW and the like\n"
           "  --list [GROUP]          list the commands (of one group)\n"
           "  --describe COMMAND      show a command's help and parameters\n"
           "  --json                  with --list or --describe: the catalogue's JSON for that "
           "part\n"
           "  --profiles              list the server profiles\n"
           "  --profile-add NAME      add a profile: --server URL [--server-version V] "
           "[--production]\n"
           "  --production            with --profile-add: mark it a production server\n"
           "  --profile-remove PROFILE  remove a profile that is not the current one\n"
           "  -h, --help              show this text\n"
           "  --version               show the program's version\n"
           "\n"
           "An https server's certificate is checked as the window checks it, and the "
           "certificates\n"
           "trusted in the window are trusted here too.\n"
           "\n"
           "On a production profile, a command that is not a read asks before it is sent; "
           "without a\n"
           "terminal it is refused unless --yes is given. A before copy is sent only after that\n"
           "answer; when it fails, the call is sent all the same and the history says so.\n"
           "\n"
           "Exit status: 0 the answer was printed, 1 the call failed, 2 usage or validation "
           "error.\n";
}

namespace {

// Takes the value of an option that has one.
void SetValue(const std::string& AName, const std::string& AValue, TCallOptions& AOptions) {
    if (AName == "--server")
        AOptions.Server = AValue;
    else if (AName == "--server-version")
        AOptions.ServerVersion = AValue;
    else if (AName == "--password-env")
        AOptions.PasswordEnv = AValue;
    else if (AName == "--password-file")
        AOptions.PasswordFile = AValue;
    else if (AName == "--cacert")
        AOptions.Tls.CaCertFile = AValue;
    else if (AName == "--pin") {
        try {
            AOptions.Tls.Pins.push_back(PinOptionValue(AValue));
        } catch (const std::invalid_argument& error) {
            throw ECallUsage(error.what());
        }
    } else {
        const std::optional<double> seconds = TimeoutSeconds(AValue);
        if (!seconds)
            throw ECallUsage("--timeout needs a number of seconds, not '" + AValue + "'.");
        AOptions.Timeout = *seconds;
        AOptions.TimeoutText = AValue;
    }
}

// The switch an option without a value sets, other than --help, --version and --insecure.
bool& Flag(const std::string& AName, TCallOptions& AOptions) {
    return AName == "--list"       ? AOptions.List
           : AName == "--describe" ? AOptions.Describe
           : AName == "--json"     ? AOptions.Json
           : AName == "--legacy"   ? AOptions.Legacy
           : AName == "--force"    ? AOptions.Force
           : AName == "--curl"     ? AOptions.Curl
                                   : AOptions.ShowPassword;
}

} // namespace

TEarlyExit ParseCallOptions(int argc, char** argv, TCallOptions& AOptions) {
    const std::vector<std::string> flags{"--list",    "--describe", "--json",          "--legacy",
                                         "--force",   "--curl",     "--show-password", "--help",
                                         "--version", "--insecure"};
    const std::vector<std::string> valued{
        "--server",  "--server-version", "--password-env", "--password-file",
        "--timeout", "--cacert",         "--pin"};
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (!optionsEnded && argument == "-h")
            return TEarlyExit::ShowHelp;
        if (optionsEnded || argument.size() < 2 || argument.compare(0, 2, "--") != 0) {
            AOptions.Positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (TakeProfileOption(argument, i, argc, argv, AOptions))
            continue;
        std::optional<std::string> value;
        if (const std::size_t equals = argument.find('='); equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument.resize(equals);
        }
        if (ParseRowOption(argument, value, i, argc, argv, AOptions.Rows))
            continue;
        if (argument == "--before-copy" || argument == "--no-before-copy") {
            if (value)
                throw ECallUsage("Option " + argument + " takes no value.");
            AOptions.BeforeCopy = argument == "--before-copy";
            continue;
        }
        if (std::find(valued.begin(), valued.end(), argument) != valued.end()) {
            if (!value) {
                if (i + 1 >= argc)
                    throw ECallUsage("Option " + argument + " needs a value.");
                value = argv[++i];
            }
            SetValue(argument, *value, AOptions);
            continue;
        }
        if (std::find(flags.begin(), flags.end(), argument) == flags.end()) {
            std::vector<std::string> all = flags;
            all.insert(all.end(), valued.begin(), valued.end());
            all.insert(all.end(), ProfileOptionNames.begin(), ProfileOptionNames.end());
            all.insert(all.end(), {"--before-copy", "--no-before-copy"});
            const std::vector<std::string> rowNames = RowOptionNames();
            all.insert(all.end(), rowNames.begin(), rowNames.end());
            throw ECallUsage(UnknownNameMessage("option", argument, "", all));
        }
        if (value)
            throw ECallUsage("Option " + argument + " takes no value.");
        if (argument == "--help")
            return TEarlyExit::ShowHelp;
        if (argument == "--version")
            return TEarlyExit::ShowVersion;
        if (argument == "--insecure")
            AOptions.Tls.Insecure = true;
        else
            Flag(argument, AOptions) = true;
    }
    return TEarlyExit::None;
}
