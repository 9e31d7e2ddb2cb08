#include "data/PacketRowReader.h"

#include <charconv>
#include <unordered_map>

#include "text/Error.h"

namespace tarvelo {

namespace packetxml {

void notAPacket(std::string_view text, const std::string& why) {
    throw Error("收到的内容不是有效的数据包：“" + excerpt(text) + "”", why);
}

std::string xmlError(const pugi::xml_parse_result& result, std::ptrdiff_t shift) {
    return std::string("XML 错误：") + result.description() + "，位置 " +
           std::to_string(result.offset + shift);
}

}  // namespace packetxml

namespace {

using packetxml::notAPacket;

std::optional<int> intAttribute(const pugi::xml_attribute& a) {
    if (!a) return std::nullopt;
    const std::string_view s = a.value();
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < 0) return std::nullopt;
    return v;
}

std::optional<std::string> optionalAttribute(const pugi::xml_node& n, const char* name) {
    const auto a = n.attribute(name);
    if (!a) return std::nullopt;
    return std::string(a.value());
}

pugi::xml_node child(const pugi::xml_node& parent, std::string_view name) {
    for (auto c = parent.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && sameName(c.name(), name)) return c;
    return {};
}

// Column names become ROW attribute names, so they must be XML names; RowState is taken.
bool isColumnName(std::string_view name) {
    if (name.empty() || sameName(name, "RowState")) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        const bool letter =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
        const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
        if (!letter && !(other && i > 0)) return false;
    }
    return true;
}

std::vector<FieldDef> readFields(const pugi::xml_node& fieldsNode, std::string_view text) {
    std::vector<FieldDef> fields;
    std::unordered_map<std::string, std::size_t> seen;
    for (auto f = fieldsNode.first_child(); f; f = f.next_sibling()) {
        if (f.type() != pugi::node_element) continue;
        if (!sameName(f.name(), "FIELD"))
            notAPacket(text, std::string("FIELDS 中有未知元素 ") + f.name());
        FieldDef def;
        def.name = f.attribute("attrname").value();
        def.typeName = f.attribute("fieldtype").value();
        if (def.name.empty() || def.typeName.empty())
            notAPacket(text, "FIELD 缺少 attrname 或 fieldtype");
        if (!isColumnName(def.name)) notAPacket(text, "字段名“" + def.name + "”无效");
        if (!seen.emplace(upperName(def.name), fields.size()).second)
            notAPacket(text, "字段 " + def.name + " 重复出现");
        def.type = fieldTypeFromName(def.typeName);
        if (const auto w = f.attribute("WIDTH")) {
            const auto width = intAttribute(w);
            if (!width) notAPacket(text, "字段 " + def.name + " 的 WIDTH 无效");
            def.width = *width;
        }
        if (const auto d = f.attribute("DECIMALS")) {
            def.decimals = intAttribute(d);
            if (!def.decimals) notAPacket(text, "字段 " + def.name + " 的 DECIMALS 无效");
        }
        def.subtype = optionalAttribute(f, "SUBTYPE");
        def.required = optionalAttribute(f, "required");
        def.readonly = optionalAttribute(f, "readonly");
        fields.push_back(std::move(def));
    }
    return fields;
}

RowState parseRowState(std::string_view s, std::string_view text, std::size_t rowNumber) {
    if (s == "1") return RowState::Original;
    if (s == "2") return RowState::Deleted;
    if (s == "4") return RowState::Inserted;
    if (s == "8") return RowState::Modified;
    notAPacket(text,
               "第 " + std::to_string(rowNumber) + " 行的 RowState“" + std::string(s) + "”无效");
}

}  // namespace

namespace packetxml {

// The document element's METADATA: fields and the delta flag. Returns the ROWDATA element
// (possibly empty).
pugi::xml_node readHeader(const pugi::xml_document& doc, std::string_view text,
                          DataPacket& packet) {
    const auto root = doc.document_element();
    if (!sameName(root.name(), "DATAPACKET")) notAPacket(text, "根元素不是 DATAPACKET");
    const auto metadata = child(root, "METADATA");
    const auto fieldsNode = child(metadata, "FIELDS");
    if (!fieldsNode) notAPacket(text, "缺少 METADATA/FIELDS");
    packet.fields = readFields(fieldsNode, text);
    const auto params = child(metadata, "PARAMS");
    for (auto a = params.first_attribute(); a; a = a.next_attribute())
        if (sameName(a.name(), "DATASET_DELTA")) packet.delta = std::string_view(a.value()) == "1";
    return child(root, "ROWDATA");
}

}  // namespace packetxml

PacketRowReader::ColumnLookup::ColumnLookup(const std::vector<FieldDef>& fields)
    : m_fields(fields) {
    for (std::size_t i = 0; i < fields.size(); ++i)
        m_byName.emplace(upperName(fields[i].name), i);
}

std::optional<std::size_t> PacketRowReader::ColumnLookup::find(std::string_view name) {
    if (m_next < m_fields.size() && m_fields[m_next].name == name) return m_next++;
    const auto it = m_byName.find(upperName(name));
    if (it == m_byName.end()) return std::nullopt;
    m_next = it->second + 1;
    return it->second;
}

PacketRowReader::PacketRowReader(DataPacket& packet, std::string_view text)
    : m_packet(packet), m_text(text), m_lookup(packet.fields), m_values(packet.fields.size()) {}

void PacketRowReader::read(const pugi::xml_node& parent) {
    const auto& fields = m_packet.fields;
    for (auto r = parent.first_child(); r; r = r.next_sibling()) {
        if (r.type() != pugi::node_element) continue;
        const std::size_t rowNumber = m_packet.rows.size() + 1;
        if (!sameName(r.name(), "ROW"))
            packetxml::notAPacket(m_text, std::string("ROWDATA 中有未知元素 ") + r.name());
        std::fill(m_values.begin(), m_values.end(), std::nullopt);
        RowState state = RowState::None;
        m_lookup.restart();
        for (auto a = r.first_attribute(); a; a = a.next_attribute()) {
            const std::string_view name = a.name();
            const std::string_view value = a.value();
            const auto column = m_lookup.find(name);
            if (!column) {
                if (sameName(name, "RowState")) state = parseRowState(value, m_text, rowNumber);
                continue;  // attributes of no column carry nothing the system reads
            }
            // An empty value is a "changed to null" in a modification row; any type takes it.
            if (!value.empty() && !fields[*column].acceptsPacketValue(value))
                throw Error("数据包第 " + std::to_string(rowNumber) + " 行字段“" +
                                fields[*column].name + "”的值“" + excerpt(value) + "”不是有效的" +
                                fields[*column].typeName + "值。",
                            "收到的内容：“" + excerpt(m_text) + "”");
            m_values[*column] = value;
        }
        m_packet.rows.push_back(Row::fromValues(m_values));
        m_packet.rowStates.push_back(state);
    }
}

}  // namespace tarvelo
