#include <gtest/gtest.h>

#include <string>

#include "contract/Contract.h"
#include "contract/Wire.h"
#include "data/DataSet.h"
#include "platform/ScriptedPlatform.h"
#include "service/IISdm.h"
#include "support/Administrator.h"
#include "support/RawHttpListener.h"
#include "support/TestService.h"

namespace tarvelo::test {
namespace {

using Event = ScriptedPlatform::Event;

// Three columns of the user table, as a packet without rows.
const std::string kUserFields = R"(<FIELD attrname="USERID" fieldtype="string" WIDTH="32"/>)"
                                R"(<FIELD attrname="USERNAME" fieldtype="string" WIDTH="32"/>)"
                                R"(<FIELD attrname="DATABZ" fieldtype="string" WIDTH="2"/>)";

const std::string kNoUsers =
    R"(<?xml version="1.0" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)" +
    kUserFields + R"(</FIELDS><PARAMS/></METADATA><ROWDATA/></DATAPACKET>)";

class ApplyDeltaContract : public ::testing::Test {
protected:
    void SetUp() override {
        service.exec("INSERT INTO KVR_USERH (USERID,USERNAME,DATABZ) VALUES ('amy','艾米','10')");
    }
    // One account pending as an insertion.
    void newUser(DataSet& users, std::string_view id, std::string_view name) {
        users.loadPacket(kNoUsers);
        users.append();
        users.fieldByName("USERID").setText(id);
        users.fieldByName("USERNAME").setText(name);
        users.fieldByName("DATABZ").setText("00");
        users.post();
    }

    TestService service;
    ScriptedPlatform platform;
    TIISdmPtr module{administrator(service), platform};
};

// The delta is narrow text: it crosses code page 936 before it is sent, so Chinese travels
// intact and what the code page cannot hold arrives as "?"; the envelope carries it in UTF-8, as
// its charset says. The parameter text is the four published lines.
TEST_F(ApplyDeltaContract, TheDeltaCrossesCodePage936AndComesWithThePublishedParameterText) {
    const std::string answer =
        R"(<?xml version="1.0"?><S:Envelope xmlns:S="http://schemas.xmlsoap.org/soap/envelope/">)"
        R"(<S:Body><r:ApplyVanDataBySQLupKeyChangedExc1Response xmlns:r="urn:x">)"
        R"(<return>0</return></r:ApplyVanDataBySQLupKeyChangedExc1Response></S:Body></S:Envelope>)";
    RawHttpListener write(200, answer, "text/xml");
    module.ApplyHTTPRIO.setUrl(write.base() + "/soap/x");
    DataSet users;
    newUser(users, "gang", "热轧钢筋¥😀");
    EXPECT_EQ(module.ApplyDelta(users, "KVR_USERH", "USERID", "DATABZ,TEL"), 0);

    ASSERT_EQ(write.requests().size(), 1u);
    const wire::HttpRequest request = wire::parseRequest(write.requests()[0]);
    // The bytes themselves: 热轧钢筋 in UTF-8 (in code page 936 it would be C8 C8 D4 FE B8 D6
    // BD EE), then one "?" for each character the code page lacks.
    EXPECT_NE(request.body.find("USERNAME=&quot;\xE7\x83\xAD\xE8\xBD\xA7\xE9\x92\xA2\xE7\xAD\x8B"
                                "??&quot;"),
              std::string::npos)
        << request.body;
    pugi::xml_document doc;
    const auto element = wire::bodyElement(doc, request.body);
    ASSERT_TRUE(element) << request.body;
    EXPECT_EQ(wire::param(element, "sSQL"),
              "SQL00=Select 'AAA' AAA From KVR_USERH Where 1=2\r\n"
              "Key00=ResolveToSQL;upWhereChanged;USERID\r\n"
              "Inc00=\r\n"
              "Exc00=DATABZ,TEL\r\n");
    EXPECT_EQ(
        wire::param(element, "sDelta00"),
        R"(<?xml version="1.0" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)" +
            kUserFields +
            R"(</FIELDS><PARAMS DATASET_DELTA="1"/></METADATA><ROWDATA>)"
            R"(<ROW RowState="4" USERID="gang" USERNAME="热轧钢筋??" DATABZ="00"/>)"
            R"(</ROWDATA></DATAPACKET>)");

    // The service stores what arrived.
    DataSet again;
    newUser(again, "gang", "热轧钢筋¥😀");
    module.ApplyHTTPRIO.setUrl(service.url(SoapInterface::apply()));
    EXPECT_EQ(module.ApplyDelta(again, "KVR_USERH", "USERID", ""), 0);
    EXPECT_EQ(service.scalar("select USERNAME from KVR_USERH where USERID='gang'"), "热轧钢筋??");
}

// However the call ends, the cursor is the one ApplyDelta found, not the default one.
TEST_F(ApplyDeltaContract, TheCursorFoundIsTheCursorLeft) {
    const std::string unreachable = "http://127.0.0.1:" + std::to_string(closedPort()) + "/soap/x";
    const struct {
        const char* path;
        Cursor found;
        const char* foundName;
        std::string_view user;  // "amy" is taken: the service refuses her
        std::string url;
        int result;
    } cases[] = {
        {"applied", Cursor::Hourglass, "hourglass", "hal", service.url(SoapInterface::apply()), 0},
        {"refused", Cursor::Hourglass, "hourglass", "amy", service.url(SoapInterface::apply()), 1},
        {"unreachable", Cursor::Hourglass, "hourglass", "ida", unreachable, 7},
        {"applied", Cursor::DatabaseWait, "database-wait", "jan",
         service.url(SoapInterface::apply()), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        DataSet users;
        newUser(users, c.user, "某人");
        module.ApplyHTTPRIO.setUrl(c.url);
        platform.setCursor(c.found);
        platform.clear();
        EXPECT_EQ(module.ApplyDelta(users, "KVR_USERH", "USERID", ""), c.result);
        EXPECT_EQ(platform.cursor(), c.found);
        ASSERT_GE(platform.events().size(), 3u);  // hourglass, a message, the cursor put back
        EXPECT_EQ(platform.events().front(), (Event{Event::SetCursor, "hourglass"}));
        EXPECT_EQ(platform.events().back(), (Event{Event::SetCursor, c.foundName}));
    }
}

}  // namespace
}  // namespace tarvelo::test
