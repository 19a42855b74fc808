#pragma once

#include "CallAnswerData.h"
#include "RowOptions.h"
#include "TlsCommandLine.h"

#include <optional>
#include <string>
#include <vector>

// The call tool's command line as given, before anything in it is checked against the catalogue
// or the settings.
struct TCallOptions {
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
    std::string TimeoutText; // as typed, for the message when the time is up
    TTlsCommandLine Tls;
    std::vector<std::string> Positional;
    // Server profiles (see CallProfiles.h).
    std::optional<std::string> Profile;
    bool ListProfiles = false;
    std::optional<std::string> ProfileAdd;
    std::optional<std::string> ProfileRemove;
    bool Production = false;
    bool Yes = false;
    // --before-copy / --no-before-copy: send the read that keeps what a change alters first, or
    // not; unset: as the profile says.
    std::optional<bool> BeforeCopy;
    TRowOptions Rows;
    TAnswerDataOptions Data; // taken out of the arguments before the rest (CallAnswerData.h)
};

// An option that ends the tool before anything else is done.
enum class TEarlyExit { None, ShowHelp, ShowVersion };

// Reads the arguments into AOptions ("--name value" or "--name=value"; "--" ends the options).
// Stops at -h, --help or --version and says which. Throws ECallUsage for an unknown option, a
// missing or unwanted value, a bad pin or timeout.
TEarlyExit ParseCallOptions(int argc, char** argv, TCallOptions& AOptions);

// The text --help prints.
std::string CallToolUsage();
