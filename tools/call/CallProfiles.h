#pragma once

#include <array>
#include <string>

struct TCallOptions;

// The options of the server profiles, for the message that suggests a misspelt one.
inline constexpr std::array<const char*, 6> ProfileOptionNames = {
    "--profile", "--profiles", "--profile-add", "--profile-remove", "--production", "--yes"};

// Takes AArgument (argv[AIndex]) when it is one of the profile options, with its value from
// "=value" or the next argument; false for any other option. Throws ECallUsage for a missing or
// unwanted value.
bool TakeProfileOption(const std::string& AArgument, int& AIndex, int argc, char** argv,
                       TCallOptions& AOptions);

// Whether the command line manages profiles (--profiles, --profile-add, --profile-remove) rather
// than making a call.
bool ManagesProfiles(const TCallOptions& AOptions);

// Lists, adds or removes profiles in the window's settings file; the exit status. Throws
// ECallUsage for what is wrong on the command line or refused by the settings file.
int RunProfileCommand(const TCallOptions& AOptions);
