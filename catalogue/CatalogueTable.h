#pragma once

// The shapes in which each group's source writes its contents as data. One loop
// (AppendCatalogue) walks these tables and creates every entry through TCommand.

#include "Command.h"
#include "Version.h"

#include <span>

namespace catalogue {

struct ParamRow {
    const char* Name;
    Version VerMin;
    Version VerMax;
    const char* Help;
    bool Secret = false;
};

// The last column of a parameter whose value must not be kept or shown: a row ends with
// "..., Secret}".
inline constexpr bool Secret = true;

struct CommandRow {
    const char* Name;
    Version VerMin;
    Version VerMax;
    const char* Help;
    // A command's own parameters may come from several tables, in order; this lets two
    // commands share a run of parameters instead of copying it.
    std::span<const std::span<const ParamRow>> Params;
    // What sending it does; the last column of every row.
    TCommandClass Class;
};

// The values of a command row's last column.
inline constexpr TCommandClass Read = TCommandClass::Read;
inline constexpr TCommandClass Change = TCommandClass::Change;
inline constexpr TCommandClass Money = TCommandClass::Money;
inline constexpr TCommandClass Remove = TCommandClass::Remove;

struct GroupRow {
    const char* Name;
    const char* Help;
    std::span<const CommandRow> Commands;
};

// A command's parameter list made of one or more tables, in order:
// ParamTables<EditNames, SharedSettings>. Commands without own parameters use {}.
template <const auto&... ATables>
inline constexpr std::span<const ParamRow> ParamTables[] = {std::span<const ParamRow>(ATables)...};

// Shorthands for the tables: V(2, 10) is version 2.10, Open is "no upper limit".
constexpr Version V(int AWhole, int AHundredths) {
    return MakeVersion(AWhole, AHundredths);
}
inline constexpr Version Open = OpenEnded;

// One function per group, each in its own source, in catalogue order.
const GroupRow& AccountsGroup();
const GroupRow& BlacklistGroup();
const GroupRow& ConnectionsGroup();
const GroupRow& LogsGroup();
const GroupRow& RingGamesGroup();
const GroupRow& SystemGroup();
const GroupRow& TournamentsGroup();

} // namespace catalogue
