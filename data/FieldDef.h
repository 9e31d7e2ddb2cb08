#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvelo {

// Column types of a data packet. Other covers the engine's types this system never uses
// (time of day, raw bytes, ...): such columns load and re-write unchanged and read as their text.
enum class FieldType : std::uint8_t {
    String,      // "string": narrow text, WIDTH in code page 936 bytes
    WideString,  // "string.uni": WIDTH in UTF-16 bytes
    Int8,        // "i1"
    Int16,       // "i2"
    Int32,       // "i4"
    Int64,       // "i8"
    UInt8,       // "ui1"
    UInt16,      // "ui2"
    UInt32,      // "ui4"
    Double,      // "r8"
    Fixed,       // "fixed"
    Boolean,     // "boolean": "TRUE" or "FALSE"
    Date,        // "date": "yyyymmdd"
    DateTime,    // "dateTime": "yyyymmddThh:mm:sssss"
    Other,
};

// The packet's type name of a type; Other has none of its own (FieldDef keeps it).
std::string_view fieldTypeName(FieldType type);
FieldType fieldTypeFromName(std::string_view name);

// One FIELD of a packet's METADATA. Attributes the system never sets itself are kept as read so
// that a packet loads and writes back unchanged.
struct FieldDef {
    std::string name;  // attrname
    FieldType type = FieldType::String;
    std::string typeName;  // fieldtype as written in the packet
    int width = 0;         // WIDTH; 0 when absent
    std::optional<int> decimals;
    std::optional<std::string> subtype;
    std::optional<std::string> required;
    std::optional<std::string> readonly;

    static FieldDef make(std::string name, FieldType type, int width = 0);

    // Bytes `value` takes against WIDTH: code page 936 bytes for "string", UTF-16 bytes for
    // "string.uni".
    std::size_t storedSize(std::string_view value) const;
    // Whether `value` is a well-formed packet value of this column's type.
    bool acceptsPacketValue(std::string_view value) const;
};

}  // namespace tarvelo
