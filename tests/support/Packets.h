#pragma once

#include <string>
#include <string_view>

namespace tarvelo::test {

// Packet text as the writer produces it, from the inner XML of FIELDS and ROWDATA.
inline std::string packet(std::string_view fields, std::string_view rows, bool delta = false) {
    return std::string(
               R"(<?xml version="1.0" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)") +
           std::string(fields) +
           (delta ? R"(</FIELDS><PARAMS DATASET_DELTA="1"/></METADATA><ROWDATA>)"
                  : "</FIELDS><PARAMS/></METADATA><ROWDATA>") +
           std::string(rows) + "</ROWDATA></DATAPACKET>";
}

// A small price list: ID (i4), NAME (string 12), PRICE (string 12), RQ (date).
inline constexpr std::string_view kItemFields =
    R"(<FIELD attrname="ID" fieldtype="i4"/>)"
    R"(<FIELD attrname="NAME" fieldtype="string" WIDTH="12"/>)"
    R"(<FIELD attrname="PRICE" fieldtype="string" WIDTH="12"/>)"
    R"(<FIELD attrname="RQ" fieldtype="date"/>)";

inline std::string itemPacket() {
    return packet(kItemFields, R"(<ROW ID="1" NAME="钢筋" PRICE="4200" RQ="20261201"/>)"
                               R"(<ROW ID="2" NAME="水泥" PRICE="480"/>)"
                               R"(<ROW ID="3" NAME="砂" PRICE="面议" RQ="20261203"/>)");
}

}  // namespace tarvelo::test
