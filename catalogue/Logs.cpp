#include "CatalogueTable.h"

namespace catalogue {
namespace {

// The line range of a dated log file, shared by every log that is chosen by its date alone.
constexpr ParamRow LogLinesParams[] = {
    {"Start", V(5, 17), Open,
     "starting line number (from 0) to retrieve when Date parameter is used. Leave blank or use 0 "
     "to start at beginning of file. Use -1 to retrieve lines from the end of the file."},
    {"Count", V(5, 17), Open,
     "number of lines to retrieve when Date parameter is used. Leave blank or use 0 to retrieve "
     "remainder of file from the starting point."},
};

constexpr ParamRow LogsCallbackParams[] = {
    {"Date", V(5, 17), Open,
     "leave blank to retrieve a list of callback log dates or specify a date in yyyy-mm-dd format "
     "to retrieve the contents of that day's callback log file."},
};

constexpr ParamRow LogsErrorParams[] = {
    {"Date", V(2, 35), Open,
     "leave blank to retrieve a list of error log dates or specify a date in yyyy-mm-dd format to "
     "retrieve the contents of that day's error log file."},
};

constexpr ParamRow LogsEventParams[] = {
    {"Date", V(2, 35), Open,
     "leave blank to retrieve a list of event log dates or specify a date in yyyy-mm-dd format to "
     "retrieve the contents of that day's event log file."},
};

constexpr ParamRow LogsHandHistoryParams[] = {
    {"Date", V(2, 35), Open, "date in yyyy-mm-dd format."},
    {"Name", V(2, 35), Open, "table name."},
    {"Start", V(5, 17), Open,
     "starting line number (from 0) to retrieve when Date and Name parameters are used. Leave "
     "blank or use 0 to start at beginning of file. Use -1 to retrieve lines from the end of the "
     "file."},
    {"Count", V(5, 17), Open,
     "number of lines to retrieve when Date and Name parameters are used. Leave blank or use 0 to "
     "retrieve remainder of file from the starting point."},
    {"Hand", V(3, 15), Open,
     "specify a hand number to retrieve a single hand instead of the entire file. This only works "
     "with the last 100 hands played, which are held in a memory cache. Leave other parameters "
     "blank when using this option."},
};

constexpr ParamRow LogsLobbyChatParams[] = {
    {"Date", V(2, 80), Open, "date in yyyy-mm-dd format."},
};

constexpr CommandRow LogsCommands[] = {
    {"LogsAddEvent",
     V(2, 10),
     Open,
     "Adds a custom note to the Event Log without performing any other command.",
     {},
     Change},
    {"LogsCallback", V(5, 17), Open,
     "Retrieves the contents of the Callback Log for a specified date or call without any "
     "parameters to retrieve a list of dates where a callback log file was created. Start and "
     "Count parameters are returned (when a date is specified) indicating the line numbers (from "
     "0) returned.",
     ParamTables<LogsCallbackParams, LogLinesParams>, Read},
    {"LogsError", V(2, 35), Open,
     "Retrieves the contents of the Error Log for a specified date or call without any parameters "
     "to retrieve a list of dates where an error log file was created. Beginning with version "
     "5.17, Start and Count parameters are returned (when a date is specified) indicating the line "
     "numbers (from 0) returned.",
     ParamTables<LogsErrorParams, LogLinesParams>, Read},
    {"LogsEvent", V(2, 35), Open,
     "Retrieves the contents of the Event Log for a specified date or call without any parameters "
     "to retrieve a list of dates where an event log file was created. Beginning with version "
     "5.17, Start and Count parameters are returned (when a date is specified) indicating the line "
     "numbers (from 0) returned.",
     ParamTables<LogsEventParams, LogLinesParams>, Read},
    {"LogsHandHistory", V(2, 35), Open,
     "Retrieves the contents of a Hand History log for a specified date or just a single hand from "
     "the cache of last 100 hands played. Call without any parameters to retrieve a list of dates "
     "and table names where a hand history file was created. Beginning with version 5.17, Start "
     "and Count parameters are returned (when a date and name are specified) indicating the line "
     "numbers (from 0) returned.",
     ParamTables<LogsHandHistoryParams>, Read},
    {"LogsLobbyChat", V(2, 80), Open,
     "Retrieves the contents of the Lobby Chat Log for a specified date or call without any "
     "parameters to retrieve a list of dates where a lobby chat log file was created. Beginning "
     "with version 5.17, Start and Count parameters are returned (when a date is specified) "
     "indicating the line numbers (from 0) returned.",
     ParamTables<LogsLobbyChatParams, LogLinesParams>, Read},
};

} // namespace

const GroupRow& LogsGroup() {
    static const GroupRow group{"Logs",
                                "This group of API calls allows you to retrieve the various log "
                                "files created by the server.",
                                LogsCommands};
    return group;
}

} // namespace catalogue
