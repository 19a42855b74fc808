#include "Command.h"

#include <utility>

namespace {

struct StandardParam {
    const char* Name;
    Version VerMin;
    Version VerMax;
    const char* Help;
    bool Secret = false;
};

// Every command carries these first; the window relies on this order.
constexpr StandardParam StandardParams[] = {
    {"Command", MakeVersion(2, 10), OpenEnded,
     "the API command name, as selected in the left side list (required)."},
    {"Password", MakeVersion(2, 10), OpenEnded,
     "the API password, automatically copied from the toolbar (required).", true},
    {"JSON", MakeVersion(4, 20), OpenEnded,
     "set this value on the bottom to indicated if the result should be returned in JSON or "
     "Legacy format."},
    {"Log", MakeVersion(2, 10), OpenEnded, "add a note to the event log record (optional)."},
};

} // namespace

const char* CommandClassName(TCommandClass AClass) {
    switch (AClass) {
    case TCommandClass::Read:
        return "read";
    case TCommandClass::Change:
        return "change";
    case TCommandClass::Money:
        return "money";
    case TCommandClass::Remove:
        return "remove";
    }
    return "read";
}

TCommand::TCommand(bool AHeader, std::string AName, Version AVerMin, Version AVerMax,
                   std::string AHelp)
    : Header(AHeader), Name(std::move(AName)), Help(std::move(AHelp)), VerMin(AVerMin),
      VerMax(AVerMax) {
    if (!Header)
        for (const StandardParam& param : StandardParams)
            AddParam(param.Name, param.VerMin, param.VerMax, param.Help, param.Secret);
}

std::unique_ptr<TCommand> TCommand::Create(bool AHeader, std::string AName, Version AVerMin,
                                           Version AVerMax, std::string AHelp) {
    return std::make_unique<TCommand>(AHeader, std::move(AName), AVerMin, AVerMax,
                                      std::move(AHelp));
}

void TCommand::AddParam(std::string AName, Version AVerMin, Version AVerMax, std::string AHelp,
                        bool ASecret) {
    auto param = std::make_unique<TParam>();
    param->Name = std::move(AName);
    param->Help = std::move(AHelp);
    param->Secret = ASecret;
    // On a tie the argument is kept; an inverted result is stored as it comes.
    param->VerMin = VerMin > AVerMin ? VerMin : AVerMin;
    param->VerMax = VerMax < AVerMax ? VerMax : AVerMax;
    Params.push_back(std::move(param));
}
