#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelo {

class SoapClient;

// The write-side interface of the service: every operation it declares, in declaration order, with
// its parameters as declared. Narrow strings cross the code page 936 round trip both ways; wide
// strings travel as they are. Failures raise errors (see SoapClient).
class IVRDS_IIS_WebSCoorApplyIsapi {
public:
    explicit IVRDS_IIS_WebSCoorApplyIsapi(SoapClient& rio) : m_rio(rio) {}

    std::string SpplyVanDataBySQL(std::string_view sSQL);
    std::string SpplyVrdDataBySQL(std::string_view sSQL);
    std::string SpplyVanGuids();
    std::int32_t SpplyVanSequences(std::string_view sSQL);
    std::int32_t ApplyVanDataByExc(std::string_view sSQL);
    std::int32_t ApplyVanDataByExcExp(std::string_view sSQL);
    std::int32_t ApplyVanDataBySQL(std::string_view sSQL, std::string_view sDelta);
    std::int32_t ApplyVrdDataBySQL(std::string_view sSQL, std::string_view sDelta);
    std::int32_t ApplyVanDataBySQLupKeyChanged(std::string_view sSQL, std::string_view sDelta,
                                               std::string_view sKey);
    std::int32_t ApplyVrdDataBySQLupKeyChanged(std::string_view sSQL, std::string_view sDelta,
                                               std::string_view sKey);
    std::int32_t ApplyVanDataBySQLupKeyChangedExc(std::string_view sSQL, std::string_view sDelta);
    std::int32_t ApplyVrdDataBySQLupKeyChangedExc(std::string_view sSQL, std::string_view sDelta);
    std::int32_t ApplyVanDataBySQLupKeyChangedEx(std::string_view sSQL00, std::string_view sDelta00,
                                                 std::string_view sKey00, std::string_view sSQL01,
                                                 std::string_view sDelta01,
                                                 std::string_view sKey01);
    std::int32_t ApplyVrdDataBySQLupKeyChangedEx(std::string_view sSQL00, std::string_view sDelta00,
                                                 std::string_view sKey00, std::string_view sSQL01,
                                                 std::string_view sDelta01,
                                                 std::string_view sKey01);
    std::int32_t ApplyVanDataBySQLupKeyChangedExs(
        std::string_view sSQL00, std::string_view sDelta00, std::string_view sKey00,
        std::string_view sSQL01, std::string_view sDelta01, std::string_view sKey01,
        std::string_view sSQL02, std::string_view sDelta02, std::string_view sKey02,
        std::string_view sSQL03, std::string_view sDelta03, std::string_view sKey03,
        std::string_view sSQL04, std::string_view sDelta04, std::string_view sKey04,
        std::string_view sSQL05, std::string_view sDelta05, std::string_view sKey05,
        std::string_view sSQL06, std::string_view sDelta06, std::string_view sKey06,
        std::string_view sSQL07, std::string_view sDelta07, std::string_view sKey07,
        std::string_view sSQL08, std::string_view sDelta08, std::string_view sKey08,
        std::string_view sSQL09, std::string_view sDelta09, std::string_view sKey09);
    std::int32_t ApplyVrdDataBySQLupKeyChangedExs(
        std::string_view sSQL00, std::string_view sDelta00, std::string_view sKey00,
        std::string_view sSQL01, std::string_view sDelta01, std::string_view sKey01,
        std::string_view sSQL02, std::string_view sDelta02, std::string_view sKey02,
        std::string_view sSQL03, std::string_view sDelta03, std::string_view sKey03,
        std::string_view sSQL04, std::string_view sDelta04, std::string_view sKey04,
        std::string_view sSQL05, std::string_view sDelta05, std::string_view sKey05,
        std::string_view sSQL06, std::string_view sDelta06, std::string_view sKey06,
        std::string_view sSQL07, std::string_view sDelta07, std::string_view sKey07,
        std::string_view sSQL08, std::string_view sDelta08, std::string_view sKey08,
        std::string_view sSQL09, std::string_view sDelta09, std::string_view sKey09);
    std::int32_t ApplyVanDataBySQLupKeyChangedExcs(
        std::string_view sSQL, std::string_view sDelta00, std::string_view sDelta01,
        std::string_view sDelta02, std::string_view sDelta03, std::string_view sDelta04,
        std::string_view sDelta05, std::string_view sDelta06, std::string_view sDelta07,
        std::string_view sDelta08, std::string_view sDelta09);
    std::int32_t ApplyVrdDataBySQLupKeyChangedExcs(
        std::string_view sSQL, std::string_view sDelta00, std::string_view sDelta01,
        std::string_view sDelta02, std::string_view sDelta03, std::string_view sDelta04,
        std::string_view sDelta05, std::string_view sDelta06, std::string_view sDelta07,
        std::string_view sDelta08, std::string_view sDelta09);
    std::string ApplyVanDataBySQLupKeyChangedExcA(std::string_view sSQL, std::string_view sDelta00);
    std::int32_t ApplyVanDataBySQLupKeyChangedExc1(std::string_view sSQL,
                                                   std::string_view sDelta00);
    std::int32_t ApplyVanDataBySQLupKeyChangedKey1(std::string_view sSQL, std::string_view sKey,
                                                   std::string_view sDelta00);
    std::int32_t ApplyVanChangedExc1(std::string_view sSQL, std::string_view sDelta00);
    std::string ApplyVrdDataBySQLupKeyChangedExcA(std::string_view sSQL, std::string_view sDelta00);
    std::int32_t ApplyVrdDataBySQLupKeyChangedExc1(std::string_view sSQL,
                                                   std::string_view sDelta00);
    std::int32_t ApplyVrdDataBySQLupKeyChangedKey1(std::string_view sSQL,
                                                   std::string_view sDelta00);
    std::int32_t ApplyB64DataBySQLupKeyChangedExc1(std::string_view sSQL,
                                                   std::string_view sDelta00);
    std::int32_t ApplyVanDataBySQLupKeyChangedExc2(std::string_view sSQL, std::string_view sDelta00,
                                                   std::string_view sDelta01);
    std::int32_t ApplyVrdDataBySQLupKeyChangedExc2(std::string_view sSQL, std::string_view sDelta00,
                                                   std::string_view sDelta01);
    std::int32_t ApplyVanDataBySQLupKeyChangedExc3(std::string_view sSQL, std::string_view sDelta00,
                                                   std::string_view sDelta01,
                                                   std::string_view sDelta02);
    std::int32_t ApplyVrdDataBySQLupKeyChangedExc3(std::string_view sSQL, std::string_view sDelta00,
                                                   std::string_view sDelta01,
                                                   std::string_view sDelta02);
    std::vector<double> echoDoubleArray(const std::vector<double>& daValue);
    double echoDouble(double dValue);

private:
    SoapClient& m_rio;
};

}  // namespace tarvelo
