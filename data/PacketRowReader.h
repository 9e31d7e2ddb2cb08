#pragma once

#include <cstddef>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data/DataPacket.h"

namespace tarvelo {

// Pieces of packet reading shared by DataPacket::parse and PacketStream.
namespace packetxml {

inline constexpr unsigned kParseFlags = pugi::parse_default;

// Throws tarvelo::Error saying that `text` (its first characters are quoted) is no packet.
[[noreturn]] void notAPacket(std::string_view text, const std::string& why);
// The parser's complaint, its offset moved by `shift` to where it lies in the whole text.
std::string xmlError(const pugi::xml_parse_result& result, std::ptrdiff_t shift = 0);
// The document element's METADATA: fields and the delta flag. Returns the ROWDATA element
// (possibly empty).
pugi::xml_node readHeader(const pugi::xml_document& doc, std::string_view text, DataPacket& packet);

}  // namespace packetxml

// Turns ROW elements into rows of `packet`, whose fields are read already, numbering them across
// calls. `text` is what error messages quote.
class PacketRowReader {
public:
    PacketRowReader(DataPacket& packet, std::string_view text);
    PacketRowReader(const PacketRowReader&) = delete;
    PacketRowReader& operator=(const PacketRowReader&) = delete;

    // The ROW children of `parent`; throws tarvelo::Error for a value not of its column's type.
    void read(const pugi::xml_node& parent);

private:
    // Resolves ROW attribute names to columns. Attributes nearly always come in column order, so
    // the column after the last match is tried first; the map covers any other order and letter
    // case.
    class ColumnLookup {
    public:
        explicit ColumnLookup(const std::vector<FieldDef>& fields);
        void restart() { m_next = 0; }
        std::optional<std::size_t> find(std::string_view name);

    private:
        const std::vector<FieldDef>& m_fields;
        std::unordered_map<std::string, std::size_t> m_byName;
        std::size_t m_next = 0;
    };

    DataPacket& m_packet;
    std::string_view m_text;
    ColumnLookup m_lookup;
    std::vector<std::optional<std::string_view>> m_values;
};

}  // namespace tarvelo
