#include "CatalogueTable.h"

namespace catalogue {

const GroupRow& LogsGroup() {
    static const GroupRow group{
        "Logs",
        "This group of API calls allows you to retrieve the various log files created by the server.",
        {},
    };
    return group;
}

} // namespace catalogue
