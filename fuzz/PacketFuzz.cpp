// Packet loading and re-writing. Any input either loads or is refused with tarvelo::Error; parsing
// rows in small chunks, and reading the text in pieces as it arrives, give what parsing the whole
// document gives (for the stream: an error where the whole has one); what loads writes back to
// text that loads again and writes back identically, and its change log gives a delta that
// round-trips the same way.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "data/DataPacket.h"
#include "data/DataSet.h"
#include "data/PacketStream.h"
#include "text/Error.h"

namespace {

std::string outcome(std::string_view text, std::size_t chunkBytes) {
    try {
        return tarvelo::DataPacket::parse(text, chunkBytes).text();
    } catch (const tarvelo::Error& e) {
        return std::string("error: ") + e.what();
    }
}

// The text fed to a stream in pieces whose sizes come from its own bytes.
std::string streamed(std::string_view text, std::size_t chunkBytes) {
    tarvelo::PacketStream stream(chunkBytes);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t n = 1 + static_cast<unsigned char>(text[at]) % 13;
        stream.feed(text.substr(at, n));
        at += n;
    }
    try {
        return stream.finish().text();
    } catch (const tarvelo::Error&) {
        return "error: ";
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using tarvelo::DataSet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string whole = outcome(text, 0);
    if (outcome(text, 7) != whole) std::abort();
    const std::string pieces = streamed(text, 7);
    if (whole.rfind("error: ", 0) == 0 ? pieces != "error: " : pieces != whole) std::abort();

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
