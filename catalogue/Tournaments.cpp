#include "CatalogueTable.h"

namespace catalogue {
namespace {

// The tournament settings that TournamentsEdit shares with TournamentsAdd; only the help
// text of Seats differs between the two.
constexpr ParamRow TournamentsAddName[] = {
    {"Name", V(2, 10), Open, "unique name, from 1 to 40 characters."},
};

constexpr ParamRow TournamentSettingsBeforeSeats[] = {
    {"Creator", V(7, 0), Open, "admin name that created account."},
    {"Game", V(2, 10), Open, "specify \"Limit Hold'em\", \"Pot Limit Hold'em\", etc."},
    {"MixedList", V(5, 0), Open,
     "if Game is set to \"Mixed\" then this field must contain a comma-separated list of two or "
     "more game types."},
    {"Shootout", V(4, 28), Open,
     "set to \"Yes\" for a shootout format or \"No\" for a standard format."},
    {"Description", V(2, 70), Open, "optional tournament description, up to 500 characters."},
    {"Auto", V(2, 10), Open, "set to \"Yes\" or \"No\" to put game online when server is started."},
    {"PW", V(2, 10), Open, "(optional) specify a password needed to register.", Secret},
    {"Private", V(2, 60), Open,
     "set to \"Yes\" to prevent observing without the password or \"No\" to allow observers."},
    {"PlayerChat", V(2, 94), V(4, 24), "Yes or No. Replaced by permission system in version 4.25."},
    {"ObserverChat", V(2, 60), V(4, 24),
     "Yes or No. Replaced by permission system in version 4.25."},
    {"PermRegister", V(4, 25), Open, "register permission token, 15 alphanumeric characters max."},
    {"PermUnregister", V(4, 25), Open,
     "unregister permission token, 15 alphanumeric characters max."},
    {"PermObserve", V(4, 25), Open, "observe permission token, 15 alphanumeric characters max."},
    {"PermPlayerChat", V(4, 25), Open,
     "player chat permission token, 15 alphanumeric characters max."},
    {"PermObserverChat", V(4, 25), Open,
     "observer chat permission token, 15 alphanumeric characters max."},
    {"SuspendChatAllIn", V(4, 33), Open, "either \"Yes\" or \"No\"."},
    {"Tables", V(2, 10), V(6, 99),
     "number of tables, from 1 to 100 (replaced by MaxEntrants in ver 7)."},
    {"MaxEntrants", V(7, 0), Open, "maximum number of entrants."},
};

constexpr ParamRow TournamentsAddSeats[] = {
    {"Seats", V(2, 10), Open, "number of seats per table, from 2 to 10."},
};

constexpr ParamRow TournamentSettingsAfterSeats[] = {
    {"StartFull", V(2, 10), Open, "either \"Yes\" or \"No\"."},
    {"StartOnDemand", V(7, 28), Open, "either \"Yes\" or \"No\"."},
    {"StartMin", V(2, 10), Open, "number from 0 to 10."},
    {"StartCode", V(2, 10), Open, "number from 0 (disabled) to 999999."},
    {"StartTime", V(2, 10), Open, "yyyy-mm-dd hh:mm format (0000-00-00 00:00 = disabled)."},
    {"StartTimeHold", V(7, 14), Open, "number from 0 to 15."},
    {"RegMinutes", V(4, 41), Open, "number of minutes, 0 to 999999."},
    {"LateRegMinutes", V(4, 23), Open, "number of minutes, 0 to 999999."},
    {"LatePenalty", V(6, 24), Open, "number of chips."},
    {"MinPlayers", V(3, 6), Open, "number from 2 to 1000."},
    {"RecurMinutes", V(2, 10), Open, "number from -1 to 999999."},
    {"ResetSeconds", V(5, 15), Open, "number from 10 to 999999."},
    {"MaxRuns", V(6, 0), Open, "number from 0 to 999999."},
    {"RemoveNoShows", V(2, 51), V(4, 20), "Yes or No. Replaced with NoShowLevels in version 4.21."},
    {"NoShowLevels", V(4, 21), V(4, 35),
     "number of levels, 0 to disable. Replaced with NoShowMinutes in version 4.36."},
    {"NoShowMinutes", V(4, 36), Open, "number from 0 to 999999."},
    {"PrimaryCurrency", V(6, 0), Open, "Yes for primary currency, No for secondary currency."},
    {"BuyIn", V(2, 10), Open, "number of chips."},
    {"Bounty", V(6, 19), Open, "number of chips."},
    {"PKOBounty", V(7, 7), Open, "\"Yes\" or \"No\"."},
    {"EntryFee", V(2, 20), Open, "number of chips."},
    {"Ticket", V(5, 0), Open, "ticket token, 15 alphanumeric characters max."},
    {"TicketRequired", V(5, 0), Open, "\"Yes\" or \"No\"."},
    {"TicketFunded", V(5, 0), Open, "\"Yes\" or \"No\"."},
    {"PrizeBonus", V(2, 40), Open, "number of chips."},
    {"MultiplyBonus", V(2, 60), Open, "set to \"Yes\", \"No\", or \"Min\"."},
    {"Chips", V(2, 10), Open, "number of starting chips, from 10 to 25000."},
    {"BonusTicket", V(6, 24), Open, "ticket token, 15 alphanumeric characters max."},
    {"AddOnChips", V(4, 22), Open, "number of add-on chips, from 0 to 50000."},
    {"TurnClock", V(2, 10), Open, "number of seconds, from 10 to 120."},
    {"TurnWarning", V(5, 6), Open, "number of seconds, from 5 to 119."},
    {"TimeBank", V(2, 10), Open, "number of seconds, from 0 to 600."},
    {"BankSync", V(5, 6), Open, "\"Yes\" or \"No\"."},
    {"BankReset", V(4, 21), Open, "number of hands, from 0 to 999999."},
    {"DisProtect", V(4, 21), V(6, 99),
     "set to \"Yes\" or \"No\" (replaced by DisconBank in ver 7)."},
    {"DisconBank", V(7, 0), Open, "0 to 180 seconds."},
    {"Level", V(2, 10), Open, "level minutes, from 1 to 1000."},
    {"RebuyLevels", V(2, 50), Open, "number of levels in rebuy period, 0 to 1000."},
    {"Threshold", V(4, 21), Open, "max chips allowed before rebuy, 0 to 999999."},
    {"MaxRebuys", V(4, 19), Open, "maximum rebuys allowed (-1 = unlimited)."},
    {"RebuyCost", V(4, 35), Open, "number of chips."},
    {"RebuyFee", V(4, 19), Open, "number of chips."},
    {"MaxReentries", V(6, 27), Open, "maximum re-entries allowed (0 to 100)."},
    {"CanResign", V(7, 0), Open, "Set to \"Yes\" or \"No\"."},
    {"BreakTime", V(2, 20), Open, "number of minutes per rest break, 0 to 60."},
    {"BreakLevels", V(2, 20), V(5, 99),
     "number of levels between rest breaks, 0 to 1000. Replaced by BreakInterval in 6.00."},
    {"BreakInterval", V(6, 0), Open,
     "minutes past the hour or levels between breaks, depending on BreakSync setting."},
    {"BreakSync", V(6, 0), Open, "Yes = minutes past the hour, No = levels between breaks."},
    {"StopOnChop", V(4, 10), V(6, 99), "either \"Yes\" or \"No\" (replaced by AutoChop in ver 7)."},
    {"PropChop", V(6, 0), V(6, 99), "0 to 100 (replaced by AutoChop in ver 7)."},
    {"AutoChop", V(7, 0), Open, "Set to \"No\", \"Equal\" or \"50/50\"."},
    {"PlayerChop", V(7, 0), V(7, 12), "Set to \"Yes\" or \"No\"."},
    {"PlayerChopMax", V(7, 13), Open, "number 2 to 10 or 0."},
    {"BringInPercent", V(5, 0), Open, "number 1 to 99."},
    {"Blinds", V(2, 10), Open,
     "blind schedule in the format of \"SB1/BB1/Ante1, SB2/BB2/Ante2\", etc. Leave blank for the "
     "default schedule."},
    {"Payout", V(2, 10), Open,
     "payout structure in the format of \"2-4, 100.00|5-7, 65.00, 35.00|8-10, 50.00, 30.00, "
     "20.00\". Leave blank for the default structure."},
    {"PayoutFractions", V(6, 0), Open, "Yes or No."},
    {"PayoutTickets", V(5, 0), Open, "optional comma-separated list of ticket tokens."},
    {"UnregLogout", V(4, 21), Open,
     "\"Yes\" or \"No\", indicates if player should be unregistered if they log out."},
    {"TableGraphic", V(6, 0), Open, "path to local image file."},
    {"TableGraphicFinal", V(6, 0), Open, "path to local image file."},
    {"TableColorOn", V(7, 0), Open, "text color in #rrggbb format."},
    {"TableColorOff", V(7, 0), Open, "text color in #rrggbb format."},
    {"Note", V(6, 0), Open, "private note, 500 characters max."},
};

constexpr ParamRow TournamentsDeleteParams[] = {
    {"Name", V(2, 10), Open, "tournament name (required)."},
};

constexpr ParamRow TournamentsEditNames[] = {
    {"Name", V(2, 10), Open, "tournament name."},
    {"NewName", V(2, 10), Open, "new tournament name (leave blank to keep existing name)."},
};

constexpr ParamRow TournamentsEditSeats[] = {
    {"Seats", V(2, 10), Open, "number of seats per table, from 2 to 10 (2 to 8 for Stud/Razz)."},
};

constexpr ParamRow TournamentsGetParams[] = {
    {"Name", V(2, 10), Open, "tournament name."},
};

constexpr ParamRow TournamentsListParams[] = {
    {"Fields", V(2, 10), Open,
     "comma-separated list (no spaces) of field names. See TournamentsAdd command for a list or "
     "field names plus Status."},
};

constexpr ParamRow TournamentsMessageParams[] = {
    {"Name", V(2, 10), Open, "tournament name or use an asterisk (*) to send to all tournamments."},
    {"Message", V(2, 10), Open, "text message to send."},
};

constexpr ParamRow TournamentsOfflineParams[] = {
    {"Name", V(2, 10), Open, "tournament name."},
    {"Now", V(2, 10), Open,
     "set to \"Yes\" to close the tournament immediately or \"No\" (the default) to close after it "
     "finishes."},
};

constexpr ParamRow TournamentsOnlineParams[] = {
    {"Name", V(2, 10), Open, "tournament name."},
};

constexpr ParamRow TournamentsOpenParams[] = {
    {"Name", V(4, 5), Open, "tournament name."},
    {"Table", V(4, 5), Open, "table number (defaults to 1)."},
    {"Player", V(4, 5), Open, "player name."},
};

constexpr ParamRow TournamentsPauseParams[] = {
    {"Name", V(2, 10), Open, "tournament name."},
    {"Now", V(4, 21), Open,
     "Set to \"Yes\" (the default) to pause all tables immediately or to \"No\" to pause each "
     "table individually once the current hand completes."},
};

constexpr ParamRow TournamentsPlayingParams[] = {
    {"Name", V(2, 20), Open, "tournament name."},
};

constexpr ParamRow TournamentsRegisterParams[] = {
    {"Player", V(2, 35), Open, "player name."},
    {"Name", V(2, 35), Open, "tournament name."},
    {"Negative", V(4, 37), Open,
     "use this optional setting to bypass the system \"Allow negative balance\" setting. Set to "
     "\"Allow\" to allow the player's balance to go to a negative balance if they do not have "
     "enough chips to meet the buy-in price or to \"Skip\" to deny the registration in that case."},
};

constexpr ParamRow TournamentsRemoveNoShowsParams[] = {
    {"Name", V(2, 50), Open, "tournament name."},
};

constexpr ParamRow TournamentsResultsParams[] = {
    {"Number", V(7, 9), Open,
     "tournament number (optional, retrieves results from cache, all other parameters ignored when "
     "used."},
    {"Name", V(2, 10), Open, "tournament name."},
    {"Date", V(2, 10), Open, "date in yyyy-mm-dd format."},
    {"Start", V(5, 18), Open,
     "starting line number (from 0) to retrieve when Date parameter is used. Leave blank or use 0 "
     "to start at beginning of file. Use -1 to retrieve lines from the end of the file."},
    {"Count", V(5, 18), Open,
     "number of lines to retrieve when Date parameter is used. Leave blank or use 0 to retrieve "
     "remainder of file from the starting point."},
};

constexpr ParamRow TournamentsResumeParams[] = {
    {"Name", V(2, 10), Open, "tournament name."},
};

constexpr ParamRow TournamentsStartParams[] = {
    {"Name", V(2, 10), Open, "tournament name."},
};

constexpr ParamRow TournamentsStatsParams[] = {
    {"Name", V(4, 48), Open, "tournament name."},
};

constexpr ParamRow TournamentsUnregisterParams[] = {
    {"Player", V(2, 10), Open, "player name."},
    {"Name", V(2, 10), Open, "tournament name."},
};

constexpr ParamRow TournamentsWaitingParams[] = {
    {"Name", V(2, 10), Open, "tournament name."},
};

constexpr CommandRow TournamentsCommands[] = {
    {"TournamentsAdd", V(2, 10), Open,
     "Adds a new tournament to the system. The newly created game will be in an offline state.",
     ParamTables<TournamentsAddName, TournamentSettingsBeforeSeats, TournamentsAddSeats,
                 TournamentSettingsAfterSeats>,
     Change},
    {"TournamentsDelete", V(2, 10), Open,
     "Deletes the specified tournament from the system. The game must already be in an offline "
     "state before it can be deleted.",
     ParamTables<TournamentsDeleteParams>, Remove},
    {"TournamentsEdit", V(2, 10), Open,
     "Edits one or more settings for the specified tournament, which must be in an offline state. "
     "Fields not specified will retain their current value.)",
     ParamTables<TournamentsEditNames, TournamentSettingsBeforeSeats, TournamentsEditSeats,
                 TournamentSettingsAfterSeats>,
     Change},
    {"TournamentsGet", V(2, 10), Open, "Retrieves the settings for the specified tournament.",
     ParamTables<TournamentsGetParams>, Read},
    {"TournamentsList", V(2, 10), Open,
     "Retrieves the specified settings for all tournaments. Calling this with no parameters will "
     "just return the number of tournaments. Set the Fields parameter to a comma separated list of "
     "field names that you want returned.",
     ParamTables<TournamentsListParams>, Read},
    {"TournamentsMessage", V(2, 10), Open,
     "Posts an administrator message to the chat boxes (all tables) of the specified tournament "
     "(or to all tournaments).",
     ParamTables<TournamentsMessageParams>, Change},
    {"TournamentsOffline", V(2, 10), Open,
     "Closes the specified tournament and puts it in an offline state, no longer visible in the "
     "player client.",
     ParamTables<TournamentsOfflineParams>, Change},
    {"TournamentsOnline", V(2, 10), Open,
     "Puts the specified tournament into an online state, making it available for play.",
     ParamTables<TournamentsOnlineParams>, Change},
    {"TournamentsOpen", V(4, 5), Open,
     "Opens a tournament table in the player client for the specified player (who must already be "
     "logged in).",
     ParamTables<TournamentsOpenParams>, Change},
    {"TournamentsPause", V(2, 10), Open, "Pause the play in the specified tournament.",
     ParamTables<TournamentsPauseParams>, Change},
    {"TournamentsPlaying", V(2, 20), Open,
     "Retrieves the list of seated and finished players for the specified tournament.",
     ParamTables<TournamentsPlayingParams>, Read},
    {"TournamentsRegister", V(2, 35), Open, "Registers a player for the specified tournament.",
     ParamTables<TournamentsRegisterParams>, Change},
    {"TournamentsRemoveNoShows", V(2, 50), Open,
     "Removes all no-show players from the specified tournament. Their buyin/entry fees are "
     "removed from the prizepool and added back to their accounts. No-shows can be removed up to "
     "the point of payout distribution.",
     ParamTables<TournamentsRemoveNoShowsParams>, Remove},
    {"TournamentsResults", V(2, 10), Open,
     "Retrieves the contents of a Tournament Results file for a specified date or call without any "
     "parameters to retrieve a list of dates and tournament names where a tournament results file "
     "was created. Beginning with version 5.18, Start and Count parameters are returned (when a "
     "date is specified) indicating the line numbers (from 0) returned. Beginning with version "
     "7.09, retrieve a single result from the cache by specifying only a tournament number.",
     ParamTables<TournamentsResultsParams>, Read},
    {"TournamentsResume", V(2, 10), Open, "Resumes a paused tournament.",
     ParamTables<TournamentsResumeParams>, Change},
    {"TournamentsStart", V(2, 10), Open,
     "Manually starts the specified tournament if there at least 2 players registered.",
     ParamTables<TournamentsStartParams>, Change},
    {"TournamentsStats", V(4, 48), Open, "Retrieve basic statistics on a running tournament.",
     ParamTables<TournamentsStatsParams>, Read},
    {"TournamentsUnregister", V(2, 10), Open,
     "Removes a player from the specified tournament's registration list and refunds their account "
     "with the applicable buy-in and/or entry ticket.",
     ParamTables<TournamentsUnregisterParams>, Change},
    {"TournamentsWaiting", V(2, 10), Open,
     "Retrieves the list of registered players in the waiting list of the specified tournament.",
     ParamTables<TournamentsWaitingParams>, Read},
};

} // namespace

const GroupRow& TournamentsGroup() {
    static const GroupRow group{
        "Tournaments", "This group of API calls deals with tournament settings and commands.",
        TournamentsCommands};
    return group;
}

} // namespace catalogue
