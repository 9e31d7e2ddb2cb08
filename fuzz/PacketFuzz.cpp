// Packet loading and re-writing. Any input either loads or is refused with tarvelo::Error; parsing
// rows in small chunks gives what parsing the whole document gives; what loads writes back to
// text that loads again and writes back identically, and its change log gives a delta that
// round-trips the same way.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "data/DataPacket.h"
#include "data/DataSet.h"
#include "text/Error.h"

namespace {

std::string outcome(std::string_view text, std::size_t chunkBytes) {
    try {
        return tarvelo::DataPacket::parse(text, chunkBytes).text();
    } catch (const tarvelo::Error& e) {
        return std::string("error: ") + e.what();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using tarvelo::DataSet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (outcome(text, 7) != outcome(text, 0)) std::abort();

    DataSet ds;
    try {
        ds.loadPacket(text);
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
