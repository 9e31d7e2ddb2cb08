#include "service/IVRDS_IIS_WebSCoorApplyIsapi.h"

#include "service/SoapClient.h"
#include "text/CodePage936.h"

namespace tarvelo {

std::string IVRDS_IIS_WebSCoorApplyIsapi::SpplyVanDataBySQL(std::string_view sSQL) {
    return m_rio.narrow("SpplyVanDataBySQL", {{"sSQL", throughCp936(sSQL)}});
}

std::string IVRDS_IIS_WebSCoorApplyIsapi::SpplyVrdDataBySQL(std::string_view sSQL) {
    return m_rio.narrow("SpplyVrdDataBySQL", {{"sSQL", throughCp936(sSQL)}});
}

std::string IVRDS_IIS_WebSCoorApplyIsapi::SpplyVanGuids() {
    return m_rio.narrow("SpplyVanGuids", {});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::SpplyVanSequences(std::string_view sSQL) {
    return m_rio.integer("SpplyVanSequences", {{"sSQL", throughCp936(sSQL)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVanDataByExc(std::string_view sSQL) {
    return m_rio.integer("ApplyVanDataByExc", {{"sSQL", throughCp936(sSQL)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVanDataByExcExp(std::string_view sSQL) {
    return m_rio.integer("ApplyVanDataByExcExp", {{"sSQL", throughCp936(sSQL)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVanDataBySQL(std::string_view sSQL,
                                                             std::string_view sDelta) {
    return m_rio.integer("ApplyVanDataBySQL",
                         {{"sSQL", throughCp936(sSQL)}, {"sDelta", throughCp936(sDelta)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVrdDataBySQL(std::string_view sSQL,
                                                             std::string_view sDelta) {
    return m_rio.integer("ApplyVrdDataBySQL",
                         {{"sSQL", throughCp936(sSQL)}, {"sDelta", throughCp936(sDelta)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVanDataBySQLupKeyChanged(std::string_view sSQL,
                                                                         std::string_view sDelta,
                                                                         std::string_view sKey) {
    return m_rio.integer("ApplyVanDataBySQLupKeyChanged", {{"sSQL", throughCp936(sSQL)},
                                                           {"sDelta", throughCp936(sDelta)},
                                                           {"sKey", throughCp936(sKey)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVrdDataBySQLupKeyChanged(std::string_view sSQL,
                                                                         std::string_view sDelta,
                                                                         std::string_view sKey) {
    return m_rio.integer("ApplyVrdDataBySQLupKeyChanged", {{"sSQL", throughCp936(sSQL)},
                                                           {"sDelta", throughCp936(sDelta)},
                                                           {"sKey", throughCp936(sKey)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVanDataBySQLupKeyChangedExc(
    std::string_view sSQL, std::string_view sDelta) {
    return m_rio.integer("ApplyVanDataBySQLupKeyChangedExc",
                         {{"sSQL", throughCp936(sSQL)}, {"sDelta", throughCp936(sDelta)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVrdDataBySQLupKeyChangedExc(
    std::string_view sSQL, std::string_view sDelta) {
    return m_rio.integer("ApplyVrdDataBySQLupKeyChangedExc",
                         {{"sSQL", throughCp936(sSQL)}, {"sDelta", throughCp936(sDelta)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVanDataBySQLupKeyChangedEx(
    std::string_view sSQL00, std::string_view sDelta00, std::string_view sKey00,
    std::string_view sSQL01, std::string_view sDelta01, std::string_view sKey01) {
    return m_rio.integer("ApplyVanDataBySQLupKeyChangedEx", {{"sSQL00", throughCp936(sSQL00)},
                                                             {"sDelta00", throughCp936(sDelta00)},
                                                             {"sKey00", throughCp936(sKey00)},
                                                             {"sSQL01", throughCp936(sSQL01)},
                                                             {"sDelta01", throughCp936(sDelta01)},
                                                             {"sKey01", throughCp936(sKey01)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVrdDataBySQLupKeyChangedEx(
    std::string_view sSQL00, std::string_view sDelta00, std::string_view sKey00,
    std::string_view sSQL01, std::string_view sDelta01, std::string_view sKey01) {
    return m_rio.integer("ApplyVrdDataBySQLupKeyChangedEx", {{"sSQL00", throughCp936(sSQL00)},
                                                             {"sDelta00", throughCp936(sDelta00)},
                                                             {"sKey00", throughCp936(sKey00)},
                                                             {"sSQL01", throughCp936(sSQL01)},
                                                             {"sDelta01", throughCp936(sDelta01)},
                                                             {"sKey01", throughCp936(sKey01)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVanDataBySQLupKeyChangedExs(
    std::string_view sSQL00, std::string_view sDelta00, std::string_view sKey00,
    std::string_view sSQL01, std::string_view sDelta01, std::string_view sKey01,
    std::string_view sSQL02, std::string_view sDelta02, std::string_view sKey02,
    std::string_view sSQL03, std::string_view sDelta03, std::string_view sKey03,
    std::string_view sSQL04, std::string_view sDelta04, std::string_view sKey04,
    std::string_view sSQL05, std::string_view sDelta05, std::string_view sKey05,
    std::string_view sSQL06, std::string_view sDelta06, std::string_view sKey06,
    std::string_view sSQL07, std::string_view sDelta07, std::string_view sKey07,
    std::string_view sSQL08, std::string_view sDelta08, std::string_view sKey08,
    std::string_view sSQL09, std::string_view sDelta09, std::string_view sKey09) {
    return m_rio.integer(
        "ApplyVanDataBySQLupKeyChangedExs",
        {{"sSQL00", throughCp936(sSQL00)},     {"sDelta00", throughCp936(sDelta00)},
         {"sKey00", throughCp936(sKey00)},     {"sSQL01", throughCp936(sSQL01)},
         {"sDelta01", throughCp936(sDelta01)}, {"sKey01", throughCp936(sKey01)},
         {"sSQL02", throughCp936(sSQL02)},     {"sDelta02", throughCp936(sDelta02)},
         {"sKey02", throughCp936(sKey02)},     {"sSQL03", throughCp936(sSQL03)},
         {"sDelta03", throughCp936(sDelta03)}, {"sKey03", throughCp936(sKey03)},
         {"sSQL04", throughCp936(sSQL04)},     {"sDelta04", throughCp936(sDelta04)},
         {"sKey04", throughCp936(sKey04)},     {"sSQL05", throughCp936(sSQL05)},
         {"sDelta05", throughCp936(sDelta05)}, {"sKey05", throughCp936(sKey05)},
         {"sSQL06", throughCp936(sSQL06)},     {"sDelta06", throughCp936(sDelta06)},
         {"sKey06", throughCp936(sKey06)},     {"sSQL07", throughCp936(sSQL07)},
         {"sDelta07", throughCp936(sDelta07)}, {"sKey07", throughCp936(sKey07)},
         {"sSQL08", throughCp936(sSQL08)},     {"sDelta08", throughCp936(sDelta08)},
         {"sKey08", throughCp936(sKey08)},     {"sSQL09", throughCp936(sSQL09)},
         {"sDelta09", throughCp936(sDelta09)}, {"sKey09", throughCp936(sKey09)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVrdDataBySQLupKeyChangedExs(
    std::string_view sSQL00, std::string_view sDelta00, std::string_view sKey00,
    std::string_view sSQL01, std::string_view sDelta01, std::string_view sKey01,
    std::string_view sSQL02, std::string_view sDelta02, std::string_view sKey02,
    std::string_view sSQL03, std::string_view sDelta03, std::string_view sKey03,
    std::string_view sSQL04, std::string_view sDelta04, std::string_view sKey04,
    std::string_view sSQL05, std::string_view sDelta05, std::string_view sKey05,
    std::string_view sSQL06, std::string_view sDelta06, std::string_view sKey06,
    std::string_view sSQL07, std::string_view sDelta07, std::string_view sKey07,
    std::string_view sSQL08, std::string_view sDelta08, std::string_view sKey08,
    std::string_view sSQL09, std::string_view sDelta09, std::string_view sKey09) {
    return m_rio.integer(
        "ApplyVrdDataBySQLupKeyChangedExs",
        {{"sSQL00", throughCp936(sSQL00)},     {"sDelta00", throughCp936(sDelta00)},
         {"sKey00", throughCp936(sKey00)},     {"sSQL01", throughCp936(sSQL01)},
         {"sDelta01", throughCp936(sDelta01)}, {"sKey01", throughCp936(sKey01)},
         {"sSQL02", throughCp936(sSQL02)},     {"sDelta02", throughCp936(sDelta02)},
         {"sKey02", throughCp936(sKey02)},     {"sSQL03", throughCp936(sSQL03)},
         {"sDelta03", throughCp936(sDelta03)}, {"sKey03", throughCp936(sKey03)},
         {"sSQL04", throughCp936(sSQL04)},     {"sDelta04", throughCp936(sDelta04)},
         {"sKey04", throughCp936(sKey04)},     {"sSQL05", throughCp936(sSQL05)},
         {"sDelta05", throughCp936(sDelta05)}, {"sKey05", throughCp936(sKey05)},
         {"sSQL06", throughCp936(sSQL06)},     {"sDelta06", throughCp936(sDelta06)},
         {"sKey06", throughCp936(sKey06)},     {"sSQL07", throughCp936(sSQL07)},
         {"sDelta07", throughCp936(sDelta07)}, {"sKey07", throughCp936(sKey07)},
         {"sSQL08", throughCp936(sSQL08)},     {"sDelta08", throughCp936(sDelta08)},
         {"sKey08", throughCp936(sKey08)},     {"sSQL09", throughCp936(sSQL09)},
         {"sDelta09", throughCp936(sDelta09)}, {"sKey09", throughCp936(sKey09)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVanDataBySQLupKeyChangedExcs(
    std::string_view sSQL, std::string_view sDelta00, std::string_view sDelta01,
    std::string_view sDelta02, std::string_view sDelta03, std::string_view sDelta04,
    std::string_view sDelta05, std::string_view sDelta06, std::string_view sDelta07,
    std::string_view sDelta08, std::string_view sDelta09) {
    return m_rio.integer("ApplyVanDataBySQLupKeyChangedExcs",
                         {{"sSQL", throughCp936(sSQL)},
                          {"sDelta00", throughCp936(sDelta00)},
                          {"sDelta01", throughCp936(sDelta01)},
                          {"sDelta02", throughCp936(sDelta02)},
                          {"sDelta03", throughCp936(sDelta03)},
                          {"sDelta04", throughCp936(sDelta04)},
                          {"sDelta05", throughCp936(sDelta05)},
                          {"sDelta06", throughCp936(sDelta06)},
                          {"sDelta07", throughCp936(sDelta07)},
                          {"sDelta08", throughCp936(sDelta08)},
                          {"sDelta09", throughCp936(sDelta09)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVrdDataBySQLupKeyChangedExcs(
    std::string_view sSQL, std::string_view sDelta00, std::string_view sDelta01,
    std::string_view sDelta02, std::string_view sDelta03, std::string_view sDelta04,
    std::string_view sDelta05, std::string_view sDelta06, std::string_view sDelta07,
    std::string_view sDelta08, std::string_view sDelta09) {
    return m_rio.integer("ApplyVrdDataBySQLupKeyChangedExcs",
                         {{"sSQL", throughCp936(sSQL)},
                          {"sDelta00", throughCp936(sDelta00)},
                          {"sDelta01", throughCp936(sDelta01)},
                          {"sDelta02", throughCp936(sDelta02)},
                          {"sDelta03", throughCp936(sDelta03)},
                          {"sDelta04", throughCp936(sDelta04)},
                          {"sDelta05", throughCp936(sDelta05)},
                          {"sDelta06", throughCp936(sDelta06)},
                          {"sDelta07", throughCp936(sDelta07)},
                          {"sDelta08", throughCp936(sDelta08)},
                          {"sDelta09", throughCp936(sDelta09)}});
}

std::string IVRDS_IIS_WebSCoorApplyIsapi::ApplyVanDataBySQLupKeyChangedExcA(
    std::string_view sSQL, std::string_view sDelta00) {
    return m_rio.narrow("ApplyVanDataBySQLupKeyChangedExcA",
                        {{"sSQL", throughCp936(sSQL)}, {"sDelta00", throughCp936(sDelta00)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVanDataBySQLupKeyChangedExc1(
    std::string_view sSQL, std::string_view sDelta00) {
    return m_rio.integer("ApplyVanDataBySQLupKeyChangedExc1",
                         {{"sSQL", throughCp936(sSQL)}, {"sDelta00", throughCp936(sDelta00)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVanDataBySQLupKeyChangedKey1(
    std::string_view sSQL, std::string_view sKey, std::string_view sDelta00) {
    return m_rio.integer("ApplyVanDataBySQLupKeyChangedKey1",
                         {{"sSQL", throughCp936(sSQL)},
                          {"sKey", throughCp936(sKey)},
                          {"sDelta00", throughCp936(sDelta00)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVanChangedExc1(std::string_view sSQL,
                                                               std::string_view sDelta00) {
    return m_rio.integer("ApplyVanChangedExc1",
                         {{"sSQL", throughCp936(sSQL)}, {"sDelta00", throughCp936(sDelta00)}});
}

std::string IVRDS_IIS_WebSCoorApplyIsapi::ApplyVrdDataBySQLupKeyChangedExcA(
    std::string_view sSQL, std::string_view sDelta00) {
    return m_rio.narrow("ApplyVrdDataBySQLupKeyChangedExcA",
                        {{"sSQL", throughCp936(sSQL)}, {"sDelta00", throughCp936(sDelta00)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVrdDataBySQLupKeyChangedExc1(
    std::string_view sSQL, std::string_view sDelta00) {
    return m_rio.integer("ApplyVrdDataBySQLupKeyChangedExc1",
                         {{"sSQL", throughCp936(sSQL)}, {"sDelta00", throughCp936(sDelta00)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVrdDataBySQLupKeyChangedKey1(
    std::string_view sSQL, std::string_view sDelta00) {
    return m_rio.integer("ApplyVrdDataBySQLupKeyChangedKey1",
                         {{"sSQL", throughCp936(sSQL)}, {"sDelta00", throughCp936(sDelta00)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyB64DataBySQLupKeyChangedExc1(
    std::string_view sSQL, std::string_view sDelta00) {
    return m_rio.integer("ApplyB64DataBySQLupKeyChangedExc1",
                         {{"sSQL", throughCp936(sSQL)}, {"sDelta00", throughCp936(sDelta00)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVanDataBySQLupKeyChangedExc2(
    std::string_view sSQL, std::string_view sDelta00, std::string_view sDelta01) {
    return m_rio.integer("ApplyVanDataBySQLupKeyChangedExc2",
                         {{"sSQL", throughCp936(sSQL)},
                          {"sDelta00", throughCp936(sDelta00)},
                          {"sDelta01", throughCp936(sDelta01)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVrdDataBySQLupKeyChangedExc2(
    std::string_view sSQL, std::string_view sDelta00, std::string_view sDelta01) {
    return m_rio.integer("ApplyVrdDataBySQLupKeyChangedExc2",
                         {{"sSQL", throughCp936(sSQL)},
                          {"sDelta00", throughCp936(sDelta00)},
                          {"sDelta01", throughCp936(sDelta01)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVanDataBySQLupKeyChangedExc3(
    std::string_view sSQL, std::string_view sDelta00, std::string_view sDelta01,
    std::string_view sDelta02) {
    return m_rio.integer("ApplyVanDataBySQLupKeyChangedExc3",
                         {{"sSQL", throughCp936(sSQL)},
                          {"sDelta00", throughCp936(sDelta00)},
                          {"sDelta01", throughCp936(sDelta01)},
                          {"sDelta02", throughCp936(sDelta02)}});
}

std::int32_t IVRDS_IIS_WebSCoorApplyIsapi::ApplyVrdDataBySQLupKeyChangedExc3(
    std::string_view sSQL, std::string_view sDelta00, std::string_view sDelta01,
    std::string_view sDelta02) {
    return m_rio.integer("ApplyVrdDataBySQLupKeyChangedExc3",
                         {{"sSQL", throughCp936(sSQL)},
                          {"sDelta00", throughCp936(sDelta00)},
                          {"sDelta01", throughCp936(sDelta01)},
                          {"sDelta02", throughCp936(sDelta02)}});
}

std::vector<double> IVRDS_IIS_WebSCoorApplyIsapi::echoDoubleArray(
    const std::vector<double>& daValue) {
    return m_rio.reals("echoDoubleArray", {{"daValue", daValue}});
}

double IVRDS_IIS_WebSCoorApplyIsapi::echoDouble(double dValue) {
    return m_rio.real("echoDouble", {{"dValue", dValue}});
}

}  // namespace tarvelo
