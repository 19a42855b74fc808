#include "CatalogueTable.h"

namespace catalogue {
namespace {

constexpr ParamRow AccountsAddParams[] = {
    {"Player", V(2, 10), Open, "player's user name, 3 to 12 characters (required)."},
    {"Creator", V(7, 0), Open, "admin name that created account."},
    {"AdminProfile", V(6, 0), Open, "0 to 15 characters (optional)."},
    {"Title", V(2, 40), Open, "0 to 15 characters (optional)."},
    {"Level", V(2, 40), Open, "0 to 50 characters (optional)."},
    {"RealName", V(2, 10), Open, "0 to 25 characters (optional)."},
    {"PW", V(2, 10), Open,
     "player's password. It will be hashed automatically (required unless PWHash is set).", Secret},
    {"PWHash", V(5, 19), Open, "player's password hash. Ignored if PW field is set.", Secret},
    {"Gender", V(2, 10), Open, "Male or Female or (beginning with ver 7) Unspecified (default)."},
    {"Location", V(2, 10), Open,
     "1 to 30 characters prior to ver 7, (now optional up to 50 characters)."},
    {"Balance", V(4, 22), Open, "primary account balance (optional, defaults to system setting)."},
    {"Balance2", V(6, 0), Open,
     "secondary account balance (optional, defaults to system setting)."},
    {"LastReset", V(4, 22), Open,
     "YYYY-MM-DD HH:MM date format (primary, optional, defaults to current date and time)."},
    {"LastReset2", V(6, 0), Open,
     "YYYY-MM-DD HH:MM date format (secondary, optional, defaults to current date and time)."},
    {"Permissions", V(4, 25), Open, "comma-separated list of permission tokens (optional)."},
    {"Tickets", V(5, 0), Open, "comma-separated list of tournament ticket tokens (optional)."},
    {"ChipsTransfer", V(4, 23), Open, "Yes or No (primary, optional, default is Yes)."},
    {"ChipsTransfer2", V(6, 0), Open, "Yes or No (secondary, optional, default is Yes)."},
    {"ChipsAccept", V(4, 23), Open, "Yes or No (primary, optional, default is Yes)."},
    {"ChipsAccept2", V(6, 0), Open, "Yes or No (secondary, optional, default is Yes)."},
    {"Suspend", V(7, 0), Open, "YYYY-MM-DD HH:MM date format, defaults to 0000-00-00 00:00"},
    {"Chat", V(2, 10), Open,
     "date in the format of YYYY-MM-DD HH:MM, representing the date and time when the player's "
     "chat privileges are enabled. You may also specify Yes for 0000-00-00 00:00 or No for "
     "9999-99-99 99:99 (optional, default is 0000-00-00 00:00)."},
    {"ChatColor1", V(2, 40), Open, "optional seated chat color, #RRGGBB format."},
    {"ChatColor2", V(2, 40), Open, "optional observer chat color, #RRGGBB format."},
    {"FirstLogin", V(4, 22), Open,
     "YYYY-MM-DD HH:MM date format (optional, defaults to 0000-00-00 00:00)."},
    {"LastLogin", V(4, 22), Open,
     "YYYY-MM-DD HH:MM date format (optional, defaults to 0000-00-00 00:00)."},
    {"Logins", V(4, 22), Open, "number of times player has logged in (optional, defaults to 0)."},
    {"Email", V(2, 10), Open, "player's email address, up to 80 characters (required)."},
    {"AllowDupeEmail", V(5, 19), Open,
     "set to Yes, No, or leave blank to use default system setting. This determines if player is "
     "allowed to have the same email address as another existing player."},
    {"ValCode", V(3, 9), Open, "8 digit hexadecimal number used for email validation (optional)."},
    {"Avatar", V(2, 10), Open,
     "avatar number from 0 to 64 (required). Use 0 when AvatarFile is set."},
    {"AvatarFile", V(2, 45), Open, "optional custom avatar file path."},
    {"Custom", V(2, 60), V(6, 99), "custom field, replaced with Custom1 to Custom5 in ver 7."},
    {"Custom1", V(7, 0), Open, "custom field #1 (optional)."},
    {"Custom2", V(7, 0), Open, "custom field #2 (optional)."},
    {"Custom3", V(7, 0), Open, "custom field #3 (optional)."},
    {"Custom4", V(7, 0), Open, "custom field #4 (optional)."},
    {"Custom5", V(7, 0), Open, "custom field #5 (optional)."},
    {"Note", V(2, 10), Open, "note field (optional)."},
    {"ERake", V(5, 0), Open, "equal primary rake contributions (optional, defaults to 0)."},
    {"ERake2", V(6, 0), Open, "equal secondary rake contributions (optional, defaults to 0)."},
    {"PRake", V(5, 0), Open, "proportional primary rake contributions (optional, defaults to 0)."},
    {"PRake2", V(6, 0), Open,
     "proportional secondary rake contributions (optional, defaults to 0)."},
    {"TFees", V(5, 0), Open, "primary tournament fee contributions (optional, defaults to 0)."},
    {"TFees2", V(6, 0), Open, "secondary tournament fee contributions (optional, defaults to 0)."},
};

constexpr ParamRow AccountsDecBalanceParams[] = {
    {"Player", V(2, 10), Open, "account name (required)."},
    {"Amount", V(2, 10), Open, "number of chips to subtract from account (required)."},
    {"Negative", V(2, 10), Open,
     "optional parameter set to \"Allow\", \"Zero\", or \"Skip\". Use Allow (the default) to let "
     "the player's balance go below 0. Use Zero to reset the account to 0 if the command results "
     "in a negative balance. Use Skip to not subtract any chips if the result would be a negative "
     "balance."},
};

constexpr ParamRow AccountsDecBalance2Params[] = {
    {"Player", V(6, 0), Open, "account name (required)."},
    {"Amount", V(6, 0), Open, "number of chips to subtract from account (required)."},
    {"Negative", V(6, 0), Open,
     "optional parameter set to \"Allow\", \"Zero\", or \"Skip\". Use Allow (the default) to let "
     "the player's balance go below 0. Use Zero to reset the account to 0 if the command results "
     "in a negative balance. Use Skip to not subtract any chips if the result would be a negative "
     "balance."},
};

constexpr ParamRow AccountsDeleteParams[] = {
    {"Player", V(2, 10), Open, "account name to delete (required)."},
};

constexpr ParamRow AccountsEditParams[] = {
    {"Player", V(2, 10), Open, "account name (required)."},
    {"Creator", V(7, 0), Open, "admin name that created account."},
    {"AdminProfile", V(6, 0), Open, "0 to 15 characters (optional)."},
    {"Title", V(2, 40), Open, "0 to 15 characters."},
    {"Level", V(2, 40), Open, "0 to 50 characters."},
    {"RealName", V(2, 10), Open, "0 to 25 characters."},
    {"PW", V(2, 10), Open, "player's password. It will be hashed automatically.", Secret},
    {"PWHash", V(5, 19), Open, "player's password hash. Ignored if PW field is set.", Secret},
    {"Gender", V(2, 10), Open, "Male or Female or (beginning with ver 7) Unspecified (default)."},
    {"Location", V(2, 10), Open,
     "1 to 30 characters prior to ver 7, (now optional up to 50 characters)."},
    {"Balance", V(2, 10), Open,
     "primary chip balance (avoid setting this when player is logged in)."},
    {"Balance2", V(6, 0), Open,
     "secondary account balance (avoid setting this when player is logged in)."},
    {"LastReset", V(2, 10), Open, "YYYY-MM-DD HH:MM date format, primary."},
    {"LastReset2", V(6, 0), Open, "YYYY-MM-DD HH:MM date format, secondary."},
    {"Permissions", V(4, 25), Open, "comma-separated list of permission tokens."},
    {"Tickets", V(5, 0), Open, "comma-separated list of tournament ticket tokens (optional)."},
    {"ChipsTransfer", V(4, 23), Open, "Yes or No, primary."},
    {"ChipsTransfer2", V(6, 0), Open, "Yes or No, secondary."},
    {"ChipsAccept", V(4, 23), Open, "Yes or No, primary."},
    {"ChipsAccept2", V(6, 0), Open, "Yes or No, secondary."},
    {"Suspend", V(7, 0), Open, "YYYY-MM-DD HH:MM date format, defaults to 0000-00-00 00:00"},
    {"Chat", V(2, 10), Open,
     "date in the format of YYYY-MM-DD HH:MM, representing the date and time when the player's "
     "chat privileges are enabled. You may also specify Yes for 0000-00-00 00:00 or No for "
     "9999-99-99 99:99 (optional, default is 0000-00-00 00:00)."},
    {"ChatColor1", V(2, 40), Open, "optional seated chat color, #RRGGBB format."},
    {"ChatColor2", V(2, 40), Open, "optional observer chat color, #RRGGBB format."},
    {"FirstLogin", V(2, 10), Open, "YYYY-MM-DD HH:MM date format."},
    {"LastLogin", V(2, 10), Open, "YYYY-MM-DD HH:MM date format."},
    {"Logins", V(2, 10), Open, "number of times player has logged in."},
    {"Email", V(2, 10), Open, "player's email address, up to 80 characters."},
    {"ValCode", V(2, 10), Open, "8 digit hexadecimal number used for email validation."},
    {"Avatar", V(2, 10), Open, "avatar number from 0 to 64, use 0 when setting AvatarFile."},
    {"AvatarFile", V(2, 45), Open, "optional custom avatar file path."},
    {"Custom", V(2, 60), V(6, 99), "custom field, replaced with Custom1 to Custom5 in ver 7."},
    {"Custom1", V(7, 0), Open, "custom field #1 (optional)."},
    {"Custom2", V(7, 0), Open, "custom field #2 (optional)."},
    {"Custom3", V(7, 0), Open, "custom field #3 (optional)."},
    {"Custom4", V(7, 0), Open, "custom field #4 (optional)."},
    {"Custom5", V(7, 0), Open, "custom field #5 (optional)."},
    {"Note", V(2, 10), Open, "note field."},
    {"ERake", V(5, 0), Open, "equal rake contributions, primary."},
    {"ERake2", V(6, 0), Open, "equal rake contributions, secondary."},
    {"PRake", V(5, 0), Open, "proportional rake contributions, primary."},
    {"PRake2", V(6, 0), Open, "proportional rake contributions, secondary."},
    {"TFees", V(5, 0), Open, "tournament fee contributions, primary."},
    {"TFees2", V(6, 0), Open, "tournament fee contributions, secondary."},
};

constexpr ParamRow AccountsGetParams[] = {
    {"Player", V(2, 10), Open, "account name (required)."},
};

constexpr ParamRow AccountsIncBalanceParams[] = {
    {"Player", V(2, 10), Open, "account name (required)."},
    {"Amount", V(2, 10), Open, "number of chips to add."},
};

constexpr ParamRow AccountsIncBalance2Params[] = {
    {"Player", V(6, 0), Open, "account name (required)."},
    {"Amount", V(6, 0), Open, "number of chips to add."},
};

constexpr ParamRow AccountsListParams[] = {
    {"Players", V(4, 40), Open,
     "optional comma-separated list (no spaces) of players. Leave blank to return all accounts."},
    {"Fields", V(2, 10), Open,
     "comma-separated list (no spaces) of field names to return. See AccountsAdd for a list of "
     "field names."},
};

constexpr ParamRow AccountsNotesParams[] = {
    {"Player", V(5, 19), Open, "account name (required)."},
    {"Action", V(5, 19), Open,
     "set to Get, Set, or Add. Use \"Get\" to retrieve all notes written by the specified player. "
     "Use \"Set\" to delete all of the player's notes and replace them with those specified in the "
     "Data parameter. Use \"Add\" to add new notes for a player, only overwriting old notes if "
     "they are about the same subject."},
    {"Data", V(5, 19), Open,
     "set to a JSON Object containing a note set. This parameter is only used when Action is "
     "either \"Set\" or \"Add\"."},
};

constexpr ParamRow AccountsPasswordParams[] = {
    {"Player", V(3, 0), Open, "account name (required)."},
    {"PW", V(3, 0), Open, "password to verify.", Secret},
};

constexpr ParamRow AccountsPermissionParams[] = {
    {"Player", V(4, 25), Open, "account name (required)."},
    {"Permission", V(4, 25), Open,
     "permission token, up to 15 alphanumeric characters (required)."},
    {"Action", V(4, 25), Open,
     "set to Add, Remove, or Query. The Add and Remove actions will return a Result = Ok response "
     "if successful. The Query action will return a Query = Yes or Query = No response."},
};

constexpr ParamRow AccountsSearchParams[] = {
    {"Player", V(5, 6), Open, "account name (required)."},
};

constexpr ParamRow AccountsSessionKeyParams[] = {
    {"Player", V(2, 63), Open, "account name (required)."},
};

constexpr ParamRow AccountsTicketParams[] = {
    {"Player", V(5, 0), Open, "account name (required)."},
    {"Ticket", V(5, 0), Open, "ticket token, up to 15 alphanumeric characters (required)."},
    {"Action", V(5, 0), Open,
     "set to Add, Remove, or Query. The Add and Remove actions will return a Result = Ok response "
     "if successful. The Query action will return a Query = Yes or Query = No response."},
};

constexpr ParamRow AccountsTransactionsParams[] = {
    {"DateStart", V(7, 0), Open, "starting date (defaults to 0000-00-00 00:00:00)"},
    {"DateEnd", V(7, 0), Open, "ending date (defaults to 9999-99-99 99:99:99)"},
    {"Player", V(7, 0), Open, "account name (case sensitive, defaults to all accounts)."},
    {"UTC", V(7, 0), Open,
     "Set to Yes to return timestamps in UTC time (defaults to server time)."},
};

constexpr ParamRow AccountsVerifyKeyParams[] = {
    {"Player", V(7, 0), Open, "Player name pulled from URL parameters."},
    {"Key", V(7, 0), Open, "Key value pulled from URL parameters.", Secret},
};

constexpr CommandRow AccountsCommands[] = {
    {"AccountsAdd", V(2, 10), Open,
     "Adds a new player account. The player's chip balance will be set automatically to the "
     "default \"Starting balance\" specified in the system settings if not specified. \"Balance\" "
     "and \"Balance2\" parameters are returned in the response.",
     ParamTables<AccountsAddParams>, Change},
    {"AccountsDecBalance", V(2, 10), Open,
     "Decrements the primary account balance of a player. This command does not check to see if "
     "you have \"Allow negative balance\" turned on or not in the account settings. An \"Amount\" "
     "parameter is included in the response that specifies the number of chips that were actually "
     "subtracted. A \"Balance\" parameter is returned with the player's new chip balance. This "
     "command is safe to use even while the player is logged in and playing.",
     ParamTables<AccountsDecBalanceParams>, Money},
    {"AccountsDecBalance2", V(6, 0), Open,
     "Decrements the secondary account balance (Balance2) of a player. This command does not check "
     "to see if you have \"Allow negative balance\" turned on or not in the account settings. An "
     "\"Amount\" parameter is included in the response that specifies the number of chips that "
     "were actually subtracted. A \"Balance2\" parameter is returned with the player's new chip "
     "balance. This command is safe to use even while the player is logged in and playing.",
     ParamTables<AccountsDecBalance2Params>, Money},
    {"AccountsDelete", V(2, 10), Open, "Deletes the specified player account.",
     ParamTables<AccountsDeleteParams>, Remove},
    {"AccountsEdit", V(2, 10), Open,
     "Change one or more settings in a player account. Player is the only required parameter and "
     "cannot be changed itself. Include other parameters only for the items you want to change. "
     "Parameters not checked will retain their current values.",
     ParamTables<AccountsEditParams>, Change},
    {"AccountsGet", V(2, 10), Open,
     "Retrieve all the account settings for the specified player plus their SessionID (if logged "
     "in) and their total chips in play.",
     ParamTables<AccountsGetParams>, Read},
    {"AccountsIncBalance", V(2, 10), Open,
     "Increments the primary account balance for a specified player by the specified amount. The "
     "new balance is returned in the results. This command is safe to use while the player is "
     "logged in and playing.",
     ParamTables<AccountsIncBalanceParams>, Money},
    {"AccountsIncBalance2", V(6, 0), Open,
     "Increments the secondary account balance (Balance2) for a specified player by the specified "
     "amount. The new Balance2 is returned in the results. This command is safe to use while the "
     "player is logged in and playing.",
     ParamTables<AccountsIncBalance2Params>, Money},
    {"AccountsList", V(2, 10), Open,
     "Retrieve specified settings from multiple players. Call without Players and Fields "
     "parameters to just return the number of accounts.",
     ParamTables<AccountsListParams>, Read},
    {"AccountsNotes", V(5, 19), Open,
     "Retrieves or sets the player notes written by a specified player about other players. The "
     "purpose of this command is for data backup or account transfers to another server. Player "
     "notes should be treated as private and confidential.",
     ParamTables<AccountsNotesParams>, Change},
    {"AccountsPassword", V(3, 0), Open,
     "Verify a player's password. The password will be hashed by the server and compared to the "
     "stored hash.",
     ParamTables<AccountsPasswordParams>, Read},
    {"AccountsPermission", V(4, 25), Open,
     "Add, remove, or query for a permission token for a specified player.",
     ParamTables<AccountsPermissionParams>, Change},
    {"AccountsSearch", V(5, 6), Open,
     "Retrieve the list of tables where a specified player is seated or in the waiting list.",
     ParamTables<AccountsSearchParams>, Read},
    {"AccountsSessionKey", V(2, 63), Open,
     "Create a one-use random 80-bit session key for logging in a player. See the Startup "
     "Parameters section of the help file for instructions on using session keys.",
     ParamTables<AccountsSessionKeyParams>, Change},
    {"AccountsTicket", V(5, 0), Open,
     "Add, remove, or query for a tournament ticket token for a specified player.",
     ParamTables<AccountsTicketParams>, Change},
    {"AccountsTransactions", V(7, 0), Open, "Query player transaction database.",
     ParamTables<AccountsTransactionsParams>, Read},
    {"AccountsVerifyKey", V(7, 0), Open,
     "Verify login key for a player when using the \"Player account URL\" feature.",
     ParamTables<AccountsVerifyKeyParams>, Read},
};

} // namespace

const GroupRow& AccountsGroup() {
    static const GroupRow group{
        "Accounts", "This group of API calls are used to create, edit, and delete player accounts.",
        AccountsCommands};
    return group;
}

} // namespace catalogue
