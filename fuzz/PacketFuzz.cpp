// Packet loading and re-writing. Any input either loads or is refused with tarvelo::Error; what
// loads writes back to text that loads again and writes back identically, and its change log
// gives a delta that round-trips the same way.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "data/DataSet.h"
#include "text/Error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using tarvelo::DataSet;
    DataSet ds;
    try {
        ds.loadPacket(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const tarvelo::Error&) {
        return 0;
    }
    const std::string written = ds.packetText();
    DataSet again;
    again.loadPacket(written);
    if (again.packetText() != written) std::abort();

    if (ds.recordCount() > 0 && ds.fieldCount() > 0) {
        ds.first();
        ds.edit();
        ds.setNull(0);
        ds.post();
        ds.next();
        ds.deleteRow();
    }
    ds.append();
    ds.post();
    if (const auto delta = ds.delta()) {
        DataSet cdsDelta;
        cdsDelta.loadPacket(*delta);
        if (cdsDelta.packetText() != *delta) std::abort();
    }
    return 0;
}
