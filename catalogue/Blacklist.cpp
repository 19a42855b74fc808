#include "CatalogueTable.h"

namespace catalogue {

const GroupRow& BlacklistGroup() {
    static const GroupRow group{
        "Blacklist",
        "This group of API calls are used to create, edit, and delete blacklist records, automating the manual blacklist functions found on the Connections tab in the server console.",
        {},
    };
    return group;
}

} // namespace catalogue
