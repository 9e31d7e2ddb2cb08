#include "data/DataPacket.h"

#include <pugixml.hpp>

#include "data/PacketRowReader.h"
#include "data/PacketStream.h"
#include "data/PacketWriter.h"
#include "text/Error.h"

namespace tarvelo {

namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::string upperName(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        c = upper(c);
    return out;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

namespace {

DataPacket parseWhole(std::string_view text) {
    pugi::xml_document doc;
    const auto result =
        doc.load_buffer(text.data(), text.size(), packetxml::kParseFlags, pugi::encoding_utf8);
    if (!result) packetxml::notAPacket(text, packetxml::xmlError(result));
    DataPacket packet;
    const auto rowdata = packetxml::readHeader(doc, text, packet);
    std::size_t rowCount = 0;
    for (auto r = rowdata.first_child(); r; r = r.next_sibling())
        ++rowCount;
    packet.rows.reserve(rowCount);
    packet.rowStates.reserve(rowCount);
    PacketRowReader(packet, text).read(rowdata);
    return packet;
}

}  // namespace

DataPacket DataPacket::parse(std::string_view text, std::size_t chunkBytes) {
    if (chunkBytes > 0) {
        PacketStream stream(chunkBytes);
        stream.feed(text);
        // Text the stream kept whole is read whole below, once.
        if (!stream.wholeText()) {
            try {
                return stream.finish();
            } catch (const Error&) {
                // parseWhole gives the error the whole text deserves
            }
        }
    }
    return parseWhole(text);
}

std::string DataPacket::text() const {
    std::size_t bytes = 0;
    for (const auto& r : rows)
        bytes += r.byteSize();
    PacketWriter writer(fields, delta, PacketWriter::estimate(fields.size(), rows.size(), bytes));
    for (std::size_t i = 0; i < rows.size(); ++i)
        writer.row(rows[i], i < rowStates.size() ? rowStates[i] : RowState::None);
    return writer.finish();
}

}  // namespace tarvelo
