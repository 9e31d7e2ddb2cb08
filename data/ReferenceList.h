#pragma once

#include <string_view>

namespace tarvelo {

// A list of names under which prices are published, read whole (columns ID, IDDESC, ordered by
// ID) and never written by the client. IDDESC is the value the price tables store.
struct ReferenceList {
    std::string_view tableName;
    std::string_view statement;  // sent as one string, exactly so
    std::string_view column;     // the price-table column that holds an IDDESC

    static const ReferenceList& regions();          // KVR_REGION, stored in PLACE
    static const ReferenceList& materialClasses();  // KVR_ICEXT, stored in ICEXT
};

}  // namespace tarvelo
