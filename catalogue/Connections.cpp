#include "CatalogueTable.h"

namespace catalogue {
namespace {

constexpr ParamRow ConnectionsGetParams[] = {
    {"SessionID", V(2, 10), Open, "session ID number (required)."},
};

constexpr ParamRow ConnectionsListParams[] = {
    {"Fields", V(2, 10), Open,
     "a comma-separated list including any of these fields: SessionID, Status, Player, Lang, PC, "
     "IP, Proxy, Connect, Login, LastAction, PacketsIn, PacketsOut."},
};

constexpr ParamRow ConnectionsMessageParams[] = {
    {"SessionID", V(2, 10), Open, "session ID number (required)."},
    {"Message", V(2, 10), Open, "text of message to send (required)."},
};

constexpr ParamRow ConnectionsTerminateParams[] = {
    {"SessionID", V(2, 10), Open, "session ID number (required)."},
};

constexpr CommandRow ConnectionsCommands[] = {
    {"ConnectionsGet", V(2, 10), Open, "Retrieves values associated with the specified connection.",
     ParamTables<ConnectionsGetParams>, Read},
    {"ConnectionsList", V(2, 10), Open,
     "Retrieves the list of all current connections. Calling this with no parameters will just "
     "return the number of connections. Set the Fields parameter to a comma separated list (no "
     "spaces) of field names that you want returned.",
     ParamTables<ConnectionsListParams>, Read},
    {"ConnectionsMessage", V(2, 10), Open,
     "Send a popup message to the specified connection. This is equivalent to using the Message "
     "button on the Connections tab in the server console.",
     ParamTables<ConnectionsMessageParams>, Change},
    {"ConnectionsTerminate", V(2, 10), Open,
     "Terminates the connection for the specified connection ID.",
     ParamTables<ConnectionsTerminateParams>, Remove},
};

} // namespace

const GroupRow& ConnectionsGroup() {
    static const GroupRow group{
        "Connections", "This group of API calls are used for player connection related functions.",
        ConnectionsCommands};
    return group;
}

} // namespace catalogue
