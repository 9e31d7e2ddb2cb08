// The service knows who calls and what each may do: what a client that follows the rules does
// still works, and whatever else anyone sends is refused and changes nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "data/DataPacket.h"
#include "server/http/HttpEndpoint.h"
#include "server/policy/ClientStatements.h"
#include "server/policy/CookieSessions.h"
#include "soap/SoapFault.h"
#include "support/Packets.h"
#include "support/SoapCaller.h"
#include "support/TestService.h"
#include "text/Base64.h"

namespace tarvelo::test {
namespace {

using server::ClientStatement;
using server::ClientStatements;

TEST(ClientStatements, TheClientsTextsPassAndNothingElse) {
    const struct {
        std::string sql;
        bool read;  // sent to the read side; else ApplyVanDataByExc
        std::optional<ClientStatement> kind;
    } cases[] = {
        {" SELECT u.USERID,u.USERNAME,u.PASSWORD,u.PWBZ,u.SYSBZ,u.DATABZ,u.TEL,u.VERIFY \r\n"
         " FROM KVR_USERH u \r\n Where u.USERID='amy'  \r\n",
         true, ClientStatement::LoginLookup},
        // As an XML reader hands it over: line ends as LF.
        {"Select * From KVR_USERH  \nWhere USERID=' O''Neil'  \n", true,
         ClientStatement::AccountLookup},
        {"select ID,IDDESC FROM KVR_REGION ORDER BY ID ", true, ClientStatement::RegionList},
        {"with AAA as\r\n(\r\n Select coalesce(ITEMDESC,',') \r\n ||','||coalesce(PLACE,',') \r\n"
         " ||','||coalesce(PERDID,',') \r\n MERG\r\n"
         ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL,XXJ,SERIAL \r\n"
         " From KVR_XXJ\r\n WHERE PLACE='南湖区' \r\n and PERDID='202612' \r\n ) \r\n"
         " Select DISTINCT ITEMDESC from AAA  \r\n where PosStr(MERG,'钢')>=1\r\n",
         true, ClientStatement::Suggestion},
        {" Select count(*) AS N \r\n FROM KVR_CSJ \r\n where PERDID='202612'\r\n"
         " and ICEXT='钢材'\r\n",
         true, ClientStatement::StoredCount},
        {" Select PERDID,CSJ From KVR_CSJ \r\n Where ICEXT='钢材'\r\n and ITEMDESC='钢管'\r\n"
         " and coalesce(SPECID,'')=''\r\n and coalesce(MODEL,'')=''\r\n"
         " and PERDID>='202601' and PERDID<='202612'\r\n Order By PERDID,SERIAL \r\n",
         true, ClientStatement::Trend},
        {" Insert into KVR_LOGIN(USERID,MAC,RQ)  \r\n Values(   'amy'\r\n,'BFEBFBFF000906EA'\r\n"
         ",'20261211'\r\n             )\r\n",
         false, ClientStatement::SessionRegister},
        {"update KVR_USERH set VERIFY='' where USERID='amy'", false, ClientStatement::VerifyUpdate},
        {" DELETE FROM KVR_LOGIN  \r\n WHERE USERID='amy'\r\n", false,
         ClientStatement::SessionRelease},
        // Anything else, however close.
        {"Select * From KVR_USERH  \nWhere USERID='' or ''=''  \n", true, std::nullopt},
        {"Select * From KVR_USERH  \nWhere USERID='amy'  \n--", true, std::nullopt},
        {"Select * From KVR_USERH  \nWhere USERID='amy'\n", true, std::nullopt},
        {"select EMAIL,PASSWORD from KVR_USERH", true, std::nullopt},
        {" Select * \n FROM KVR_XXJ \n where PERDID='2026121'\n", true, std::nullopt},
        {" Select * \n FROM KVR_USERH \n where PERDID='202612'\n", true, std::nullopt},
        {"update KVR_USERH set VERIFY='bfebfbff000906ea' where USERID='amy'", false, std::nullopt},
        {"update KVR_USERH set DATABZ='11' where USERID='amy'", false, std::nullopt},
        {" DELETE FROM KVR_LOGIN  \n WHERE USERID='" + std::string(33, 'a') + "'\n", false,
         std::nullopt},
        {" DELETE FROM KVR_LOGIN  \n WHERE USERID='amy'\n", true, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto m = c.read ? ClientStatements::read(c.sql) : ClientStatements::exec(c.sql);
        EXPECT_EQ(m.has_value(), c.kind.has_value()) << c.sql;
        if (m && c.kind) {
            EXPECT_EQ(m->kind, *c.kind) << c.sql;
        }
    }
    EXPECT_EQ(
        ClientStatements::read("Select * From KVR_USERH  \nWhere USERID=' O''Neil'  \n")->values,
        std::vector<std::string>{" O'Neil"});
}

// The rows of a packet, by column name; empty for a text that is no packet.
std::vector<std::map<std::string, std::string>> rowsOf(const std::string& answer) {
    std::vector<std::map<std::string, std::string>> out;
    if (!answer.starts_with("<?xml")) return out;
    const DataPacket p = DataPacket::parse(answer);
    for (const auto& row : p.rows) {
        auto& r = out.emplace_back();
        for (std::size_t i = 0; i < p.fields.size(); ++i)
            r[p.fields[i].name] = std::string(row.value(i));
    }
    return out;
}

std::string source(std::string_view password) {
    return base64Encode(password);
}

constexpr std::string_view kUserFields =
    R"(<FIELD attrname="USERID" fieldtype="string" WIDTH="32"/>)"
    R"(<FIELD attrname="USERNAME" fieldtype="string" WIDTH="32"/>)"
    R"(<FIELD attrname="PASSWORD" fieldtype="string" WIDTH="64"/>)"
    R"(<FIELD attrname="PWBZ" fieldtype="string" WIDTH="1"/>)"
    R"(<FIELD attrname="SYSBZ" fieldtype="string" WIDTH="1"/>)"
    R"(<FIELD attrname="DATABZ" fieldtype="string" WIDTH="2"/>)"
    R"(<FIELD attrname="EMAIL" fieldtype="string" WIDTH="64"/>)";

std::string userDelta(std::string_view rows) {
    return packet(kUserFields, rows, true);
}

constexpr std::string_view kPriceFields =
    R"(<FIELD attrname="PERDID" fieldtype="string" WIDTH="6"/>)"
    R"(<FIELD attrname="PLACE" fieldtype="string" WIDTH="40"/>)"
    R"(<FIELD attrname="SERIAL" fieldtype="i4"/>)"
    R"(<FIELD attrname="ITEMDESC" fieldtype="string" WIDTH="60"/>)"
    R"(<FIELD attrname="XXJ" fieldtype="string" WIDTH="20"/>)";

std::string priceDelta(std::string_view rows) {
    return packet(kPriceFields, rows, true);
}

const std::string kPriceParams = deltaParams("KVR_XXJ", "PERDID,PLACE,SERIAL");
const std::string kUserParams = deltaParams("KVR_USERH", "USERID");

class Accounts : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& [id, roles, sys] :
             {std::tuple{"admin", "11", "0"}, std::tuple{"editor", "10", "0"},
              std::tuple{"viewer", "00", "0"}, std::tuple{"root", "11", "1"}})
            service.exec(std::string("INSERT INTO KVR_USERH (USERID,USERNAME,PASSWORD,PWBZ,SYSBZ,"
                                     "DATABZ,TEL,QQ,EMAIL,VERIFY) VALUES ('") +
                         id + "','某人','" + form(std::string(id) + "-pw") + "','0','" + sys +
                         "','" + roles + "','13900000000','10001','" + id +
                         "@example.cn','BFEBFBFF000906EA')");
        service.exec(
            "INSERT INTO KVR_REGION VALUES ('01','南湖区');"
            "INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC,XXJ) VALUES"
            " ('202612','南湖区',1,'钢筋','4120'),('202611','南湖区',1,'钢筋','4100')");
    }
    // The stored form of a password, as the administrator reads it.
    std::string form(const std::string& password) { return service.enVerifs(source(password)); }
    // Everything a refused request must leave as it was.
    std::string everything() {
        std::string all;
        for (const char* sql :
             {"SELECT "
              "group_concat(USERID||PASSWORD||DATABZ||SYSBZ||coalesce(VERIFY,'')||EMAIL,'|') "
              "FROM KVR_USERH",
              "SELECT group_concat(PERDID||PLACE||XXJ,'|') FROM KVR_XXJ",
              "SELECT count(*) FROM KVR_LOGIN"})
            all += service.scalar(sql) + "\n";
        return all;
    }
    std::string priceQuery() {
        return " Select * \r\n FROM KVR_XXJ \r\n where PERDID='202612'\r\n and PLACE='南湖区'\r\n";
    }

    TestService service{TestService::atMachineSpeed()};
};

TEST_F(Accounts, WhatAnAccountHoldsIsShownOnlyToWhoProvedIt) {
    SoapCaller stranger(service), viewer(service), admin(service);
    const auto looked = rowsOf(stranger.query(loginLookup("admin")));
    ASSERT_EQ(looked.size(), 1u);
    EXPECT_EQ(looked[0].at("DATABZ"), "11");
    EXPECT_EQ(looked[0].at("VERIFY"), "");
    EXPECT_EQ(looked[0].at("TEL"), "");
    // A form masked for this caller: the stored one is never seen.
    EXPECT_EQ(looked[0].at("PASSWORD").size(), form("admin-pw").size());
    EXPECT_NE(looked[0].at("PASSWORD"), form("admin-pw"));
    const auto whole =
        rowsOf(stranger.query("Select * From KVR_USERH  \r\nWhere USERID='admin'  \r\n"));
    ASSERT_EQ(whole.size(), 1u);
    for (const char* hidden : {"EMAIL", "QQ", "TEL", "VERIFY"})
        EXPECT_EQ(whole[0].at(hidden), "") << hidden;

    // Proven: the account's own row in full, still with a masked form.
    viewer.signIn("viewer", "viewer-pw");
    const auto own =
        rowsOf(viewer.query("Select * From KVR_USERH  \r\nWhere USERID='viewer'  \r\n"));
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0].at("EMAIL"), "viewer@example.cn");
    EXPECT_EQ(own[0].at("VERIFY"), "BFEBFBFF000906EA");
    EXPECT_NE(own[0].at("PASSWORD"), form("viewer-pw"));
    EXPECT_EQ(rowsOf(viewer.query(loginLookup("admin")))[0].at("TEL"), "");

    // The user list: to the user-management role only, system accounts left out.
    const std::string list =
        "with aaa as \r\n( \r\nSELECT USERID,USERNAME,QQ,EMAIL,SYSBZ,TEL,DATABZ \r\n"
        ",CASE WHEN SubStr(DATABZ,1,1)='1' THEN '√' ELSE  ' ' END AS DBZ1 \r\n"
        ",CASE WHEN SubStr(DATABZ,2,1)='1' THEN '√' ELSE  ' ' END AS DBZ2 \r\n"
        "FROM KVR_USERH \r\nWhere SYSBZ<>'1' \r\nOrder By USERID \r\n) \r\n"
        "select USERID,USERNAME,QQ,EMAIL,SYSBZ,TEL,DATABZ,DBZ1,DBZ2 \r\nfrom aaa \r\n";
    EXPECT_TRUE(stranger.query(list).starts_with("<?xml"));
    EXPECT_EQ(rowsOf(stranger.query(list)).size(), 0u);
    EXPECT_EQ(rowsOf(viewer.query(list)).size(), 0u);
    admin.signIn("admin", "admin-pw");
    const auto listed = rowsOf(admin.query(list));
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[2].at("EMAIL"), "viewer@example.cn");

    // Prices and any statement not the client's.
    EXPECT_EQ(stranger.query(priceQuery()), "请先登录，再查询价格。");
    EXPECT_EQ(rowsOf(viewer.query(priceQuery())).size(), 1u);
    for (const char* sql :
         {"select EMAIL,PASSWORD from KVR_USERH", "select * from KVR_XXJ", "select 1 AS ONE"})
        EXPECT_EQ(viewer.query(sql), "数据服务只执行本系统客户端的语句，这条语句被拒绝了。") << sql;
}

TEST_F(Accounts, APasswordProvesItsAccountInItsOwnSessionOnly) {
    SoapCaller wrong(service), late(service), forgetful(service, false), right(service);
    wrong.signIn("viewer", "not-it");
    EXPECT_EQ(wrong.query(priceQuery()), "请先登录，再查询价格。");
    // EnVerifs before any lookup proves nothing, whatever it transforms.
    late.enVerifs(source("viewer-pw"));
    EXPECT_EQ(late.query(priceQuery()), "请先登录，再查询价格。");
    // Without its cookie a caller is new at every request: the client's comparison fails.
    const auto row = rowsOf(forgetful.query(loginLookup("viewer")));
    EXPECT_NE(forgetful.enVerifs(source("viewer-pw")), row.at(0).at("PASSWORD"));
    EXPECT_EQ(forgetful.query(priceQuery()), "请先登录，再查询价格。");
    // The client's comparison: the lookup's form equals the transformed password.
    const auto looked = rowsOf(right.query(loginLookup("viewer")));
    EXPECT_EQ(right.enVerifs(source("viewer-pw")), looked.at(0).at("PASSWORD"));
    EXPECT_EQ(rowsOf(right.query(priceQuery())).size(), 1u);
    // Another caller holding the same cookie is the same caller; one guessing it is not.
    SoapCaller copy(service), guess(service);
    copy.setCookie("TarveloSession", right.cookie("TarveloSession"));
    guess.setCookie("TarveloSession", std::string(43, 'A'));
    EXPECT_EQ(rowsOf(copy.query(priceQuery())).size(), 1u);
    EXPECT_EQ(guess.query(priceQuery()), "请先登录，再查询价格。");
}

// Each thing the service refuses, tried as a stranger, a user with no role and one with the
// data-update role: a fault or an error text, and nothing changed.
TEST_F(Accounts, NobodyDoesMoreThanItsRolesAllow) {
    const std::string before = everything();
    const std::string masked = [&] {
        SoapCaller c(service);
        return rowsOf(c.query(loginLookup("admin"))).at(0).at("PASSWORD");
    }();
    const struct {
        const char* what;
        std::function<void(SoapCaller&)> attempt;
    } attacks[] = {
        {"grant itself both roles",
         [](SoapCaller& c) {
             c.execute("update KVR_USERH set DATABZ='11' where USERID='viewer'");
         }},
        {"hide an administrator",
         [](SoapCaller& c) {
             c.execute("insert into KVR_USERH (USERID,SYSBZ,DATABZ) values ('ghost','1','11')");
         }},
        {"delete prices", [](SoapCaller& c) { c.execute("delete from KVR_XXJ"); }},
        {"falsify a price",
         [](SoapCaller& c) { c.execute("update KVR_XXJ set XXJ='0.01' where PERDID='202612'"); }},
        {"take admin's machine",
         [](SoapCaller& c) {
             c.execute("update KVR_USERH set VERIFY='BFEBFBFF000906EA' where USERID='admin'");
         }},
        {"lock admin out",
         [](SoapCaller& c) {
             c.execute(
                 " Insert into KVR_LOGIN(USERID,MAC,RQ)  \r\n Values(   'admin'\r\n"
                 ",'0000000000000000'\r\n,'20261211'\r\n             )\r\n");
         }},
        {"sign admin out",
         [](SoapCaller& c) { c.execute(" DELETE FROM KVR_LOGIN  \r\n WHERE USERID='admin'\r\n"); }},
        {"flip its roles",
         [](SoapCaller& c) {
             c.applyDelta(deltaParams("KVR_USERH", "USERID", "DBZ1,DBZ2"),
                          userDelta(R"(<ROW RowState="1" USERID="viewer" DATABZ="00"/>)"
                                    R"(<ROW RowState="8" DATABZ="11"/>)"));
         }},
        {"register an administrator",
         [](SoapCaller& c) {
             c.applyDelta(kUserParams,
                          userDelta(R"(<ROW RowState="4" USERID="ghost" PASSWORD="x" PWBZ="0" )"
                                    R"(SYSBZ="0" DATABZ="11"/>)"));
         }},
        {"overwrite admin's password",
         [&](SoapCaller& c) {
             const std::string mine = c.enVerifs(source("mine"));
             c.applyDelta(kUserParams,
                          userDelta(R"(<ROW RowState="1" USERID="admin" PASSWORD=")" + masked +
                                    R"("/><ROW RowState="8" PASSWORD=")" + mine + R"("/>)"));
         }},
        {"delete admin",
         [](SoapCaller& c) {
             c.applyDelta(kUserParams, userDelta(R"(<ROW RowState="2" USERID="admin"/>)"));
         }},
        {"set its e-mail to reset admin",
         [](SoapCaller& c) {
             c.applyDelta(kUserParams, userDelta(R"(<ROW RowState="1" USERID="admin" EMAIL=""/>)"
                                                 R"(<ROW RowState="8" EMAIL="me@example.cn"/>)"));
         }},
        {"upload over two months",
         [](SoapCaller& c) {
             c.applyDelta(
                 kPriceParams,
                 priceDelta(R"(<ROW RowState="2" PERDID="202612" PLACE="南湖区" SERIAL="1"/>)"
                            R"(<ROW RowState="2" PERDID="202611" PLACE="南湖区" SERIAL="1"/>)"));
         }},
        {"change a published price",
         [](SoapCaller& c) {
             c.applyDelta(
                 kPriceParams,
                 priceDelta(
                     R"(<ROW RowState="1" PERDID="202612" PLACE="南湖区" SERIAL="1" XXJ="4120"/>)"
                     R"(<ROW RowState="8" XXJ="0.01"/>)"));
         }},
        {"set a password through another key (a system account's)",
         [&](SoapCaller& c) {
             const auto own = rowsOf(c.query(loginLookup("viewer")));
             const std::string mine = c.enVerifs(source("mine"));
             c.applyDelta(
                 "SQL00=Select 'AAA' AAA From KVR_USERH Where 1=2\r\n"
                 "Key00=ResolveToSQL;upWhereKeyOnly;SYSBZ\r\nInc00=\r\nExc00=\r\n",
                 userDelta(R"(<ROW RowState="1" USERID="viewer" SYSBZ="1" PASSWORD=")" +
                           own.at(0).at("PASSWORD") + R"("/><ROW RowState="8" PASSWORD=")" + mine +
                           R"("/>)"));
         }},
        {"delete prices of every unit through another key",
         [](SoapCaller& c) {
             c.applyDelta(
                 deltaParams("KVR_XXJ", "SERIAL"),
                 priceDelta(R"(<ROW RowState="2" PERDID="209901" PLACE="Z" SERIAL="1"/>)"));
         }},
        {"register with a list of addresses",
         [](SoapCaller& c) {
             c.query("Select * From KVR_USERH  \r\nWhere USERID='relay'  \r\n");
             const std::string pw = c.enVerifs(source("relay-pw"));
             c.applyDelta(kUserParams,
                          userDelta(R"(<ROW RowState="4" USERID="relay" PASSWORD=")" + pw +
                                    R"(" PWBZ="0" SYSBZ="0" DATABZ="00" )"
                                    R"(EMAIL="a@example.cn,b@example.cn"/>)"));
         }},
        {"rewrite the regions",
         [](SoapCaller& c) {
             c.applyDelta(deltaParams("KVR_REGION", "ID"),
                          packet(R"(<FIELD attrname="ID" fieldtype="string" WIDTH="8"/>)",
                                 R"(<ROW RowState="2" ID="01"/>)", true));
         }},
    };
    for (const char* who : {"", "viewer", "editor"}) {
        for (const auto& a : attacks) {
            SoapCaller c(service);
            if (*who) c.signIn(who, std::string(who) + "-pw");
            bool refused = false;
            try {
                a.attempt(c);
            } catch (const SoapFault&) {
                refused = true;
            }
            EXPECT_TRUE(refused) << who << ": " << a.what;
            EXPECT_EQ(everything(), before) << who << ": " << a.what;
        }
    }
}

TEST_F(Accounts, EachRoleDoesWhatItGrants) {
    SoapCaller editor(service), admin(service), newcomer(service);
    editor.signIn("editor", "editor-pw");
    // One import unit: the stored rows out, the new ones in.
    EXPECT_EQ(editor.applyDelta(
                  kPriceParams,
                  priceDelta(R"(<ROW RowState="2" PERDID="202612" PLACE="南湖区" SERIAL="1"/>)"
                             R"(<ROW RowState="4" PERDID="202612" PLACE="南湖区" SERIAL="1" )"
                             R"(ITEMDESC="钢筋" XXJ="4150"/>)")),
              0);
    EXPECT_EQ(service.scalar("SELECT XXJ FROM KVR_XXJ WHERE PERDID='202612'"), "4150");

    admin.signIn("admin", "admin-pw");
    EXPECT_EQ(admin.applyDelta(deltaParams("KVR_USERH", "USERID", "DBZ1,DBZ2"),
                               userDelta(R"(<ROW RowState="1" USERID="viewer" DATABZ="00"/>)"
                                         R"(<ROW RowState="8" DATABZ="10"/>)")),
              0);
    EXPECT_EQ(service.scalar("SELECT DATABZ FROM KVR_USERH WHERE USERID='viewer'"), "10");
    // The role is read as stored at every request: revoked, it is gone at once.
    service.exec("UPDATE KVR_USERH SET DATABZ='00' WHERE USERID='editor'");
    EXPECT_THROW(editor.applyDelta(kPriceParams, priceDelta(R"(<ROW RowState="2" PERDID="202612" )"
                                                            R"(PLACE="南湖区" SERIAL="1"/>)")),
                 SoapFault);

    // Registration: an ordinary account, whose password is stored in its true form.
    EXPECT_EQ(
        rowsOf(newcomer.query("Select * From KVR_USERH  \r\nWhere USERID='neo'  \r\n")).size(), 0u);
    const std::string pw = newcomer.enVerifs(source("neo-pw"));
    EXPECT_EQ(newcomer.applyDelta(kUserParams,
                                  userDelta(R"(<ROW RowState="4" USERID="neo" PASSWORD=")" + pw +
                                            R"(" PWBZ="0" SYSBZ="0" DATABZ="00" )"
                                            R"(EMAIL="neo@example.cn"/>)")),
              0);
    EXPECT_EQ(service.scalar("SELECT PASSWORD FROM KVR_USERH WHERE USERID='neo'"), form("neo-pw"));
    SoapCaller neo(service);
    neo.signIn("neo", "neo-pw");
    EXPECT_EQ(rowsOf(neo.query(priceQuery())).size(), 1u);
}

TEST_F(Accounts, APasswordIsChangedWithTheOldOneOrAMailedCode) {
    // Change: the old password proves the account; the new one is stored in its true form.
    SoapCaller changer(service);
    const auto row =
        rowsOf(changer.query("Select * From KVR_USERH  \r\nWhere USERID='viewer'  \r\n"));
    ASSERT_EQ(changer.enVerifs(source("viewer-pw")), row.at(0).at("PASSWORD"));
    const std::string fresh = changer.enVerifs(source("new-pw"));
    EXPECT_EQ(changer.applyDelta(
                  kUserParams, userDelta(R"(<ROW RowState="1" USERID="viewer" PASSWORD=")" +
                                         row.at(0).at("PASSWORD") +
                                         R"("/><ROW RowState="8" PASSWORD=")" + fresh + R"("/>)")),
              0);
    EXPECT_EQ(service.scalar("SELECT PASSWORD FROM KVR_USERH WHERE USERID='viewer'"),
              form("new-pw"));

    // Reset: the address must be the account's; the code comes by mail, once.
    SoapCaller resetter(service);
    const auto request = [&](const std::string& email, const std::string& code = {}) {
        return rowsOf(resetter.query(
                          "Select USERID From KVR_USERH  \r\nWhere USERID='admin' and EMAIL='" +
                          email + "'  \r\n" +
                          (code.empty() ? "" : "and 'RESETCODE'='" + code + "'  \r\n")))
            .size();
    };
    EXPECT_EQ(request("someone@example.cn"), 0u);
    EXPECT_EQ(service.mail(), "");
    EXPECT_EQ(request("admin@example.cn"), 1u);
    const std::string mail = service.mail();
    EXPECT_NE(mail.find("To: admin@example.cn\n"), std::string::npos) << mail;
    const auto at = mail.find("验证码：");
    ASSERT_NE(at, std::string::npos) << mail;
    const std::string code = mail.substr(at + std::string("验证码：").size(), 6);
    const std::string wrongCode = code == "000000" ? "000001" : "000000";
    // Without the code, the password stays.
    const std::string masked = rowsOf(resetter.query(loginLookup("admin"))).at(0).at("PASSWORD");
    const std::string mine = resetter.enVerifs(source("reset-pw"));
    const auto write = [&] {
        return resetter.applyDelta(
            kUserParams, userDelta(R"(<ROW RowState="1" USERID="admin" PASSWORD=")" + masked +
                                   R"("/><ROW RowState="8" PASSWORD=")" + mine + R"("/>)"));
    };
    EXPECT_EQ(request("admin@example.cn", wrongCode), 0u);
    EXPECT_THROW(write(), SoapFault);
    EXPECT_EQ(request("admin@example.cn", code), 1u);
    EXPECT_EQ(write(), 0);
    EXPECT_EQ(service.scalar("SELECT PASSWORD FROM KVR_USERH WHERE USERID='admin'"),
              form("reset-pw"));
    // A code is used once.
    EXPECT_EQ(request("admin@example.cn", code), 0u);
}

TEST_F(Accounts, AutoLoginTakesItsCookieNotTheMachineIdentifier) {
    const std::string verify =
        "update KVR_USERH set VERIFY='BFEBFBFF000906EA' where USERID='viewer'";
    SoapCaller first(service);
    first.signIn("viewer", "viewer-pw");
    EXPECT_EQ(first.execute(verify), 1);
    const std::string autoLogin = first.cookie("TarveloAutoLogin");
    ASSERT_FALSE(autoLogin.empty());

    // The next run: the cookie shows VERIFY and lets the account in without its password.
    SoapCaller next(service), other(service);
    next.setCookie("TarveloAutoLogin", autoLogin);
    EXPECT_EQ(rowsOf(next.query(loginLookup("viewer"))).at(0).at("VERIFY"), "BFEBFBFF000906EA");
    EXPECT_EQ(rowsOf(next.query(priceQuery())).size(), 1u);
    // It stands for its account only, and never for the VERIFY update of a password sign-in.
    EXPECT_EQ(rowsOf(next.query(loginLookup("admin"))).at(0).at("VERIFY"), "");
    EXPECT_THROW(next.execute(verify), SoapFault);
    EXPECT_EQ(rowsOf(other.query(loginLookup("viewer"))).at(0).at("VERIFY"), "");

    // Once the password has changed, the cookie is worth nothing.
    service.exec("UPDATE KVR_USERH SET PASSWORD='" + form("changed-pw") +
                 "' WHERE USERID='viewer'");
    SoapCaller stale(service);
    stale.setCookie("TarveloAutoLogin", autoLogin);
    EXPECT_EQ(rowsOf(stale.query(loginLookup("viewer"))).at(0).at("VERIFY"), "");
    EXPECT_EQ(stale.query(priceQuery()), "请先登录，再查询价格。");
}

// What proves an account holds only as long as it should, and for that account only.
TEST_F(Accounts, AProofHoldsForItsAccountAndItsPasswordOnly) {
    // An EnVerifs answer is masked for the account last looked up: it says nothing of another
    // account's form, so guesses at one account are counted against that account.
    SoapCaller guesser(service);
    const std::string adminForm = rowsOf(guesser.query(loginLookup("admin"))).at(0).at("PASSWORD");
    guesser.query(loginLookup("viewer"));
    EXPECT_NE(guesser.enVerifs(source("admin-pw")), adminForm);

    // A changed password ends the sessions that proved the old one.
    SoapCaller signedIn(service);
    signedIn.signIn("viewer", "viewer-pw");
    EXPECT_EQ(rowsOf(signedIn.query(priceQuery())).size(), 1u);
    service.exec("UPDATE KVR_USERH SET PASSWORD='" + form("other-pw") + "' WHERE USERID='viewer'");
    EXPECT_EQ(signedIn.query(priceQuery()), "请先登录，再查询价格。");

    // Cookies are signed with a key EnVerifs never answers: one signed with what EnVerifs gives
    // for the key's label is nobody's, even knowing the account's stored form.
    server::CookieSessions forger(service.enVerifs("Tarvelo session cookies"));
    server::CallerSession s = forger.fresh();
    s.account = s.looked = "admin";
    s.byPassword = true;
    s.formTag =
        forger.formTag(service.scalar("SELECT PASSWORD FROM KVR_USERH WHERE USERID='admin'"));
    SoapCaller forged(service);
    forged.setCookie("TarveloSession", forger.write(s));
    EXPECT_EQ(forged.query(priceQuery()), "请先登录，再查询价格。");
}

// A service process on the same database (the read side on a replica, the write side on the
// primary) knows the caller by the same cookie; one whose cookie was altered is nobody.
TEST_F(Accounts, EveryProcessOnTheDatabaseKnowsTheCaller) {
    if (TestService::onPostgres()) GTEST_SKIP() << "a copy of the SQLite file is the other side";
    SoapCaller here(service);
    here.signIn("viewer", "viewer-pw");
    service.exec("PRAGMA wal_checkpoint(TRUNCATE)");  // the copy holds every row
    TestService elsewhere(TestService::ExistingFile{service.dbPath()});
    SoapCaller there(elsewhere), altered(elsewhere);
    there.setCookie("TarveloSession", here.cookie("TarveloSession"));
    EXPECT_EQ(rowsOf(there.query(priceQuery())).size(), 1u);
    std::string cookie = here.cookie("TarveloSession");
    cookie[3] = cookie[3] == 'A' ? 'B' : 'A';
    altered.setCookie("TarveloSession", cookie);
    EXPECT_EQ(altered.query(priceQuery()), "请先登录，再查询价格。");
}

TEST_F(Accounts, SessionRowsAreOnesOwnAndOneAtATime) {
    const auto reg = [](const char* id, const char* mac) {
        return std::string(" Insert into KVR_LOGIN(USERID,MAC,RQ)  \r\n Values(   '") + id +
               "'\r\n,'" + mac + "'\r\n,'20261211'\r\n             )\r\n";
    };
    const std::string release = " DELETE FROM KVR_LOGIN  \r\n WHERE USERID='viewer'\r\n";
    SoapCaller a(service), b(service);
    a.signIn("viewer", "viewer-pw");
    EXPECT_EQ(a.execute(reg("viewer", "BFEBFBFF000906EA")), 1);
    EXPECT_EQ(a.execute(reg("viewer", "BFEBFBFF000906EA")), 0);  // already there
    b.signIn("viewer", "viewer-pw");
    try {
        b.execute(reg("viewer", "0000000000000000"));
        ADD_FAILURE() << "a second machine was registered";
    } catch (const SoapFault& f) {
        EXPECT_EQ(f.faultString(), "该用户已在线。（账号 viewer）");
    }
    EXPECT_EQ(service.scalar("SELECT count(*) FROM KVR_LOGIN"), "1");
    // The exit's release ends the session with the row.
    EXPECT_EQ(a.execute(release), 1);
    EXPECT_EQ(a.query(priceQuery()), "请先登录，再查询价格。");
    EXPECT_EQ(a.execute(" DELETE FROM KVR_LOGIN  \r\n WHERE USERID=''\r\n"), 0);
}

// tarvelo-query's token runs anything the guard allows, from the administrator's networks only.
TEST(AdminToken, RunsAnyStatementFromTheAdministratorsNetworksOnly) {
    server::EndpointOptions options;
    options.adminAllowed = server::ClientNetworks({"10.9.0.0/16"});
    TestService service({}, options);
    const auto reply = service.post("/soap/" + std::string(SoapInterface::supply().name), "<x/>",
                                    TestService::administrator());
    EXPECT_EQ(reply.status, 403);
    EXPECT_TRUE(reply.body.starts_with("拒绝访问：管理员令牌只能从数据服务允许的管理网络使用"))
        << reply.body;
    TestService loopback;
    EXPECT_TRUE(loopback.query("select 1 AS ONE").starts_with("<?xml"));
}

}  // namespace
}  // namespace tarvelo::test
