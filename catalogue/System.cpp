#include "CatalogueTable.h"

namespace catalogue {
namespace {

constexpr ParamRow SystemAccountParams[] = {
    {"Account", V(5, 0), Open,
     "set to \"Master\", \"Ring\", \"Rake\", \"Tourney\", or \"EntryFee\"."},
    {"Action", V(5, 0), Open,
     "set to \"Get\" to get current balance, \"Set\" to set balance, \"Inc\" to increment balance, "
     "or \"Dec\" to decrement balance."},
    {"Amount", V(5, 0), Open,
     "the amount of chips to set, increment, or decrement (ignored if Action is \"Get\")."},
};

constexpr ParamRow SystemAccount2Params[] = {
    {"Account", V(6, 0), Open,
     "set to \"Master2\", \"Ring2\", \"Rake2\", \"Tourney2\", or \"EntryFee2\"."},
    {"Action", V(6, 0), Open,
     "set to \"Get\" to get current balance, \"Set\" to set balance, \"Inc\" to increment balance, "
     "or \"Dec\" to decrement balance."},
    {"Amount", V(6, 0), Open,
     "the amount of chips to set, increment, or decrement (ignored if Action is \"Get\")."},
};

constexpr ParamRow SystemGetParams[] = {
    {"Property", V(2, 10), Open, "property name (see help file for full list)."},
};

constexpr ParamRow SystemEntryFeeDecParams[] = {
    {"Amount", V(2, 25), V(4, 99), "number of chips."},
};

constexpr ParamRow SystemEntryFeeIncParams[] = {
    {"Amount", V(2, 25), V(4, 99), "number of chips."},
};

constexpr ParamRow SystemEntryFeeSetParams[] = {
    {"Amount", V(2, 25), V(4, 99), "number of chips."},
};

constexpr ParamRow SystemLobbyMessageParams[] = {
    {"Player", V(4, 11), Open,
     "optional player name (must be existing account). Leave blank to send from Administrator."},
    {"Message", V(3, 0), Open, "text message to send."},
};

constexpr ParamRow SystemRakeDecParams[] = {
    {"Amount", V(2, 25), V(4, 99), "number of chips."},
};

constexpr ParamRow SystemRakeIncParams[] = {
    {"Amount", V(2, 25), V(4, 99), "number of chips."},
};

constexpr ParamRow SystemRakeSetParams[] = {
    {"Amount", V(2, 25), V(4, 99), "number of chips."},
};

constexpr ParamRow SystemSetParams[] = {
    {"Property", V(2, 10), Open, "property name (see help file for full list)."},
    {"Value", V(2, 10), Open, "new value."},
};

constexpr CommandRow SystemCommands[] = {
    {"SystemAccount", V(5, 0), Open, "Get or set one of the five primary House Account balances.",
     ParamTables<SystemAccountParams>, Money},
    {"SystemAccount2", V(6, 0), Open,
     "Get or set one of the five secondary House Account balances.",
     ParamTables<SystemAccount2Params>, Money},
    {"SystemBalance",
     V(4, 42),
     Open,
     "Retrieve the current primary balance of all house accounts and the sum total of all player "
     "primary account balances.",
     {},
     Read},
    {"SystemBalance2",
     V(6, 0),
     Open,
     "Retrieve the current secondary balance of all house accounts and the sum total of all player "
     "secondary account balances.",
     {},
     Read},
    {"SystemGet", V(2, 10), Open, "Gets the value of the specified system property.",
     ParamTables<SystemGetParams>, Read},
    {"SystemEntryFeeDec", V(2, 25), V(4, 99),
     "Decrements the house account that collects tournament entry fees. Replaced by SystemAccount "
     "in version 5.00.",
     ParamTables<SystemEntryFeeDecParams>, Money},
    {"SystemEntryFeeGet",
     V(2, 25),
     V(4, 99),
     "Gets the balance of the house account that collects tournament entry fees. Replaced by "
     "SystemAccount in version 5.00.",
     {},
     Read},
    {"SystemEntryFeeInc", V(2, 25), V(4, 99),
     "Increments the house account that collects tournament entry fees. Replaced by SystemAccount "
     "in version 5.00.",
     ParamTables<SystemEntryFeeIncParams>, Money},
    {"SystemEntryFeeSet", V(2, 25), V(4, 99),
     "Sets the balance of the house account that collects tournament entry fees. Replaced by "
     "SystemAccount in version 5.00.",
     ParamTables<SystemEntryFeeSetParams>, Money},
    {"SystemLobbyMessage", V(3, 0), Open,
     "Posts a message to the lobby chat box in all player clients.",
     ParamTables<SystemLobbyMessageParams>, Change},
    {"SystemRakeDec", V(2, 25), V(4, 99),
     "Decrements the house account that collects ring game rake. Replaced by SystemAccount in "
     "version 5.00.",
     ParamTables<SystemRakeDecParams>, Money},
    {"SystemRakeGet",
     V(2, 25),
     V(4, 99),
     "Gets the balance of the house account that collects ring game rake. Replaced by "
     "SystemAccount in version 5.00.",
     {},
     Read},
    {"SystemRakeInc", V(2, 25), V(4, 99),
     "Increments the house account that collects ring game rake. Replaced by SystemAccount in "
     "version 5.00.",
     ParamTables<SystemRakeIncParams>, Money},
    {"SystemRakeSet", V(2, 25), V(4, 99),
     "Sets the balance of the house account that collects ring game rake. Replaced by "
     "SystemAccount in version 5.00.",
     ParamTables<SystemRakeSetParams>, Money},
    {"SystemReboot",
     V(2, 75),
     Open,
     "Reboots the server's computer. This command does not attempt an orderly shutdown of active "
     "tables and should only be used in an emergency.",
     {},
     Remove},
    {"SystemSet", V(2, 10), Open, "Sets the value of the specified system property.",
     ParamTables<SystemSetParams>, Change},
    {"SystemStats",
     V(2, 25),
     Open,
     "Retrieves various server statistics regarding logins and uptime.",
     {},
     Read},
};

} // namespace

const GroupRow& SystemGroup() {
    static const GroupRow group{
        "System",
        "This group of API calls deals with system settings, statistics, and house accounts.",
        SystemCommands};
    return group;
}

} // namespace catalogue
