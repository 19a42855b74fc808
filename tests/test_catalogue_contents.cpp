#include "BeforeCopy.h"
#include "Catalogue.h"
#include "Command.h"
#include "Version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Built once: the catalogue never changes after it is made.
const TCommandList& Catalogue() {
    static const TCommandList commands = [] {
        TCommandList list;
        AppendCatalogue(list);
        return list;
    }();
    return commands;
}

const TCommand& Find(std::string_view AName) {
    for (const auto& entry : Catalogue())
        if (!entry->Header && entry->Name == AName)
            return *entry;
    throw std::runtime_error("no command " + std::string(AName));
}

// The own parameters of a command, without the four standard ones.
std::vector<const TParam*> Own(const TCommand& ACommand) {
    std::vector<const TParam*> params;
    for (std::size_t i = 4; i < ACommand.Params.size(); ++i)
        params.push_back(ACommand.Params[i].get());
    return params;
}

const TParam& OwnParam(const TCommand& ACommand, std::string_view AName) {
    for (const TParam* param : Own(ACommand))
        if (param->Name == AName)
            return *param;
    throw std::runtime_error(ACommand.Name + " has no parameter " + std::string(AName));
}

// "2.10+" or "2.25 to 4.99", as the tables below write ranges.
std::string Range(Version AVerMin, Version AVerMax) {
    return AVerMax == OpenEnded ? FormatVersion(AVerMin) + "+"
                                : FormatVersion(AVerMin) + " to " + FormatVersion(AVerMax);
}

std::string Range(const TParam& AParam) {
    return Range(AParam.VerMin, AParam.VerMax);
}

std::string Lower(std::string AText) {
    std::transform(AText.begin(), AText.end(), AText.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return AText;
}

} // namespace

// The whole catalogue in order, one row per entry, group headers and commands alike: its
// position, name, version range and number of own parameters. The table is written down
// independently of the group sources, so a slip in one of them (a command moved, renamed or given
// the wrong range) shows here.
TEST(CatalogueContents, MatchesThePositionTables) {
    struct Row {
        std::size_t Position;
        bool Header;
        const char* Name;
        const char* Range;
        std::size_t OwnParams;
    };
    const Row rows[] = {
        {0, true, "Accounts", "2.10+", 0},
        {1, false, "AccountsAdd", "2.10+", 45},
        {2, false, "AccountsDecBalance", "2.10+", 3},
        {3, false, "AccountsDecBalance2", "6.00+", 3},
        {4, false, "AccountsDelete", "2.10+", 1},
        {5, false, "AccountsEdit", "2.10+", 44},
        {6, false, "AccountsGet", "2.10+", 1},
        {7, false, "AccountsIncBalance", "2.10+", 2},
        {8, false, "AccountsIncBalance2", "6.00+", 2},
        {9, false, "AccountsList", "2.10+", 2},
        {10, false, "AccountsNotes", "5.19+", 3},
        {11, false, "AccountsPassword", "3.00+", 2},
        {12, false, "AccountsPermission", "4.25+", 3},
        {13, false, "AccountsSearch", "5.06+", 1},
        {14, false, "AccountsSessionKey", "2.63+", 1},
        {15, false, "AccountsTicket", "5.00+", 3},
        {16, false, "AccountsTransactions", "7.00+", 4},
        {17, false, "AccountsVerifyKey", "7.00+", 2},
        {18, true, "Blacklist", "2.10+", 0},
        {19, false, "BlacklistAdd", "2.10+", 6},
        {20, false, "BlacklistDelete", "2.10+", 2},
        {21, false, "BlacklistEdit", "2.10+", 8},
        {22, false, "BlacklistGet", "2.10+", 2},
        {23, false, "BlacklistList", "2.10+", 1},
        {24, true, "Connections", "2.10+", 0},
        {25, false, "ConnectionsGet", "2.10+", 1},
        {26, false, "ConnectionsList", "2.10+", 1},
        {27, false, "ConnectionsMessage", "2.10+", 2},
        {28, false, "ConnectionsTerminate", "2.10+", 1},
        {29, true, "Logs", "2.10+", 0},
        {30, false, "LogsAddEvent", "2.10+", 0},
        {31, false, "LogsCallback", "5.17+", 3},
        {32, false, "LogsError", "2.35+", 3},
        {33, false, "LogsEvent", "2.35+", 3},
        {34, false, "LogsHandHistory", "2.35+", 5},
        {35, false, "LogsLobbyChat", "2.80+", 3},
        {36, true, "Ring Games", "2.10+", 0},
        {37, false, "RingGamesAdd", "2.10+", 54},
        {38, false, "RingGamesDelete", "2.10+", 1},
        {39, false, "RingGamesEdit", "2.10+", 55},
        {40, false, "RingGamesEject", "6.00+", 2},
        {41, false, "RingGamesGet", "2.10+", 1},
        {42, false, "RingGamesList", "2.10+", 1},
        {43, false, "RingGamesMessage", "2.10+", 2},
        {44, false, "RingGamesOffline", "2.10+", 2},
        {45, false, "RingGamesOnline", "2.10+", 1},
        {46, false, "RingGamesOpen", "4.05+", 2},
        {47, false, "RingGamesPause", "2.10+", 2},
        {48, false, "RingGamesPlaying", "2.20+", 1},
        {49, false, "RingGamesResume", "2.10+", 1},
        {50, false, "RingGamesStart", "6.23+", 1},
        {51, false, "RingGamesWaiting", "2.20+", 1},
        {52, true, "System", "2.10+", 0},
        {53, false, "SystemAccount", "5.00+", 3},
        {54, false, "SystemAccount2", "6.00+", 3},
        {55, false, "SystemBalance", "4.42+", 0},
        {56, false, "SystemBalance2", "6.00+", 0},
        {57, false, "SystemGet", "2.10+", 1},
        {58, false, "SystemEntryFeeDec", "2.25 to 4.99", 1},
        {59, false, "SystemEntryFeeGet", "2.25 to 4.99", 0},
        {60, false, "SystemEntryFeeInc", "2.25 to 4.99", 1},
        {61, false, "SystemEntryFeeSet", "2.25 to 4.99", 1},
        {62, false, "SystemLobbyMessage", "3.00+", 2},
        {63, false, "SystemRakeDec", "2.25 to 4.99", 1},
        {64, false, "SystemRakeGet", "2.25 to 4.99", 0},
        {65, false, "SystemRakeInc", "2.25 to 4.99", 1},
        {66, false, "SystemRakeSet", "2.25 to 4.99", 1},
        {67, false, "SystemReboot", "2.75+", 0},
        {68, false, "SystemSet", "2.10+", 2},
        {69, false, "SystemStats", "2.25+", 0},
        {70, true, "Tournaments", "2.10+", 0},
        {71, false, "TournamentsAdd", "2.10+", 84},
        {72, false, "TournamentsDelete", "2.10+", 1},
        {73, false, "TournamentsEdit", "2.10+", 85},
        {74, false, "TournamentsGet", "2.10+", 1},
        {75, false, "TournamentsList", "2.10+", 1},
        {76, false, "TournamentsMessage", "2.10+", 2},
        {77, false, "TournamentsOffline", "2.10+", 2},
        {78, false, "TournamentsOnline", "2.10+", 1},
        {79, false, "TournamentsOpen", "4.05+", 3},
        {80, false, "TournamentsPause", "2.10+", 2},
        {81, false, "TournamentsPlaying", "2.20+", 1},
        {82, false, "TournamentsRegister", "2.35+", 3},
        {83, false, "TournamentsRemoveNoShows", "2.50+", 1},
        {84, false, "TournamentsResults", "2.10+", 5},
        {85, false, "TournamentsResume", "2.10+", 1},
        {86, false, "TournamentsStart", "2.10+", 1},
        {87, false, "TournamentsStats", "4.48+", 1},
        {88, false, "TournamentsUnregister", "2.10+", 2},
        {89, false, "TournamentsWaiting", "2.10+", 1},
    };
    const TCommandList& commands = Catalogue();
    ASSERT_EQ(commands.size(), std::size(rows));
    std::size_t own = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        ASSERT_LT(row.Position, commands.size());
        const TCommand& entry = *commands[row.Position];
        EXPECT_EQ(entry.Header, row.Header);
        EXPECT_EQ(entry.Name, row.Name);
        EXPECT_EQ(Range(entry.VerMin, entry.VerMax), row.Range);
        const std::size_t standard = row.Header ? 0 : 4;
        EXPECT_EQ(entry.Params.size(), standard + row.OwnParams);
        own += entry.Params.size() - standard;
    }
    EXPECT_EQ(own, 505u);
}

TEST(CatalogueContents, HeadersCommandsAndParameterTotals) {
    const TCommandList& commands = Catalogue();
    ASSERT_EQ(commands.size(), 90u);
    std::vector<std::size_t> headers;
    std::size_t own = 0, all = 0;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (commands[i]->Header)
            headers.push_back(i);
        else
            own += commands[i]->Params.size() - 4;
        all += commands[i]->Params.size();
    }
    EXPECT_EQ(headers, (std::vector<std::size_t>{0, 18, 24, 29, 36, 52, 70}));
    EXPECT_EQ(own, 505u);
    EXPECT_EQ(all, 837u);
    EXPECT_EQ(commands[0]->Name, "Accounts");
    EXPECT_FALSE(commands[89]->Header);
    EXPECT_EQ(commands[89]->Name, "TournamentsWaiting");
}

// Every command belongs to the group above it, names are unique, and every text is present.
TEST(CatalogueContents, CommandsSitUnderTheirGroupWithUniqueNames) {
    std::string prefix;
    std::set<std::string> names;
    for (const auto& entry : Catalogue()) {
        EXPECT_FALSE(entry->Help.empty()) << entry->Name;
        if (entry->Header) {
            prefix = entry->Name;
            prefix.erase(std::remove(prefix.begin(), prefix.end(), ' '), prefix.end());
            continue;
        }
        EXPECT_TRUE(entry->Name.starts_with(prefix)) << entry->Name << " under " << prefix;
        EXPECT_TRUE(names.insert(entry->Name).second) << "duplicate " << entry->Name;
    }
    EXPECT_EQ(names.size(), 83u);
}

// Send and the parameter grid match lines by name without regard to case, so two parameters
// of one command must never share a name that way.
TEST(CatalogueContents, ParameterNamesAreUniqueIgnoringCase) {
    for (const auto& entry : Catalogue()) {
        std::set<std::string> names;
        for (const auto& param : entry->Params) {
            EXPECT_FALSE(param->Name.empty()) << entry->Name;
            EXPECT_FALSE(param->Help.empty()) << entry->Name << "." << param->Name;
            EXPECT_TRUE(names.insert(Lower(param->Name)).second)
                << entry->Name << " repeats " << param->Name;
        }
    }
}

// Every own range lies inside its command's, so clamping must leave them alone, and none may be
// inverted.
TEST(CatalogueContents, OwnParametersLieInsideTheirCommand) {
    for (const auto& entry : Catalogue())
        for (const TParam* param : Own(*entry)) {
            EXPECT_LE(param->VerMin, param->VerMax) << entry->Name << "." << param->Name;
            EXPECT_GE(param->VerMin, entry->VerMin) << entry->Name << "." << param->Name;
            EXPECT_LE(param->VerMax, entry->VerMax) << entry->Name << "." << param->Name;
            EXPECT_EQ(param->VerMin % 100, 0) << entry->Name << "." << param->Name;
            EXPECT_EQ(param->VerMax % 100, 0) << entry->Name << "." << param->Name;
        }
}

TEST(CatalogueContents, StandardParametersAreClampedIntoEachCommand) {
    struct Case {
        const char* Command;
        const char* Standard; // Command, Password and Log
        const char* Json;
        const char* Suffix;
    };
    const Case cases[] = {
        {"TournamentsStats", "4.48+", "4.48+", " [Version 4.48+]"},
        {"SystemRakeGet", "2.25 to 4.99", "4.20 to 4.99", " [Version 2.25 to 4.99]"},
        {"SystemEntryFeeDec", "2.25 to 4.99", "4.20 to 4.99", " [Version 2.25 to 4.99]"},
        {"SystemEntryFeeGet", "2.25 to 4.99", "4.20 to 4.99", " [Version 2.25 to 4.99]"},
        {"SystemEntryFeeInc", "2.25 to 4.99", "4.20 to 4.99", " [Version 2.25 to 4.99]"},
        {"SystemEntryFeeSet", "2.25 to 4.99", "4.20 to 4.99", " [Version 2.25 to 4.99]"},
        {"SystemRakeDec", "2.25 to 4.99", "4.20 to 4.99", " [Version 2.25 to 4.99]"},
        {"SystemRakeInc", "2.25 to 4.99", "4.20 to 4.99", " [Version 2.25 to 4.99]"},
        {"SystemRakeSet", "2.25 to 4.99", "4.20 to 4.99", " [Version 2.25 to 4.99]"},
        {"AccountsAdd", "2.10+", "4.20+", " [Version 2.10+]"},
        {"AccountsDecBalance2", "6.00+", "6.00+", " [Version 6.00+]"},
        {"AccountsIncBalance2", "6.00+", "6.00+", " [Version 6.00+]"},
        {"AccountsPassword", "3.00+", "4.20+", " [Version 3.00+]"},
        {"AccountsSessionKey", "2.63+", "4.20+", " [Version 2.63+]"},
        {"LogsCallback", "5.17+", "5.17+", " [Version 5.17+]"},
        {"LogsError", "2.35+", "4.20+", " [Version 2.35+]"},
        {"LogsLobbyChat", "2.80+", "4.20+", " [Version 2.80+]"},
        {"RingGamesEject", "6.00+", "6.00+", " [Version 6.00+]"},
        {"RingGamesStart", "6.23+", "6.23+", " [Version 6.23+]"},
        {"RingGamesOpen", "4.05+", "4.20+", " [Version 4.05+]"},
        {"SystemBalance", "4.42+", "4.42+", " [Version 4.42+]"},
        {"SystemAccount", "5.00+", "5.00+", " [Version 5.00+]"},
        {"TournamentsRemoveNoShows", "2.50+", "4.20+", " [Version 2.50+]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Command);
        const TCommand& command = Find(c.Command);
        ASSERT_GE(command.Params.size(), 4u);
        const char* names[] = {"Command", "Password", "JSON", "Log"};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(command.Params[i]->Name, names[i]);
            EXPECT_EQ(Range(*command.Params[i]), i == 2 ? c.Json : c.Standard) << names[i];
        }
        EXPECT_EQ(VersionRangeText(command.VerMin, command.VerMax), c.Suffix);
    }
}

// Exactly the eight old house-account commands end before 9.99.
TEST(CatalogueContents, OnlyTheOldHouseAccountCommandsEndEarly) {
    std::vector<std::string> limited;
    for (const auto& entry : Catalogue())
        if (entry->VerMax != OpenEnded) {
            limited.push_back(entry->Name);
            EXPECT_EQ(Range(entry->VerMin, entry->VerMax), "2.25 to 4.99") << entry->Name;
        }
    EXPECT_EQ(limited,
              (std::vector<std::string>{"SystemEntryFeeDec", "SystemEntryFeeGet",
                                        "SystemEntryFeeInc", "SystemEntryFeeSet", "SystemRakeDec",
                                        "SystemRakeGet", "SystemRakeInc", "SystemRakeSet"}));
}

TEST(CatalogueContents, AllowDupeEmailOnlyInAccountsAdd) {
    std::vector<std::string> owners;
    for (const auto& entry : Catalogue())
        for (const auto& param : entry->Params)
            if (param->Name == "AllowDupeEmail")
                owners.push_back(entry->Name);
    EXPECT_EQ(owners, std::vector<std::string>{"AccountsAdd"});
    const TParam& param = OwnParam(Find("AccountsAdd"), "AllowDupeEmail");
    EXPECT_EQ(Range(param), "5.19+");
    EXPECT_EQ(Own(Find("AccountsAdd"))[28], &param); // parameter 29 of 45
}

// A name shared by two commands keeps each command's own range and help.
TEST(CatalogueContents, SharedNamesKeepEachCommandsRange) {
    struct Case {
        const char* Param;
        const char* InAdd;
        const char* InEdit;
    };
    const Case cases[] = {
        {"Balance", "4.22+", "2.10+"},
        {"LastReset", "4.22+", "2.10+"},
        {"FirstLogin", "4.22+", "2.10+"},
        {"LastLogin", "4.22+", "2.10+"},
        {"Logins", "4.22+", "2.10+"},
        {"ValCode", "3.09+", "2.10+"},
        {"Custom", "2.60 to 6.99", "2.60 to 6.99"},
    };
    const TCommand& add = Find("AccountsAdd");
    const TCommand& edit = Find("AccountsEdit");
    for (const Case& c : cases) {
        EXPECT_EQ(Range(OwnParam(add, c.Param)), c.InAdd) << c.Param;
        EXPECT_EQ(Range(OwnParam(edit, c.Param)), c.InEdit) << c.Param;
    }
    EXPECT_EQ(OwnParam(add, "Balance").Help,
              "primary account balance (optional, defaults to system setting).");
    EXPECT_EQ(OwnParam(edit, "Balance").Help,
              "primary chip balance (avoid setting this when player is logged in).");
}

namespace {

// Which of the given parameters a server version has, in order.
std::vector<std::string> InRange(const TCommand& ACommand, const std::vector<std::string>& ANames,
                                 Version AVersion) {
    std::vector<std::string> result;
    for (const std::string& name : ANames) {
        const TParam& param = OwnParam(ACommand, name);
        if (VersionInRange(AVersion, param.VerMin, param.VerMax))
            result.push_back(name);
    }
    return result;
}

} // namespace

TEST(CatalogueContents, ReplacedParametersHandOverAtTheirVersion) {
    using Names = std::vector<std::string>;
    const Names custom = {"Custom", "Custom1", "Custom2", "Custom3", "Custom4", "Custom5"};
    for (const char* command : {"AccountsAdd", "AccountsEdit"}) {
        EXPECT_EQ(InRange(Find(command), custom, MakeVersion(6, 99)), Names{"Custom"});
        EXPECT_EQ(InRange(Find(command), custom, MakeVersion(7, 0)),
                  (Names{"Custom1", "Custom2", "Custom3", "Custom4", "Custom5"}));
        EXPECT_EQ(InRange(Find(command), custom, MakeVersion(2, 59)), Names{});
    }
    for (const char* command : {"BlacklistDelete", "BlacklistEdit", "BlacklistGet"}) {
        SCOPED_TRACE(command);
        const TCommand& c = Find(command);
        EXPECT_EQ(InRange(c, {"Index", "ID"}, MakeVersion(2, 26)), Names{"Index"});
        EXPECT_EQ(InRange(c, {"Index", "ID"}, MakeVersion(2, 27)), Names{});
        EXPECT_EQ(InRange(c, {"Index", "ID"}, MakeVersion(2, 29)), Names{});
        EXPECT_EQ(InRange(c, {"Index", "ID"}, MakeVersion(2, 30)), Names{"ID"});
        EXPECT_EQ(Own(c)[0]->Name, "Index");
        EXPECT_EQ(Own(c)[1]->Name, "ID");
    }
    const TCommand& ring = Find("RingGamesAdd");
    const Names rake = {"Rake", "RakeEvery", "RakeMax", "RakePercent", "RakeCap"};
    EXPECT_EQ(InRange(ring, rake, MakeVersion(4, 99)), (Names{"Rake", "RakeEvery", "RakeMax"}));
    EXPECT_EQ(InRange(ring, rake, MakeVersion(5, 0)), (Names{"RakePercent", "RakeCap"}));
    const TParam& rakeParam = OwnParam(ring, "Rake");
    EXPECT_EQ(VersionRangeText(rakeParam.VerMin, rakeParam.VerMax), " [Version 2.20 to 4.99]");
}

TEST(CatalogueContents, ParameterOrderWhereALaterStartComesFirst) {
    const auto lobby = Own(Find("SystemLobbyMessage"));
    ASSERT_EQ(lobby.size(), 2u);
    EXPECT_EQ(lobby[0]->Name, "Player");
    EXPECT_EQ(Range(*lobby[0]), "4.11+");
    EXPECT_EQ(lobby[1]->Name, "Message");
    EXPECT_EQ(Range(*lobby[1]), "3.00+");
    const auto results = Own(Find("TournamentsResults"));
    ASSERT_EQ(results.size(), 5u);
    EXPECT_EQ(results[0]->Name, "Number");
    EXPECT_EQ(Range(*results[0]), "7.09+");
    EXPECT_EQ(results[1]->Name, "Name");
}

TEST(CatalogueContents, CommandsWithoutOwnParameters) {
    std::vector<std::string> bare;
    for (const auto& entry : Catalogue())
        if (!entry->Header && entry->Params.size() == 4)
            bare.push_back(entry->Name);
    EXPECT_EQ(bare, (std::vector<std::string>{"LogsAddEvent", "SystemBalance", "SystemBalance2",
                                              "SystemEntryFeeGet", "SystemRakeGet", "SystemReboot",
                                              "SystemStats"}));
}

namespace {

// An Edit command repeats its Add command's parameters after Name and NewName.
void ExpectEditRepeatsAdd(const char* AAdd, const char* AEdit, std::size_t AChangedAt,
                          const char* AChangedHelp) {
    SCOPED_TRACE(AEdit);
    const auto add = Own(Find(AAdd));
    const auto edit = Own(Find(AEdit));
    ASSERT_EQ(edit.size(), add.size() + 1);
    EXPECT_EQ(edit[1]->Name, "NewName");
    EXPECT_EQ(Range(*edit[1]), "2.10+");
    EXPECT_EQ(edit[0]->Name, "Name");
    EXPECT_NE(edit[0]->Help, add[0]->Help);
    for (std::size_t i = 1; i < add.size(); ++i) {
        const TParam& a = *add[i];
        const TParam& e = *edit[i + 1];
        EXPECT_EQ(e.Name, a.Name) << i;
        EXPECT_EQ(Range(e), Range(a)) << a.Name;
        if (i + 2 == AChangedAt)
            EXPECT_EQ(e.Help, AChangedHelp) << a.Name;
        else
            EXPECT_EQ(e.Help, a.Help) << a.Name;
    }
}

} // namespace

TEST(CatalogueContents, EditCommandsRepeatTheAddParameters) {
    ExpectEditRepeatsAdd("RingGamesAdd", "RingGamesEdit", 0, nullptr);
    EXPECT_EQ(Own(Find("RingGamesEdit"))[0]->Help, "table name.");
    EXPECT_EQ(Own(Find("RingGamesEdit"))[2]->Name, "Creator");
    EXPECT_EQ(Own(Find("RingGamesEdit")).back()->Name, "Note");

    ExpectEditRepeatsAdd("TournamentsAdd", "TournamentsEdit", 21,
                         "number of seats per table, from 2 to 10 (2 to 8 for Stud/Razz).");
    const auto add = Own(Find("TournamentsAdd"));
    const auto edit = Own(Find("TournamentsEdit"));
    EXPECT_EQ(edit[0]->Help, "tournament name.");
    EXPECT_EQ(add[19]->Name, "Seats");
    EXPECT_EQ(add[19]->Help, "number of seats per table, from 2 to 10.");
    EXPECT_EQ(edit[20]->Name, "Seats");

    // Payout's help is given apart from its table; both commands carry the whole of it.
    const char* payout = "payout structure in the format of \"2-4, 100.00|5-7, 65.00, 35.00|8-10, "
                         "50.00, 30.00, 20.00\". Leave blank for the default structure.";
    EXPECT_EQ(add[75]->Name, "Payout");
    EXPECT_EQ(add[75]->Help, payout);
    EXPECT_EQ(OwnParam(Find("TournamentsEdit"), "Payout").Help, payout);
    for (const char* command : {"TournamentsAdd", "TournamentsEdit"}) {
        const auto params = Own(Find(command));
        const auto at = [&](const char* AName) {
            return std::find_if(params.begin(), params.end(),
                                [&](const TParam* p) { return p->Name == AName; }) -
                   params.begin();
        };
        EXPECT_EQ(at("ObserverChat"), at("PlayerChat") + 1) << command;
    }
}

// Texts are kept exactly as written in the group sources: odd spellings, missing full stops and
// blanks stay.
TEST(CatalogueContents, TextsAreKeptCharacterForCharacter) {
    struct Case {
        const char* Command;
        const char* Param; // nullptr for the command's own help
        const char* Help;
    };
    const Case cases[] = {
        {"RingGamesOnline", "Name", " table name."},
        {"RingGamesAdd", "DupeIPs",
         "set to \"Yes\" or \"No\" to allow or disallow playerswith the same IP address at the "
         "table."},
        {"RingGamesAdd", "BankSync", "\"Yes\" or \"No\"."},
        {"RingGamesAdd", "Seats", "number of seats, from 2 to 10 (2 to 8 for Stud/Razz)"},
        {"RingGamesMessage", "Name", "table name or an asterisk (*) to incldue all ring tables."},
        {"AccountsAdd", "Suspend", "YYYY-MM-DD HH:MM date format, defaults to 0000-00-00 00:00"},
        {"AccountsTransactions", "DateStart", "starting date (defaults to 0000-00-00 00:00:00)"},
        {"TournamentsResults", "Number",
         "tournament number (optional, retrieves results from cache, all other parameters "
         "ignored when used."},
        {"TournamentsAdd", "AutoChop", "Set to \"No\", \"Equal\" or \"50/50\"."},
        {"TournamentsEdit", nullptr,
         "Edits one or more settings for the specified tournament, which must be in an offline "
         "state. Fields not specified will retain their current value.)"},
        {"AccountsAdd", nullptr,
         "Adds a new player account. The player's chip balance will be set automatically to the "
         "default \"Starting balance\" specified in the system settings if not specified. "
         "\"Balance\" and \"Balance2\" parameters are returned in the response."},
    };
    for (const Case& c : cases) {
        const TCommand& command = Find(c.Command);
        EXPECT_EQ(c.Param ? OwnParam(command, c.Param).Help : command.Help, c.Help)
            << c.Command << " " << (c.Param ? c.Param : "");
    }
}

// The parameters whose values are secrets, written down here so that a mark added or lost in a
// group source shows. The history keeps them emptied and the copied command lines take them from
// shell variables, so a missing mark leaks a password.
TEST(CatalogueContents, SecretParametersAreMarked) {
    // Besides Password, which every command carries.
    const std::set<std::string> secret = {
        "AccountsAdd.PW",      "AccountsAdd.PWHash",    "AccountsEdit.PW", "AccountsEdit.PWHash",
        "AccountsPassword.PW", "AccountsVerifyKey.Key", "RingGamesAdd.PW", "RingGamesEdit.PW",
        "TournamentsAdd.PW",   "TournamentsEdit.PW",
    };
    // They speak of a password but hold none: "Yes" or "No".
    const std::set<std::string> notSecret = {
        "RingGamesAdd.Private",
        "RingGamesEdit.Private",
        "TournamentsAdd.Private",
        "TournamentsEdit.Private",
    };
    // A name or a help text that speaks of a password, its hash or a key.
    const auto speaksOfASecret = [](const TParam& AParam) {
        const std::string name = Lower(AParam.Name);
        if (name.starts_with("pw") || name.find("password") != std::string::npos ||
            name.find("key") != std::string::npos)
            return true;
        std::string word;
        for (const char c : Lower(AParam.Help) + ' ') {
            if (std::isalpha(static_cast<unsigned char>(c)) != 0) {
                word += c;
                continue;
            }
            if (word == "password" || word == "passwords" || word == "pw" || word == "key" ||
                word == "keys" || word == "hash")
                return true;
            word.clear();
        }
        return false;
    };

    std::set<std::string> marked, spoken;
    for (const auto& entry : Catalogue()) {
        if (entry->Header)
            continue;
        EXPECT_TRUE(entry->Params[1]->Secret) << entry->Name << ".Password";
        for (std::size_t i = 0; i < entry->Params.size(); ++i) {
            const TParam& param = *entry->Params[i];
            if (i != 1 && param.Secret)
                marked.insert(entry->Name + "." + param.Name);
            if (i >= 4 && speaksOfASecret(param))
                spoken.insert(entry->Name + "." + param.Name);
        }
    }
    EXPECT_EQ(marked, secret);
    // Every parameter that speaks of a secret is either marked or known to hold none, and the
    // rule finds every marked one, so it would catch a new password added without its mark.
    std::set<std::string> judged = secret;
    judged.insert(notSecret.begin(), notSecret.end());
    EXPECT_EQ(spoken, judged);
}

// What each command does to the server, written down here so that a class changed or forgotten
// in a group source shows: the production guard asks before anything that is not a read.
TEST(CatalogueContents, EveryCommandHasItsClass) {
    const std::map<TCommandClass, std::set<std::string>> expected = {
        {TCommandClass::Read, {"AccountsGet",        "AccountsList",         "AccountsPassword",
                               "AccountsSearch",     "AccountsTransactions", "AccountsVerifyKey",
                               "BlacklistGet",       "BlacklistList",        "ConnectionsGet",
                               "ConnectionsList",    "LogsCallback",         "LogsError",
                               "LogsEvent",          "LogsHandHistory",      "LogsLobbyChat",
                               "RingGamesGet",       "RingGamesList",        "RingGamesPlaying",
                               "RingGamesWaiting",   "SystemBalance",        "SystemBalance2",
                               "SystemGet",          "SystemEntryFeeGet",    "SystemRakeGet",
                               "SystemStats",        "TournamentsGet",       "TournamentsList",
                               "TournamentsPlaying", "TournamentsResults",   "TournamentsStats",
                               "TournamentsWaiting"}},
        {TCommandClass::Change,
         {"AccountsAdd",         "AccountsEdit",      "AccountsNotes",    "AccountsPermission",
          "AccountsSessionKey",  "AccountsTicket",    "BlacklistAdd",     "BlacklistEdit",
          "ConnectionsMessage",  "LogsAddEvent",      "RingGamesAdd",     "RingGamesEdit",
          "RingGamesMessage",    "RingGamesOffline",  "RingGamesOnline",  "RingGamesOpen",
          "RingGamesPause",      "RingGamesResume",   "RingGamesStart",   "SystemLobbyMessage",
          "SystemSet",           "TournamentsAdd",    "TournamentsEdit",  "TournamentsMessage",
          "TournamentsOffline",  "TournamentsOnline", "TournamentsOpen",  "TournamentsPause",
          "TournamentsRegister", "TournamentsResume", "TournamentsStart", "TournamentsUnregister"}},
        {TCommandClass::Money,
         {"AccountsDecBalance", "AccountsDecBalance2", "AccountsIncBalance", "AccountsIncBalance2",
          "SystemAccount", "SystemAccount2", "SystemEntryFeeDec", "SystemEntryFeeInc",
          "SystemEntryFeeSet", "SystemRakeDec", "SystemRakeInc", "SystemRakeSet"}},
        {TCommandClass::Remove,
         {"AccountsDelete", "BlacklistDelete", "ConnectionsTerminate", "RingGamesDelete",
          "RingGamesEject", "SystemReboot", "TournamentsDelete", "TournamentsRemoveNoShows"}},
    };
    std::set<std::string> listed;
    for (const auto& [commandClass, names] : expected)
        for (const std::string& name : names)
            EXPECT_TRUE(listed.insert(name).second) << name << " listed twice";
    std::set<std::string> commands;
    for (const auto& entry : Catalogue()) {
        if (entry->Header)
            continue;
        commands.insert(entry->Name);
        const auto found = std::find_if(expected.begin(), expected.end(), [&](const auto& AClass) {
            return AClass.second.contains(entry->Name);
        });
        ASSERT_NE(found, expected.end()) << entry->Name << " has no expected class";
        EXPECT_EQ(entry->Class, found->first)
            << entry->Name << " is " << CommandClassName(entry->Class) << ", expected "
            << CommandClassName(found->first);
    }
    EXPECT_EQ(commands.size(), 83U);
    EXPECT_EQ(commands, listed);

    // Rules by the name's last word, which a new command is held to as well.
    const auto endsWith = [](const std::string& AName, std::initializer_list<const char*> AWords) {
        return std::any_of(AWords.begin(), AWords.end(),
                           [&](const char* AWord) { return AName.ends_with(AWord); });
    };
    const auto ruled = [&](const std::string& AName) -> std::optional<TCommandClass> {
        if (endsWith(AName, {"Delete", "RemoveNoShows", "Reboot", "Terminate"}))
            return TCommandClass::Remove;
        if (endsWith(AName, {"Get", "List", "Stats", "Playing", "Waiting", "Search", "Results"}) ||
            AName.starts_with("SystemBalance") ||
            (AName.starts_with("Logs") && AName != "LogsAddEvent"))
            return TCommandClass::Read;
        if (AName.find("IncBalance") != std::string::npos ||
            AName.find("DecBalance") != std::string::npos ||
            (endsWith(AName, {"Inc", "Dec", "Set"}) && AName != "SystemSet"))
            return TCommandClass::Money;
        if (endsWith(AName, {"Add", "Edit", "Online", "Offline", "Pause", "Resume", "Start",
                             "Message", "Register"}))
            return TCommandClass::Change;
        return std::nullopt;
    };
    int judgedByRule = 0;
    for (const auto& entry : Catalogue()) {
        const std::optional<TCommandClass> rule =
            entry->Header ? TCommandClass::Read : ruled(entry->Name);
        if (!rule)
            continue;
        ++judgedByRule;
        EXPECT_EQ(entry->Class, *rule) << entry->Name;
    }
    EXPECT_GT(judgedByRule, 70);
}

TEST(CatalogueContents, ClassNames) {
    EXPECT_STREQ(CommandClassName(TCommandClass::Read), "read");
    EXPECT_STREQ(CommandClassName(TCommandClass::Change), "change");
    EXPECT_STREQ(CommandClassName(TCommandClass::Money), "money");
    EXPECT_STREQ(CommandClassName(TCommandClass::Remove), "remove");
}

// The before copies: each change, money or remove command is paired with a read of its own group
// that takes every key the change names, in the same versions; every Delete and Edit of a group
// with a Get is paired. A command that reads as well as changes is its own read, with the values
// that make it one (parameters of its own).
TEST(CatalogueContents, BeforeCopiesReadWhatTheChangeAlters) {
    std::set<std::string> paired;
    for (const TBeforeCopy& row : BeforeCopies()) {
        SCOPED_TRACE(row.Command);
        const TCommand& change = Find(row.Command);
        const TCommand& read = Find(row.Read);
        EXPECT_NE(change.Class, TCommandClass::Read);
        const bool itself = &read == &change;
        EXPECT_EQ(read.Class == TCommandClass::Read, !itself);
        EXPECT_EQ(itself, !row.Fixed.empty());
        for (const std::string_view line : row.Fixed) {
            ASSERT_NE(line.find('='), std::string_view::npos) << line;
            EXPECT_NO_THROW(OwnParam(read, line.substr(0, line.find('=')))) << line;
        }
        EXPECT_EQ(BeforeCopyOf(row.Command), &row);
        EXPECT_TRUE(paired.insert(row.Command).second);
        // The same group: the read's name begins as the change's does.
        const std::string group = read.Name.substr(0, read.Name.find("Get"));
        EXPECT_TRUE(change.Name.starts_with(group)) << group;
        EXPECT_LE(read.VerMin, change.VerMin);
        for (const char* key : row.Keys) {
            const auto has = [&](const TCommand& ACommand) {
                return std::any_of(ACommand.Params.begin(), ACommand.Params.end(),
                                   [&](const auto& AParam) { return AParam->Name == key; });
            };
            EXPECT_TRUE(has(change)) << key;
            EXPECT_TRUE(has(read)) << key;
        }
    }
    EXPECT_EQ(BeforeCopyOf("AccountsDelete")->Read, std::string("AccountsGet"));
    EXPECT_EQ(BeforeCopyOf("AccountsGet"), nullptr);
    EXPECT_EQ(BeforeCopyOf("SystemReboot"), nullptr);
    for (const char* name :
         {"AccountsDelete", "AccountsEdit", "BlacklistDelete", "BlacklistEdit", "RingGamesDelete",
          "RingGamesEdit", "TournamentsDelete", "TournamentsEdit", "SystemSet", "SystemAccount",
          "SystemAccount2", "AccountsNotes"})
        EXPECT_TRUE(paired.contains(name)) << name;
    EXPECT_EQ(BeforeCopyOf("SystemAccount2")->Keys.size(), 1U);
    EXPECT_STREQ(BeforeCopyOf("SystemAccount2")->Keys[0], "Account");
    EXPECT_STREQ(BeforeCopyOf("AccountsNotes")->Keys[0], "Player");
}
