#pragma once

// Finding commands by what the user types: their names first, then their parameters' names,
// then their help texts. No widgets, so the order can be checked on its own.

#include "Command.h"

#include <string>
#include <string_view>
#include <vector>

struct TCommandMatch {
    // What matched, best first.
    enum class TKind {
        ExactName,
        NamePrefix,
        NameWord,       // a word of the name: "Start" in TournamentsStart
        NamePart,       // anywhere in the name
        NameWordStarts, // beginnings of its words, in order: "tstart", "rgst"
        ExactParamName,
        ParamNamePrefix,
        ParamNamePart,
        Help, // every word of the query in the command's help or one parameter's help
    };
    int Position; // in the catalogue
    TKind Kind;
    std::string ParamName; // the parameter that matched, for the parameter and help kinds
};

// The commands (not the groups) that match AQuery, ignoring case, best match first and in
// catalogue order within a kind; every command at most once, with its best match. An empty
// query lists every command. The standard parameters that every command carries first are
// left out of the parameter matches, as they would match every command alike.
std::vector<TCommandMatch> MatchCommands(const TCommandList& ACommands, std::string_view AQuery);
