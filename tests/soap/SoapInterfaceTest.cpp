#include <gtest/gtest.h>

#include "soap/SoapInterface.h"

namespace tarvelo {
namespace {

std::string signature(const SoapOperation& op) {
    static const char* const types[] = {"string", "wide", "int", "double", "double[]"};
    std::string s(op.name);
    s += "(";
    for (const auto& p : op.params) {
        if (s.back() != '(') s += ", ";
        s += std::string(p.name) + " " + types[static_cast<int>(p.type)];
    }
    return s + ") " + types[static_cast<int>(op.result)];
}

TEST(SoapInterface, BothSidesDeclareEveryOperationInOrder) {
    const auto& supply = SoapInterface::supply();
    const auto& apply = SoapInterface::apply();
    ASSERT_EQ(supply.operations.size(), 23u);
    ASSERT_EQ(apply.operations.size(), 32u);
    const std::pair<const SoapInterface*, std::vector<std::pair<std::size_t, std::string>>>
        cases[] = {
            {&supply,
             {{0, "EnVerifs(Src string) string"},
              {2, "SpplyVanDataBySQL(sSQL string) string"},
              {11, "SetupGoing(Going wide, Vers wide) string"},
              {14, "GetExtFileTXTs(sFilePath wide, sExt wide) wide"},
              {21, "echoDoubleArray(daValue double[]) double[]"},
              {22, "echoDouble(dValue double) double"}}},
            {&apply,
             {{2, "SpplyVanGuids() string"},
              {4, "ApplyVanDataByExc(sSQL string) int"},
              {13,
               "ApplyVrdDataBySQLupKeyChangedEx(sSQL00 string, sDelta00 string, sKey00 string, "
               "sSQL01 string, sDelta01 string, sKey01 string) int"},
              {19, "ApplyVanDataBySQLupKeyChangedExc1(sSQL string, sDelta00 string) int"},
              {20,
               "ApplyVanDataBySQLupKeyChangedKey1(sSQL string, sKey string, sDelta00 string) int"},
              {24, "ApplyVrdDataBySQLupKeyChangedKey1(sSQL string, sDelta00 string) int"}}},
        };
    for (const auto& [side, expected] : cases)
        for (const auto& [index, text] : expected)
            EXPECT_EQ(signature(side->operations[index]), text);
    EXPECT_EQ(apply.operations[14].params.size(), 30u);  // ten triples
    EXPECT_EQ(apply.operations[14].params[29].name, "sKey09");
    EXPECT_EQ(apply.operations[16].params.size(), 11u);  // sSQL, sDelta00 .. sDelta09
}

TEST(SoapInterface, SoapActionIsTheFilledTemplateInQuotes) {
    EXPECT_EQ(SoapInterface::supply().soapAction("SpplyVanDataBySQL"),
              "\"urn:VRDS_IIS_WebSCoorSpplyIsapi-IVRDS_IIS_WebSCoorSpplyIsapi#SpplyVanDataBySQL\"");
    EXPECT_EQ(SoapInterface::apply().soapAction("ApplyVanDataByExc"),
              "\"urn:VRDS_IIS_WebSCoorApplyIsapi-IVRDS_IIS_WebSCoorApplyIsapi#ApplyVanDataByExc\"");
    EXPECT_EQ(SoapInterface::apply().find("EnVerifs"), nullptr);
    EXPECT_NE(SoapInterface::supply().find("EnVerifs"), nullptr);
}

}  // namespace
}  // namespace tarvelo
