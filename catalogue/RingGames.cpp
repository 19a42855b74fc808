#include "CatalogueTable.h"

namespace catalogue {
namespace {

// The table settings that RingGamesEdit shares with RingGamesAdd.
constexpr ParamRow RingGamesAddName[] = {
    {"Name", V(2, 10), Open, "a unique name, from 1 to 40 characters."},
};

constexpr ParamRow RingGameSettings[] = {
    {"Creator", V(7, 0), Open, "admin name that created account."},
    {"Description", V(2, 70), Open, "optional table description, up to 500 characters."},
    {"Auto", V(2, 10), Open, "set to \"Yes\" or \"No\" to put game online when server is started."},
    {"Game", V(2, 10), Open, "specify \"Limit Hold'em\", \"Pot Limit Hold'em\", etc."},
    {"MixedList", V(5, 0), Open,
     "if Game is set to \"Mixed\" then this field must contain a comma-separated list of two or "
     "more game types."},
    {"MixedHands", V(6, 5), Open, "hands per mixed round, from 0 to 1000."},
    {"PW", V(2, 10), Open, "(optional) specify a password needed to take a seat.", Secret},
    {"Private", V(2, 60), Open,
     "set to \"Yes\" to prevent observing without the password or \"No\" to allow observers."},
    {"ObserverChat", V(2, 60), V(4, 24),
     "set to \"Yes\" to allow observer chat. Replaced by PermObserverChat in version 4.25."},
    {"PlayerChat", V(2, 94), V(4, 24),
     "set to \"Yes\" to allow player chat. Replaced by PermPlayerChat in version 4.25."},
    {"PermPlay", V(4, 25), Open, "play permission token, 15 alphanumeric characters max."},
    {"PermObserve", V(4, 25), Open, "observe permission token, 15 alphanumeric characters max."},
    {"PermPlayerChat", V(4, 25), Open,
     "player chat permission token, 15 alphanumeric characters max."},
    {"PermObserverChat", V(4, 25), Open,
     "observer chat permission token, 15 alphanumeric characters max."},
    {"SuspendChatAllIn", V(4, 33), Open, "either \"Yes\" or \"No\"."},
    {"Seats", V(2, 10), Open, "number of seats, from 2 to 10 (2 to 8 for Stud/Razz)"},
    {"StartMin", V(6, 23), Open, "minimum players needed to start"},
    {"StartCode", V(6, 23), Open, "0 to 999999"},
    {"PrimaryCurrency", V(6, 0), Open, "Yes for primary currency or No for secondary currency."},
    {"SmallestChip", V(4, 5), Open,
     "0.01, 0.05, 0.25, 1, 5, 25, 100, 500, 1000, 5000, 25000, 100000, 500000, 1000000, 5000000, "
     "25000000, 100000000, 500000000, 1000000000."},
    {"BuyInMin", V(2, 10), Open, "number of chips."},
    {"BuyInMax", V(2, 10), Open, "number of chips."},
    {"BuyInDef", V(2, 10), Open, "number of chips."},
    {"CapLimit", V(6, 0), Open, "number of chips for CL games."},
    {"Rake", V(2, 20), V(4, 99), "number of chips (replaced by RakePercent in version 5.00)."},
    {"RakeEvery", V(2, 20), V(4, 99), "number of chips (replaced by RakePercent in version 5.00)."},
    {"RakeMax", V(2, 20), V(4, 99), "number of chips (replaced by RakeCap in version 5.00)."},
    {"RakePercent", V(5, 0), Open, "percent number."},
    {"RakeCap", V(5, 0), Open, "number of chips, or 0 for no cap."},
    {"TurnClock", V(2, 10), Open, "number of seconds, from 10 to 120."},
    {"TurnWarning", V(5, 6), Open, "number of seconds, from 5 to 119."},
    {"TimeBank", V(2, 10), Open, "number of seconds, from 0 to 600."},
    {"BankSync", V(5, 6), Open, "\"Yes\" or \"No\"."},
    {"BankReset", V(4, 21), Open, "number of hands, from 0 to 999999."},
    {"DisProtect", V(4, 21), V(6, 99),
     "set to \"Yes\" or \"No\" (replaced by DisconBank in ver 7)."},
    {"DisconBank", V(7, 0), Open, "0 to 180 seconds."},
    {"SmallBlind", V(2, 10), Open, "number of chips."},
    {"BigBlind", V(2, 10), Open, "number of chips."},
    {"AllowStraddle", V(5, 0), Open, "\"Yes\" or \"No\"."},
    {"SmallBet", V(5, 0), Open, "number of chips."},
    {"BigBet", V(5, 0), Open, "number of chips."},
    {"Ante", V(5, 0), Open, "number of chips."},
    {"AnteAll", V(5, 0), Open, "\"Yes\" or \"No\"."},
    {"BringIn", V(5, 0), Open, "number of chips."},
    {"DupeIPs", V(3, 5), Open,
     "set to \"Yes\" or \"No\" to allow or disallow playerswith the same IP address at the table."},
    {"RatholeMinutes", V(4, 22), Open, "number of minutes, from 0 to 120."},
    {"RunItTwice", V(7, 0), Open, "set to \"Yes\" or \"No\"."},
    {"SitoutMinutes", V(4, 22), Open, "number of minutes, from 1 to 120."},
    {"SitoutRelaxed", V(4, 23), Open, "\"Yes\" or \"No\"."},
    {"TableGraphic", V(6, 0), Open, "path to local image file."},
    {"TableColorOn", V(7, 0), Open, "text color in #rrggbb format."},
    {"TableColorOff", V(7, 0), Open, "text color in #rrggbb format."},
    {"Note", V(6, 0), Open, "private note, 500 characters max."},
};

constexpr ParamRow RingGamesDeleteParams[] = {
    {"Name", V(2, 10), Open, "table name (required)."},
};

constexpr ParamRow RingGamesEditNames[] = {
    {"Name", V(2, 10), Open, "table name."},
    {"NewName", V(2, 10), Open, "new table name (leave blank to keep existing name)."},
};

constexpr ParamRow RingGamesEjectParams[] = {
    {"Name", V(6, 0), Open, "table name (required)."},
    {"Player", V(6, 0), Open, "player name (required)."},
};

constexpr ParamRow RingGamesGetParams[] = {
    {"Name", V(2, 10), Open, "table name (required)."},
};

constexpr ParamRow RingGamesListParams[] = {
    {"Fields", V(2, 10), Open,
     "comma-separated list (no spaces) of field names. See RingGamesAdd command for a list of "
     "field names plus Status."},
};

constexpr ParamRow RingGamesMessageParams[] = {
    {"Name", V(2, 10), Open, "table name or an asterisk (*) to incldue all ring tables."},
    {"Message", V(2, 10), Open, "text message to send."},
};

constexpr ParamRow RingGamesOfflineParams[] = {
    {"Name", V(2, 10), Open, "table name."},
    {"Now", V(2, 10), Open,
     "set to \"Yes\" to close the table immediately or \"No\" (the default) to close when the "
     "current hand is finished."},
};

constexpr ParamRow RingGamesOnlineParams[] = {
    {"Name", V(2, 10), Open, " table name."},
};

constexpr ParamRow RingGamesOpenParams[] = {
    {"Name", V(4, 5), Open, "table name."},
    {"Player", V(4, 5), Open, "player name."},
};

constexpr ParamRow RingGamesPauseParams[] = {
    {"Name", V(2, 10), Open, "table name."},
    {"Now", V(4, 21), Open,
     "set to \"Yes\" (the default) to pause the table immediately or to \"No\" to pause it once "
     "the current hand completes."},
};

constexpr ParamRow RingGamesPlayingParams[] = {
    {"Name", V(2, 20), Open, "table name."},
};

constexpr ParamRow RingGamesResumeParams[] = {
    {"Name", V(2, 10), Open, "table name."},
};

constexpr ParamRow RingGamesStartParams[] = {
    {"Name", V(6, 23), Open, "table name."},
};

constexpr ParamRow RingGamesWaitingParams[] = {
    {"Name", V(2, 20), Open, "table name."},
};

constexpr CommandRow RingGamesCommands[] = {
    {"RingGamesAdd", V(2, 10), Open,
     "Adds a new ring game table to the system. The newly created game will be in an offline "
     "state.",
     ParamTables<RingGamesAddName, RingGameSettings>, Change},
    {"RingGamesDelete", V(2, 10), Open, "Deletes the specified ring game from the system.",
     ParamTables<RingGamesDeleteParams>, Remove},
    {"RingGamesEdit", V(2, 10), Open,
     "Edits one or more properties of an offline ring game specified by the Name parameter. Fields "
     "not specified will retain their current value.",
     ParamTables<RingGamesEditNames, RingGameSettings>, Change},
    {"RingGamesEject", V(6, 0), Open,
     "Removes a player from the specified ring game or waiting list.",
     ParamTables<RingGamesEjectParams>, Remove},
    {"RingGamesGet", V(2, 10), Open, "Retrieves the settings for the specified ring game.",
     ParamTables<RingGamesGetParams>, Read},
    {"RingGamesList", V(2, 10), Open,
     "Retrieves the list of all ring games. Calling this with no parameters will just return the "
     "number of ring games. Set the Fields parameter to a comma separated list of field names that "
     "you want returned.",
     ParamTables<RingGamesListParams>, Read},
    {"RingGamesMessage", V(2, 10), Open,
     "Posts an administrator message to the chat box of the specified ring game (or to all ring "
     "games).",
     ParamTables<RingGamesMessageParams>, Change},
    {"RingGamesOffline", V(2, 10), Open,
     "Closes the specified ring game and puts it in an offline state, no longer visible in the "
     "player client.",
     ParamTables<RingGamesOfflineParams>, Change},
    {"RingGamesOnline", V(2, 10), Open,
     "Puts the specified ring game into an online state, making it available for play.",
     ParamTables<RingGamesOnlineParams>, Change},
    {"RingGamesOpen", V(4, 5), Open,
     "Opens a ring table in the player client for the specified player (who must already be logged "
     "in).",
     ParamTables<RingGamesOpenParams>, Change},
    {"RingGamesPause", V(2, 10), Open, "Pause the play in the specified ring game.",
     ParamTables<RingGamesPauseParams>, Change},
    {"RingGamesPlaying", V(2, 20), Open,
     "Retrieves the list of seated players and chip stats for the specified ring game.",
     ParamTables<RingGamesPlayingParams>, Read},
    {"RingGamesResume", V(2, 10), Open, "Resumes a paused ring game.",
     ParamTables<RingGamesResumeParams>, Change},
    {"RingGamesStart", V(6, 23), Open,
     "Manually starts the specified ring game if there at least 2 ready players.",
     ParamTables<RingGamesStartParams>, Change},
    {"RingGamesWaiting", V(2, 20), Open,
     "Retrieves the list of players in the waiting list for the specified ring game.",
     ParamTables<RingGamesWaitingParams>, Read},
};

} // namespace

const GroupRow& RingGamesGroup() {
    static const GroupRow group{
        "Ring Games", "This group of API calls deals with ring game settings and commands.",
        RingGamesCommands};
    return group;
}

} // namespace catalogue
