#include "CatalogueTable.h"

namespace catalogue {

const GroupRow& AccountsGroup() {
    static const GroupRow group{
        "Accounts",
        "This group of API calls are used to create, edit, and delete player accounts.",
        {},
    };
    return group;
}

} // namespace catalogue
