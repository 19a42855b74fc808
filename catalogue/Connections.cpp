#include "CatalogueTable.h"

namespace catalogue {

const GroupRow& ConnectionsGroup() {
    static const GroupRow group{
        "Connections",
        "This group of API calls are used for player connection related functions.",
        {},
    };
    return group;
}

} // namespace catalogue
