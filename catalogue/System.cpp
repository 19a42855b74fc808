#include "CatalogueTable.h"

namespace catalogue {

const GroupRow& SystemGroup() {
    static const GroupRow group{
        "System",
        "This group of API calls deals with system settings, statistics, and house accounts.",
        {},
    };
    return group;
}

} // namespace catalogue
