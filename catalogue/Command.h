#pragma once

#include "Version.h"

#include <memory>
#include <string>
#include <vector>

// What sending a command does to the server: reads leave it as it was, changes alter settings
// or state, money moves balances or house accounts, removes delete or end something for good.
enum class TCommandClass { Read, Change, Money, Remove };

// The class's word as shown to the user: "read", "change", "money" or "remove".
const char* CommandClassName(TCommandClass AClass);

// One parameter of one command; created only by TCommand::AddParam.
class TParam {
public:
    std::string Name;
    std::string Help;
    Version VerMin = 0;
    Version VerMax = 0;
    // The value is a password, a password hash or a key: kept out of the history and out of the
    // command lines that repeat a call.
    bool Secret = false;
};

// One catalogue entry: a group header or an API command. A command carries the four standard
// parameters first, then its own parameters in display and send order.
class TCommand {
public:
    TCommand(bool AHeader, std::string AName, Version AVerMin, Version AVerMax, std::string AHelp);
    virtual ~TCommand() = default;
    TCommand(const TCommand&) = delete;
    TCommand& operator=(const TCommand&) = delete;

    static std::unique_ptr<TCommand> Create(bool AHeader, std::string AName, Version AVerMin,
                                            Version AVerMax, std::string AHelp);

    // Appends a parameter whose range is clamped into the command's own range.
    void AddParam(std::string AName, Version AVerMin, Version AVerMax, std::string AHelp,
                  bool ASecret = false);

    bool Header = false;
    std::string Name;
    std::vector<std::unique_ptr<TParam>> Params;
    std::string Help;
    Version VerMin = 0;
    Version VerMax = 0;
    // Group headers are reads.
    TCommandClass Class = TCommandClass::Read;
};

// The owning list of catalogue entries in display order.
using TCommandList = std::vector<std::unique_ptr<TCommand>>;
