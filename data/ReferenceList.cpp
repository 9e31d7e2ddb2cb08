#include "data/ReferenceList.h"

namespace tarvelo {

const ReferenceList& ReferenceList::regions() {
    // The trailing blank is part of the statement text the service has always received.
    static constexpr ReferenceList list{"KVR_REGION",
                                        "select ID,IDDESC FROM KVR_REGION ORDER BY ID ", "PLACE"};
    return list;
}

const ReferenceList& ReferenceList::materialClasses() {
    static constexpr ReferenceList list{"KVR_ICEXT", "select ID,IDDESC FROM KVR_ICEXT ORDER BY ID",
                                        "ICEXT"};
    return list;
}

}  // namespace tarvelo
