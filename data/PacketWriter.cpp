// The data packet, as written here and read by DataPacket::parse:
//
//   <?xml version="1.0" standalone="yes"?>
//   <DATAPACKET Version="2.0">
//     <METADATA>
//       <FIELDS> <FIELD attrname="NAME" fieldtype="TYPE" [required=..] [readonly=..]
//                       [SUBTYPE=..] [DECIMALS="n"] [WIDTH="n"]/> ... </FIELDS>
//       <PARAMS/>                      (delta packets: <PARAMS DATASET_DELTA="1"/>)
//     </METADATA>
//     <ROWDATA> <ROW [RowState="s"] NAME="value" .../> ... </ROWDATA>
//   </DATAPACKET>
//
// all on one line, no white space between elements. A null value is an absent attribute. Values
// are in the form of their type (see FieldDef.h) and escaped: < > & " ' as entities, CR, LF, tab
// and backslash as &#013; &#010; &#009; &#092;. RowState: 4 inserted (all non-null values),
// 2 deleted (values as loaded), 1 a modified row as loaded, always followed by its 8 row holding
// only the changed columns.
#include "data/PacketWriter.h"

#include <array>

namespace tarvelo {

namespace {

constexpr std::array<const char*, 256> makeEscapes() {
    std::array<const char*, 256> table{};
    table['<'] = "&lt;";
    table['>'] = "&gt;";
    table['&'] = "&amp;";
    table['"'] = "&quot;";
    table['\''] = "&apos;";
    table['\r'] = "&#013;";
    table['\n'] = "&#010;";
    table['\t'] = "&#009;";
    table['\\'] = "&#092;";
    return table;
}
constexpr auto kEscapes = makeEscapes();

void appendAttribute(std::string& out, std::string_view name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    appendEscaped(out, value);
    out += '"';
}

constexpr std::string_view kRowStates[] = {"", "1", "2", "", "4", "", "", "", "8"};

}  // namespace

void appendEscaped(std::string& out, std::string_view text) {
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* escape = kEscapes[static_cast<unsigned char>(text[i])];
        if (!escape) continue;
        out.append(text.data() + plain, i - plain);
        out += escape;
        plain = i + 1;
    }
    out.append(text.data() + plain, text.size() - plain);
}

std::size_t escapedLength(std::string_view text) {
    std::size_t n = text.size();
    for (const char c : text)
        if (const char* escape = kEscapes[static_cast<unsigned char>(c)])
            n += std::char_traits<char>::length(escape) - 1;
    return n;
}

std::size_t PacketWriter::estimate(std::size_t fieldCount, std::size_t rows,
                                   std::size_t valueBytes) {
    return 256 + fieldCount * 80 + rows * (16 + fieldCount * 12) + valueBytes + valueBytes / 16;
}

PacketWriter::PacketWriter(const std::vector<FieldDef>& fields, bool delta, std::size_t sizeHint) {
    m_out.reserve(sizeHint ? sizeHint : estimate(fields.size(), 0, 0));
    m_out +=
        R"(<?xml version="1.0" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)";
    m_prefixes.reserve(fields.size());
    for (const auto& f : fields) {
        m_out += "<FIELD";
        appendAttribute(m_out, "attrname", f.name);
        appendAttribute(m_out, "fieldtype", f.typeName);
        if (f.required) appendAttribute(m_out, "required", *f.required);
        if (f.readonly) appendAttribute(m_out, "readonly", *f.readonly);
        if (f.subtype) appendAttribute(m_out, "SUBTYPE", *f.subtype);
        if (f.decimals) appendAttribute(m_out, "DECIMALS", std::to_string(*f.decimals));
        if (f.width > 0) appendAttribute(m_out, "WIDTH", std::to_string(f.width));
        m_out += "/>";
        std::string prefix = " ";
        appendEscaped(prefix, f.name);
        prefix += "=\"";
        m_prefixes.push_back(std::move(prefix));
    }
    m_out += delta ? R"(</FIELDS><PARAMS DATASET_DELTA="1"/></METADATA><ROWDATA>)"
                   : "</FIELDS><PARAMS/></METADATA><ROWDATA>";
}

void PacketWriter::openRow(RowState state) {
    m_out += "<ROW";
    if (state != RowState::None) {
        m_out += " RowState=\"";
        m_out += kRowStates[static_cast<std::size_t>(state)];
        m_out += '"';
    }
}

void PacketWriter::value(std::size_t column, std::string_view text) {
    m_out += m_prefixes[column];
    appendEscaped(m_out, text);
    m_out += '"';
}

void PacketWriter::row(const Row& row, RowState state) {
    openRow(state);
    for (std::size_t i = 0; i < m_prefixes.size(); ++i)
        if (!row.isNull(i)) value(i, row.value(i));
    m_out += "/>";
}

void PacketWriter::changes(const Row& current, const Row& base) {
    openRow(RowState::Modified);
    for (std::size_t i = 0; i < m_prefixes.size(); ++i)
        if (current.get(i) != base.get(i)) value(i, current.value(i));
    m_out += "/>";
}

std::string PacketWriter::finish() {
    m_out += "</ROWDATA></DATAPACKET>";
    return std::move(m_out);
}

}  // namespace tarvelo
