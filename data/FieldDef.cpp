#include "data/FieldDef.h"

#include <array>
#include <charconv>
#include <cstdlib>
#include <limits>

#include "text/CodePage936.h"
#include "text/Date.h"
#include "text/DateTime.h"
#include "text/NumberText.h"

namespace tarvelo {

namespace {

struct TypeName {
    FieldType type;
    std::string_view name;
};

constexpr std::array<TypeName, 14> kTypeNames{{
    {FieldType::String, "string"},
    {FieldType::WideString, "string.uni"},
    {FieldType::Int8, "i1"},
    {FieldType::Int16, "i2"},
    {FieldType::Int32, "i4"},
    {FieldType::Int64, "i8"},
    {FieldType::UInt8, "ui1"},
    {FieldType::UInt16, "ui2"},
    {FieldType::UInt32, "ui4"},
    {FieldType::Double, "r8"},
    {FieldType::Fixed, "fixed"},
    {FieldType::Boolean, "boolean"},
    {FieldType::Date, "date"},
    {FieldType::DateTime, "dateTime"},
}};

template <typename T>
bool isInteger(std::string_view s) {
    T value{};
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && end == s.data() + s.size();
}

bool isDecimal(std::string_view s) {
    return decimalValue(s).has_value();
}

std::size_t utf16Bytes(std::string_view utf8) {
    std::size_t units = 0;
    for (char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;  // a four-byte sequence is a pair
    }
    return units * 2;
}

}  // namespace

std::string_view fieldTypeName(FieldType type) {
    for (const auto& t : kTypeNames)
        if (t.type == type) return t.name;
    return {};
}

FieldType fieldTypeFromName(std::string_view name) {
    for (const auto& t : kTypeNames)
        if (t.name == name) return t.type;
    return FieldType::Other;
}

FieldDef FieldDef::make(std::string name, FieldType type, int width) {
    FieldDef f;
    f.name = std::move(name);
    f.type = type;
    f.typeName = std::string(fieldTypeName(type));
    f.width = width;
    return f;
}

std::size_t FieldDef::storedSize(std::string_view value) const {
    return type == FieldType::WideString ? utf16Bytes(value) : cp936Length(value);
}

bool FieldDef::acceptsPacketValue(std::string_view v) const {
    switch (type) {
        case FieldType::Int8:
            return isInteger<std::int8_t>(v);
        case FieldType::Int16:
            return isInteger<std::int16_t>(v);
        case FieldType::Int32:
            return isInteger<std::int32_t>(v);
        case FieldType::Int64:
            return isInteger<std::int64_t>(v);
        case FieldType::UInt8:
            return isInteger<std::uint8_t>(v);
        case FieldType::UInt16:
            return isInteger<std::uint16_t>(v);
        case FieldType::UInt32:
            return isInteger<std::uint32_t>(v);
        case FieldType::Double:
        case FieldType::Fixed:
            return isDecimal(v);
        case FieldType::Boolean:
            return v == "TRUE" || v == "FALSE";
        case FieldType::Date:
            return Date::fromCompact(v).has_value();
        case FieldType::DateTime:
            return DateTime::fromPacket(v).has_value();
        case FieldType::String:
        case FieldType::WideString:
        case FieldType::Other:
            return true;
    }
    return true;
}

}  // namespace tarvelo
