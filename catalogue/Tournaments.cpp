#include "CatalogueTable.h"

namespace catalogue {

const GroupRow& TournamentsGroup() {
    static const GroupRow group{
        "Tournaments",
        "This group of API calls deals with tournament settings and commands.",
        {},
    };
    return group;
}

} // namespace catalogue
