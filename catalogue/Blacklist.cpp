#include "CatalogueTable.h"

namespace catalogue {
namespace {

constexpr ParamRow BlacklistAddParams[] = {
    {"Date", V(2, 10), Open,
     "optional date in the format of yyyy-mm-dd hh:mm, otherwise the current date will be used."},
    {"Player", V(2, 10), Open, "player's name."},
    {"IP", V(2, 10), Open, "player's IP address."},
    {"PC", V(2, 10), Open, "player's computer ID in 8-digit hexadecimal format."},
    {"Match", V(2, 10), Open, "this is either \"All\" or \"Any\"."},
    {"Note", V(2, 10), Open, "optional note."},
};

constexpr ParamRow BlacklistDeleteParams[] = {
    {"Index", V(2, 10), V(2, 26), "blacklist Index (replaced with ID after version 2.26)."},
    {"ID", V(2, 30), Open, "blacklist ID (required)."},
};

constexpr ParamRow BlacklistEditParams[] = {
    {"Index", V(2, 10), V(2, 26), "blacklist Index (replaced with ID after version 2.26)."},
    {"ID", V(2, 30), Open, "blacklist ID (required)."},
    {"Date", V(2, 10), Open, "date in the format of yyyy-mm-dd hh:mm."},
    {"Player", V(2, 10), Open, "player's name."},
    {"IP", V(2, 10), Open, "player's IP address."},
    {"PC", V(2, 10), Open, "player's computer ID in 8-digit hexadecimal format."},
    {"Match", V(2, 10), Open, "this is either \"All\" or \"Any\"."},
    {"Note", V(2, 10), Open, "optional note."},
};

constexpr ParamRow BlacklistGetParams[] = {
    {"Index", V(2, 10), V(2, 26), "blacklist Index (replaced with ID after version 2.26)."},
    {"ID", V(2, 30), Open, "blacklist ID (required)."},
};

constexpr ParamRow BlacklistListParams[] = {
    {"Fields", V(2, 10), Open,
     "a comma-separated list including any of these fields: ID, Date, Player, IP, PC, Match, "
     "Note."},
};

constexpr CommandRow BlacklistCommands[] = {
    {"BlacklistAdd", V(2, 10), Open,
     "Adds a new record into the player blacklist. You must specify at least one parameter in the "
     "group of Player, IP, and PC.",
     ParamTables<BlacklistAddParams>, Change},
    {"BlacklistDelete", V(2, 10), Open, "Deletes a record from the player blacklist.",
     ParamTables<BlacklistDeleteParams>, Remove},
    {"BlacklistEdit", V(2, 10), Open,
     "Edit one or more fields for a blacklist item, as specified with an ID parameter. Other than "
     "the ID, only include parameters for the fields you want to change, otherwise the field will "
     "retain its current value.",
     ParamTables<BlacklistEditParams>, Change},
    {"BlacklistGet", V(2, 10), Open, "Retrieves the fields of a selected blacklist record.",
     ParamTables<BlacklistGetParams>, Read},
    {"BlacklistList", V(2, 10), Open,
     "Retrieves a list of all blacklist entries. Calling this with no parameters will just return "
     "a count of entries. Set the Fields parameter to a comma separated list (no spaces) of field "
     "names that you want returned.",
     ParamTables<BlacklistListParams>, Read},
};

} // namespace

const GroupRow& BlacklistGroup() {
    static const GroupRow group{"Blacklist",
                                "This group of API calls are used to create, edit, and delete "
                                "blacklist records, automating the manual blacklist functions "
                                "found on the Connections tab in the server console.",
                                BlacklistCommands};
    return group;
}

} // namespace catalogue
