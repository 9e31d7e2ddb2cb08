#pragma once

// The two SOAP interfaces of the service as published, typed in by hand from the published
// interface, never derived from the code: the client and the reference service both take their
// declarations from soap/SoapInterface and the interface units, so a slip there would be made on
// both sides at once and every round trip would still agree with itself. These tables are the
// independent second reading that the code is checked against.

#include <string_view>
#include <vector>

namespace tarvelo::contract {

// Parameter and result types as the interface names them. Narrow and wide strings both travel as
// xsd:string; narrow ones are text in code page 936 (what it cannot hold is lost), wide ones are
// UTF-16 text and lose nothing.
inline constexpr std::string_view kString = "string";
inline constexpr std::string_view kWide = "wide string";
inline constexpr std::string_view kInt = "int";
inline constexpr std::string_view kDouble = "double";
inline constexpr std::string_view kDoubleArray = "double array";

struct Param {
    std::string_view name;
    std::string_view type;
};

struct Operation {
    std::string_view name;
    std::vector<Param> params;  // in declaration order, which is the order on the wire
    std::string_view result;
};

struct Interface {
    std::string_view name;
    std::string_view ns;              // also the namespace of every operation element
    std::string_view actionTemplate;  // "%operationName%" stands for the operation's name
    std::vector<Operation> operations;
};

// Parameter lists that several write-side operations share ("as 13", "as 15", ...).
inline const std::vector<Param> kTwoTriples = {
    {"sSQL00", kString}, {"sDelta00", kString}, {"sKey00", kString},
    {"sSQL01", kString}, {"sDelta01", kString}, {"sKey01", kString},
};

inline const std::vector<Param> kTenTriples = {
    {"sSQL00", kString},   {"sDelta00", kString}, {"sKey00", kString},   {"sSQL01", kString},
    {"sDelta01", kString}, {"sKey01", kString},   {"sSQL02", kString},   {"sDelta02", kString},
    {"sKey02", kString},   {"sSQL03", kString},   {"sDelta03", kString}, {"sKey03", kString},
    {"sSQL04", kString},   {"sDelta04", kString}, {"sKey04", kString},   {"sSQL05", kString},
    {"sDelta05", kString}, {"sKey05", kString},   {"sSQL06", kString},   {"sDelta06", kString},
    {"sKey06", kString},   {"sSQL07", kString},   {"sDelta07", kString}, {"sKey07", kString},
    {"sSQL08", kString},   {"sDelta08", kString}, {"sKey08", kString},   {"sSQL09", kString},
    {"sDelta09", kString}, {"sKey09", kString},
};

inline const std::vector<Param> kSqlAndTenDeltas = {
    {"sSQL", kString},     {"sDelta00", kString}, {"sDelta01", kString}, {"sDelta02", kString},
    {"sDelta03", kString}, {"sDelta04", kString}, {"sDelta05", kString}, {"sDelta06", kString},
    {"sDelta07", kString}, {"sDelta08", kString}, {"sDelta09", kString},
};

inline const std::vector<Param> kSqlAndDelta00 = {{"sSQL", kString}, {"sDelta00", kString}};

inline const std::vector<Param> kSqlAndTwoDeltas = {
    {"sSQL", kString}, {"sDelta00", kString}, {"sDelta01", kString}};

inline const std::vector<Param> kSqlAndThreeDeltas = {
    {"sSQL", kString}, {"sDelta00", kString}, {"sDelta01", kString}, {"sDelta02", kString}};

// The read side, operations in declaration order.
inline const Interface kSpply = {
    "IVRDS_IIS_WebSCoorSpplyIsapi",
    "urn:VRDS_IIS_WebSCoorSpplyIsapi-IVRDS_IIS_WebSCoorSpplyIsapi",
    "urn:VRDS_IIS_WebSCoorSpplyIsapi-IVRDS_IIS_WebSCoorSpplyIsapi#%operationName%",
    {
        {"EnVerifs", {{"Src", kString}}, kString},
        {"DeVerifs", {{"Src", kString}}, kString},
        {"SpplyVanDataBySQL", {{"sSQL", kString}}, kString},
        {"SpplyVanDataBySQLs", {{"sSQLs", kString}}, kString},
        {"SpplyVrdDataBySQL", {{"sSQL", kString}}, kString},
        {"SpplyJpgByEncoded", {{"sFileName", kString}}, kString},
        {"GetFileByEncoded", {{"sFileName", kString}}, kString},
        {"PutFileByDecoded", {{"sFileName", kString}, {"Encodes", kString}}, kString},
        {"GetFileByEnCompressed", {{"sFileName", kString}}, kString},
        {"PutFileByDeCompressed", {{"sEnCompressed", kString}, {"sFileName", kString}}, kString},
        {"SpplyJpgFileLists", {{"sFilePath", kString}}, kString},
        {"SetupGoing", {{"Going", kWide}, {"Vers", kWide}}, kString},
        {"GetFileExtLists", {{"sFilePath", kString}}, kString},
        {"ExistsFileName", {{"sFilePath", kWide}}, kWide},
        {"GetExtFileTXTs", {{"sFilePath", kWide}, {"sExt", kWide}}, kWide},
        {"GetExtFileXMLs", {{"sFilePath", kWide}, {"sExt", kWide}}, kWide},
        {"ExistsFilePath", {{"sFilePath", kWide}}, kWide},
        {"CreateFilePath", {{"sFilePath", kWide}}, kWide},
        {"ApplyVanDataBySQL", {{"sSQL", kString}, {"sDelta", kString}}, kInt},
        {"ApplyVanDataBySQLupKeyChanged",
         {{"sSQL", kString}, {"sDelta", kString}, {"sKey", kString}},
         kInt},
        {"ApplyVrdDataBySQLupKeyChanged",
         {{"sSQL", kString}, {"sDelta", kString}, {"sKey", kString}},
         kInt},
        {"echoDoubleArray", {{"daValue", kDoubleArray}}, kDoubleArray},
        {"echoDouble", {{"dValue", kDouble}}, kDouble},
    },
};

// The write side, operations in declaration order; every parameter a (narrow) string unless
// said otherwise.
inline const Interface kApply = {
    "IVRDS_IIS_WebSCoorApplyIsapi",
    "urn:VRDS_IIS_WebSCoorApplyIsapi-IVRDS_IIS_WebSCoorApplyIsapi",
    "urn:VRDS_IIS_WebSCoorApplyIsapi-IVRDS_IIS_WebSCoorApplyIsapi#%operationName%",
    {
        {"SpplyVanDataBySQL", {{"sSQL", kString}}, kString},
        {"SpplyVrdDataBySQL", {{"sSQL", kString}}, kString},
        {"SpplyVanGuids", {}, kString},
        {"SpplyVanSequences", {{"sSQL", kString}}, kInt},
        {"ApplyVanDataByExc", {{"sSQL", kString}}, kInt},
        {"ApplyVanDataByExcExp", {{"sSQL", kString}}, kInt},
        {"ApplyVanDataBySQL", {{"sSQL", kString}, {"sDelta", kString}}, kInt},
        {"ApplyVrdDataBySQL", {{"sSQL", kString}, {"sDelta", kString}}, kInt},
        {"ApplyVanDataBySQLupKeyChanged",
         {{"sSQL", kString}, {"sDelta", kString}, {"sKey", kString}},
         kInt},
        {"ApplyVrdDataBySQLupKeyChanged",
         {{"sSQL", kString}, {"sDelta", kString}, {"sKey", kString}},
         kInt},
        {"ApplyVanDataBySQLupKeyChangedExc", {{"sSQL", kString}, {"sDelta", kString}}, kInt},
        {"ApplyVrdDataBySQLupKeyChangedExc", {{"sSQL", kString}, {"sDelta", kString}}, kInt},
        {"ApplyVanDataBySQLupKeyChangedEx", kTwoTriples, kInt},
        {"ApplyVrdDataBySQLupKeyChangedEx", kTwoTriples, kInt},
        {"ApplyVanDataBySQLupKeyChangedExs", kTenTriples, kInt},
        {"ApplyVrdDataBySQLupKeyChangedExs", kTenTriples, kInt},
        {"ApplyVanDataBySQLupKeyChangedExcs", kSqlAndTenDeltas, kInt},
        {"ApplyVrdDataBySQLupKeyChangedExcs", kSqlAndTenDeltas, kInt},
        {"ApplyVanDataBySQLupKeyChangedExcA", kSqlAndDelta00, kString},
        {"ApplyVanDataBySQLupKeyChangedExc1", kSqlAndDelta00, kInt},
        {"ApplyVanDataBySQLupKeyChangedKey1",
         {{"sSQL", kString}, {"sKey", kString}, {"sDelta00", kString}},
         kInt},
        {"ApplyVanChangedExc1", kSqlAndDelta00, kInt},
        {"ApplyVrdDataBySQLupKeyChangedExcA", kSqlAndDelta00, kString},
        {"ApplyVrdDataBySQLupKeyChangedExc1", kSqlAndDelta00, kInt},
        {"ApplyVrdDataBySQLupKeyChangedKey1", kSqlAndDelta00, kInt},  // no key, unlike Van's
        {"ApplyB64DataBySQLupKeyChangedExc1", kSqlAndDelta00, kInt},
        {"ApplyVanDataBySQLupKeyChangedExc2", kSqlAndTwoDeltas, kInt},
        {"ApplyVrdDataBySQLupKeyChangedExc2", kSqlAndTwoDeltas, kInt},
        {"ApplyVanDataBySQLupKeyChangedExc3", kSqlAndThreeDeltas, kInt},
        {"ApplyVrdDataBySQLupKeyChangedExc3", kSqlAndThreeDeltas, kInt},
        {"echoDoubleArray", {{"daValue", kDoubleArray}}, kDoubleArray},
        {"echoDouble", {{"dValue", kDouble}}, kDouble},
    },
};

// Namespaces of the envelope as SOAP 1.1 and XML Schema fix them.
inline constexpr std::string_view kEnvelopeNs = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr std::string_view kEncodingNs = "http://schemas.xmlsoap.org/soap/encoding/";
inline constexpr std::string_view kXsdNs = "http://www.w3.org/2001/XMLSchema";
inline constexpr std::string_view kXsiNs = "http://www.w3.org/2001/XMLSchema-instance";

// The headers every request carries.
inline constexpr std::string_view kUserAgent = "Tarvelo SOAP 1.1";
inline constexpr std::string_view kContentType = "text/xml; charset=utf-8";

}  // namespace tarvelo::contract
