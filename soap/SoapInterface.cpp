#include "soap/SoapInterface.h"

namespace tarvelo {

namespace {

constexpr SoapType S = SoapType::String;
constexpr SoapType W = SoapType::WideString;
constexpr SoapType I = SoapType::Int;
constexpr SoapType D = SoapType::Double;
constexpr SoapType A = SoapType::DoubleArray;

// Every operation the service declares, the ones this client never calls included, so that the
// WSDL and the interface units describe the whole contract.
// Parameter lists that a "Van" operation and its "Vrd" twin share.
const std::vector<SoapParamDecl> kTwoTriples = {{"sSQL00", S}, {"sDelta00", S}, {"sKey00", S},
                                                {"sSQL01", S}, {"sDelta01", S}, {"sKey01", S}};

const std::vector<SoapParamDecl> kTenTriples = {
    {"sSQL00", S}, {"sDelta00", S}, {"sKey00", S}, {"sSQL01", S}, {"sDelta01", S}, {"sKey01", S},
    {"sSQL02", S}, {"sDelta02", S}, {"sKey02", S}, {"sSQL03", S}, {"sDelta03", S}, {"sKey03", S},
    {"sSQL04", S}, {"sDelta04", S}, {"sKey04", S}, {"sSQL05", S}, {"sDelta05", S}, {"sKey05", S},
    {"sSQL06", S}, {"sDelta06", S}, {"sKey06", S}, {"sSQL07", S}, {"sDelta07", S}, {"sKey07", S},
    {"sSQL08", S}, {"sDelta08", S}, {"sKey08", S}, {"sSQL09", S}, {"sDelta09", S}, {"sKey09", S}};

const std::vector<SoapParamDecl> kSqlAndTenDeltas = {
    {"sSQL", S},     {"sDelta00", S}, {"sDelta01", S}, {"sDelta02", S},
    {"sDelta03", S}, {"sDelta04", S}, {"sDelta05", S}, {"sDelta06", S},
    {"sDelta07", S}, {"sDelta08", S}, {"sDelta09", S}};

const std::vector<SoapOperation> kSupplyOperations = {
    {"EnVerifs", {{"Src", S}}, S},
    {"DeVerifs", {{"Src", S}}, S},
    {"SpplyVanDataBySQL", {{"sSQL", S}}, S},
    {"SpplyVanDataBySQLs", {{"sSQLs", S}}, S},
    {"SpplyVrdDataBySQL", {{"sSQL", S}}, S},
    {"SpplyJpgByEncoded", {{"sFileName", S}}, S},
    {"GetFileByEncoded", {{"sFileName", S}}, S},
    {"PutFileByDecoded", {{"sFileName", S}, {"Encodes", S}}, S},
    {"GetFileByEnCompressed", {{"sFileName", S}}, S},
    {"PutFileByDeCompressed", {{"sEnCompressed", S}, {"sFileName", S}}, S},
    {"SpplyJpgFileLists", {{"sFilePath", S}}, S},
    {"SetupGoing", {{"Going", W}, {"Vers", W}}, S},
    {"GetFileExtLists", {{"sFilePath", S}}, S},
    {"ExistsFileName", {{"sFilePath", W}}, W},
    {"GetExtFileTXTs", {{"sFilePath", W}, {"sExt", W}}, W},
    {"GetExtFileXMLs", {{"sFilePath", W}, {"sExt", W}}, W},
    {"ExistsFilePath", {{"sFilePath", W}}, W},
    {"CreateFilePath", {{"sFilePath", W}}, W},
    {"ApplyVanDataBySQL", {{"sSQL", S}, {"sDelta", S}}, I},
    {"ApplyVanDataBySQLupKeyChanged", {{"sSQL", S}, {"sDelta", S}, {"sKey", S}}, I},
    {"ApplyVrdDataBySQLupKeyChanged", {{"sSQL", S}, {"sDelta", S}, {"sKey", S}}, I},
    {"echoDoubleArray", {{"daValue", A}}, A},
    {"echoDouble", {{"dValue", D}}, D},
};

const std::vector<SoapOperation> kApplyOperations = {
    {"SpplyVanDataBySQL", {{"sSQL", S}}, S},
    {"SpplyVrdDataBySQL", {{"sSQL", S}}, S},
    {"SpplyVanGuids", {}, S},
    {"SpplyVanSequences", {{"sSQL", S}}, I},
    {"ApplyVanDataByExc", {{"sSQL", S}}, I},
    {"ApplyVanDataByExcExp", {{"sSQL", S}}, I},
    {"ApplyVanDataBySQL", {{"sSQL", S}, {"sDelta", S}}, I},
    {"ApplyVrdDataBySQL", {{"sSQL", S}, {"sDelta", S}}, I},
    {"ApplyVanDataBySQLupKeyChanged", {{"sSQL", S}, {"sDelta", S}, {"sKey", S}}, I},
    {"ApplyVrdDataBySQLupKeyChanged", {{"sSQL", S}, {"sDelta", S}, {"sKey", S}}, I},
    {"ApplyVanDataBySQLupKeyChangedExc", {{"sSQL", S}, {"sDelta", S}}, I},
    {"ApplyVrdDataBySQLupKeyChangedExc", {{"sSQL", S}, {"sDelta", S}}, I},
    {"ApplyVanDataBySQLupKeyChangedEx", kTwoTriples, I},
    {"ApplyVrdDataBySQLupKeyChangedEx", kTwoTriples, I},
    {"ApplyVanDataBySQLupKeyChangedExs", kTenTriples, I},
    {"ApplyVrdDataBySQLupKeyChangedExs", kTenTriples, I},
    {"ApplyVanDataBySQLupKeyChangedExcs", kSqlAndTenDeltas, I},
    {"ApplyVrdDataBySQLupKeyChangedExcs", kSqlAndTenDeltas, I},
    {"ApplyVanDataBySQLupKeyChangedExcA", {{"sSQL", S}, {"sDelta00", S}}, S},
    {"ApplyVanDataBySQLupKeyChangedExc1", {{"sSQL", S}, {"sDelta00", S}}, I},
    {"ApplyVanDataBySQLupKeyChangedKey1", {{"sSQL", S}, {"sKey", S}, {"sDelta00", S}}, I},
    {"ApplyVanChangedExc1", {{"sSQL", S}, {"sDelta00", S}}, I},
    {"ApplyVrdDataBySQLupKeyChangedExcA", {{"sSQL", S}, {"sDelta00", S}}, S},
    {"ApplyVrdDataBySQLupKeyChangedExc1", {{"sSQL", S}, {"sDelta00", S}}, I},
    {"ApplyVrdDataBySQLupKeyChangedKey1", {{"sSQL", S}, {"sDelta00", S}}, I},
    {"ApplyB64DataBySQLupKeyChangedExc1", {{"sSQL", S}, {"sDelta00", S}}, I},
    {"ApplyVanDataBySQLupKeyChangedExc2", {{"sSQL", S}, {"sDelta00", S}, {"sDelta01", S}}, I},
    {"ApplyVrdDataBySQLupKeyChangedExc2", {{"sSQL", S}, {"sDelta00", S}, {"sDelta01", S}}, I},
    {"ApplyVanDataBySQLupKeyChangedExc3",
     {{"sSQL", S}, {"sDelta00", S}, {"sDelta01", S}, {"sDelta02", S}},
     I},
    {"ApplyVrdDataBySQLupKeyChangedExc3",
     {{"sSQL", S}, {"sDelta00", S}, {"sDelta01", S}, {"sDelta02", S}},
     I},
    {"echoDoubleArray", {{"daValue", A}}, A},
    {"echoDouble", {{"dValue", D}}, D},
};

}  // namespace

const SoapInterface& SoapInterface::supply() {
    static const SoapInterface i{
        "IVRDS_IIS_WebSCoorSpplyIsapi",
        "urn:VRDS_IIS_WebSCoorSpplyIsapi-IVRDS_IIS_WebSCoorSpplyIsapi",
        "urn:VRDS_IIS_WebSCoorSpplyIsapi-IVRDS_IIS_WebSCoorSpplyIsapi#%operationName%",
        kSupplyOperations};
    return i;
}

const SoapInterface& SoapInterface::apply() {
    static const SoapInterface i{
        "IVRDS_IIS_WebSCoorApplyIsapi",
        "urn:VRDS_IIS_WebSCoorApplyIsapi-IVRDS_IIS_WebSCoorApplyIsapi",
        "urn:VRDS_IIS_WebSCoorApplyIsapi-IVRDS_IIS_WebSCoorApplyIsapi#%operationName%",
        kApplyOperations};
    return i;
}

std::string SoapInterface::soapAction(std::string_view operation) const {
    constexpr std::string_view kPlaceholder = "%operationName%";
    std::string action(actionTemplate);
    if (const auto at = action.find(kPlaceholder); at != std::string::npos)
        action.replace(at, kPlaceholder.size(), operation);
    return "\"" + action + "\"";
}

const SoapOperation* SoapInterface::find(std::string_view operation) const {
    for (const auto& op : operations)
        if (op.name == operation) return &op;
    return nullptr;
}

}  // namespace tarvelo
