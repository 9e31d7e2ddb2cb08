#include "service/IVRDS_IIS_WebSCoorSpplyIsapi.h"

#include "service/SoapClient.h"
#include "text/CodePage936.h"

namespace tarvelo {

std::string IVRDS_IIS_WebSCoorSpplyIsapi::EnVerifs(std::string_view Src) {
    return m_rio.narrow("EnVerifs", {{"Src", throughCp936(Src)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::DeVerifs(std::string_view Src) {
    return m_rio.narrow("DeVerifs", {{"Src", throughCp936(Src)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::SpplyVanDataBySQL(std::string_view sSQL) {
    return m_rio.narrow("SpplyVanDataBySQL", {{"sSQL", throughCp936(sSQL)}});
}

void IVRDS_IIS_WebSCoorSpplyIsapi::SpplyVanDataBySQL(
    std::string_view sSQL, const std::function<void(std::string_view)>& sink) {
    m_rio.narrowInto("SpplyVanDataBySQL", {{"sSQL", throughCp936(sSQL)}}, sink);
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::SpplyVanDataBySQLs(std::string_view sSQLs) {
    return m_rio.narrow("SpplyVanDataBySQLs", {{"sSQLs", throughCp936(sSQLs)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::SpplyVrdDataBySQL(std::string_view sSQL) {
    return m_rio.narrow("SpplyVrdDataBySQL", {{"sSQL", throughCp936(sSQL)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::SpplyJpgByEncoded(std::string_view sFileName) {
    return m_rio.narrow("SpplyJpgByEncoded", {{"sFileName", throughCp936(sFileName)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::GetFileByEncoded(std::string_view sFileName) {
    return m_rio.narrow("GetFileByEncoded", {{"sFileName", throughCp936(sFileName)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::PutFileByDecoded(std::string_view sFileName,
                                                           std::string_view Encodes) {
    return m_rio.narrow("PutFileByDecoded", {{"sFileName", throughCp936(sFileName)},
                                             {"Encodes", throughCp936(Encodes)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::GetFileByEnCompressed(std::string_view sFileName) {
    return m_rio.narrow("GetFileByEnCompressed", {{"sFileName", throughCp936(sFileName)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::PutFileByDeCompressed(std::string_view sEnCompressed,
                                                                std::string_view sFileName) {
    return m_rio.narrow("PutFileByDeCompressed", {{"sEnCompressed", throughCp936(sEnCompressed)},
                                                  {"sFileName", throughCp936(sFileName)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::SpplyJpgFileLists(std::string_view sFilePath) {
    return m_rio.narrow("SpplyJpgFileLists", {{"sFilePath", throughCp936(sFilePath)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::SetupGoing(std::string_view Going,
                                                     std::string_view Vers) {
    return m_rio.narrow("SetupGoing", {{"Going", std::string(Going)}, {"Vers", std::string(Vers)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::GetFileExtLists(std::string_view sFilePath) {
    return m_rio.narrow("GetFileExtLists", {{"sFilePath", throughCp936(sFilePath)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::ExistsFileName(std::string_view sFilePath) {
    return m_rio.wide("ExistsFileName", {{"sFilePath", std::string(sFilePath)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::GetExtFileTXTs(std::string_view sFilePath,
                                                         std::string_view sExt) {
    return m_rio.wide("GetExtFileTXTs",
                      {{"sFilePath", std::string(sFilePath)}, {"sExt", std::string(sExt)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::GetExtFileXMLs(std::string_view sFilePath,
                                                         std::string_view sExt) {
    return m_rio.wide("GetExtFileXMLs",
                      {{"sFilePath", std::string(sFilePath)}, {"sExt", std::string(sExt)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::ExistsFilePath(std::string_view sFilePath) {
    return m_rio.wide("ExistsFilePath", {{"sFilePath", std::string(sFilePath)}});
}

std::string IVRDS_IIS_WebSCoorSpplyIsapi::CreateFilePath(std::string_view sFilePath) {
    return m_rio.wide("CreateFilePath", {{"sFilePath", std::string(sFilePath)}});
}

std::int32_t IVRDS_IIS_WebSCoorSpplyIsapi::ApplyVanDataBySQL(std::string_view sSQL,
                                                             std::string_view sDelta) {
    return m_rio.integer("ApplyVanDataBySQL",
                         {{"sSQL", throughCp936(sSQL)}, {"sDelta", throughCp936(sDelta)}});
}

std::int32_t IVRDS_IIS_WebSCoorSpplyIsapi::ApplyVanDataBySQLupKeyChanged(std::string_view sSQL,
                                                                         std::string_view sDelta,
                                                                         std::string_view sKey) {
    return m_rio.integer("ApplyVanDataBySQLupKeyChanged", {{"sSQL", throughCp936(sSQL)},
                                                           {"sDelta", throughCp936(sDelta)},
                                                           {"sKey", throughCp936(sKey)}});
}

std::int32_t IVRDS_IIS_WebSCoorSpplyIsapi::ApplyVrdDataBySQLupKeyChanged(std::string_view sSQL,
                                                                         std::string_view sDelta,
                                                                         std::string_view sKey) {
    return m_rio.integer("ApplyVrdDataBySQLupKeyChanged", {{"sSQL", throughCp936(sSQL)},
                                                           {"sDelta", throughCp936(sDelta)},
                                                           {"sKey", throughCp936(sKey)}});
}

std::vector<double> IVRDS_IIS_WebSCoorSpplyIsapi::echoDoubleArray(
    const std::vector<double>& daValue) {
    return m_rio.reals("echoDoubleArray", {{"daValue", daValue}});
}

double IVRDS_IIS_WebSCoorSpplyIsapi::echoDouble(double dValue) {
    return m_rio.real("echoDouble", {{"dValue", dValue}});
}

}  // namespace tarvelo
