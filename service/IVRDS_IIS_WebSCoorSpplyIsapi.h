#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelo {

class SoapClient;

// The read-side interface of the service: every operation it declares, in declaration order, with
// its parameters as declared. Narrow strings cross the code page 936 round trip both ways; wide
// strings travel as they are. Failures raise errors (see SoapClient).
class IVRDS_IIS_WebSCoorSpplyIsapi {
public:
    explicit IVRDS_IIS_WebSCoorSpplyIsapi(SoapClient& rio) : m_rio(rio) {}

    std::string EnVerifs(std::string_view Src);
    std::string DeVerifs(std::string_view Src);
    std::string SpplyVanDataBySQL(std::string_view sSQL);
    // The same answer handed to `sink` piece by piece as it arrives (see SoapClient::narrowInto).
    void SpplyVanDataBySQL(std::string_view sSQL,
                           const std::function<void(std::string_view)>& sink);
    std::string SpplyVanDataBySQLs(std::string_view sSQLs);
    std::string SpplyVrdDataBySQL(std::string_view sSQL);
    std::string SpplyJpgByEncoded(std::string_view sFileName);
    std::string GetFileByEncoded(std::string_view sFileName);
    std::string PutFileByDecoded(std::string_view sFileName, std::string_view Encodes);
    std::string GetFileByEnCompressed(std::string_view sFileName);
    std::string PutFileByDeCompressed(std::string_view sEnCompressed, std::string_view sFileName);
    std::string SpplyJpgFileLists(std::string_view sFilePath);
    std::string SetupGoing(std::string_view Going, std::string_view Vers);
    std::string GetFileExtLists(std::string_view sFilePath);
    std::string ExistsFileName(std::string_view sFilePath);
    std::string GetExtFileTXTs(std::string_view sFilePath, std::string_view sExt);
    std::string GetExtFileXMLs(std::string_view sFilePath, std::string_view sExt);
    std::string ExistsFilePath(std::string_view sFilePath);
    std::string CreateFilePath(std::string_view sFilePath);
    std::int32_t ApplyVanDataBySQL(std::string_view sSQL, std::string_view sDelta);
    std::int32_t ApplyVanDataBySQLupKeyChanged(std::string_view sSQL, std::string_view sDelta,
                                               std::string_view sKey);
    std::int32_t ApplyVrdDataBySQLupKeyChanged(std::string_view sSQL, std::string_view sDelta,
                                               std::string_view sKey);
    std::vector<double> echoDoubleArray(const std::vector<double>& daValue);
    double echoDouble(double dValue);

private:
    SoapClient& m_rio;
};

}  // namespace tarvelo
