#include "CatalogueTable.h"

namespace catalogue {

const GroupRow& RingGamesGroup() {
    static const GroupRow group{
        "Ring Games",
        "This group of API calls deals with ring game settings and commands.",
        {},
    };
    return group;
}

} // namespace catalogue
