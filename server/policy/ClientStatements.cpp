#include "server/policy/ClientStatements.h"

#include <array>

namespace tarvelo::server {

namespace {

// A template is the statement's text with each quoted value written '{X}', X its shape:
//   P  a period, six digits
//   I  an account id, up to 32 bytes
//   R  a region or a material class, up to 32 bytes
//   T  a name or a typed text, up to 256 bytes
//   E  an e-mail address, up to 64 bytes
//   M  a machine identifier, sixteen upper-case hexadecimal digits, or nothing
//   D  a date, eight digits
//   C  a reset code, six digits
// Every other character stands for itself; "\n" stands for CR LF or LF.
struct Template {
    ClientStatement kind;
    std::string table;
    std::string text;
};

bool digits(std::string_view v, std::size_t n) {
    if (v.size() != n) return false;
    for (char c : v)
        if (c < '0' || c > '9') return false;
    return true;
}

bool shapeHolds(char shape, std::string_view v) {
    for (char c : v) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return false;
    }
    switch (shape) {
        case 'P':
            return digits(v, 6);
        case 'D':
            return digits(v, 8);
        case 'C':
            return digits(v, 6);
        case 'M':
            if (v.empty()) return true;
            if (v.size() != 16) return false;
            for (char c : v)
                if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
            return true;
        case 'I':
        case 'R':
            return v.size() <= 32;
        case 'E':
            return v.size() <= 64;
        case 'T':
            return v.size() <= 256;
    }
    return false;
}

bool matches(std::string_view tpl, std::string_view sql, std::vector<std::string>& values) {
    values.clear();
    std::size_t j = 0;
    for (std::size_t i = 0; i < tpl.size();) {
        if (tpl.substr(i, 2) == "'{") {
            const char shape = tpl[i + 2];
            i += 5;  // '{X}'
            if (j >= sql.size() || sql[j] != '\'') return false;
            ++j;
            std::string v;
            for (;;) {
                if (j >= sql.size()) return false;
                if (sql[j] == '\'') {
                    if (j + 1 < sql.size() && sql[j + 1] == '\'') {
                        v += '\'';
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                v += sql[j++];
            }
            if (!shapeHolds(shape, v)) return false;
            values.push_back(std::move(v));
            continue;
        }
        if (tpl[i] == '\n') {
            if (sql.substr(j, 2) == "\r\n")
                j += 2;
            else if (j < sql.size() && sql[j] == '\n')
                ++j;
            else
                return false;
            ++i;
            continue;
        }
        if (j >= sql.size() || sql[j] != tpl[i]) return false;
        ++i;
        ++j;
    }
    return j == sql.size();
}

// The four price tables as the client reads them.
struct PriceTable {
    std::string name;
    std::string code;
    std::string target;  // the import unit's second column; empty: the period alone
    bool byRegion;       // the browser reads one region's rows
    std::string merged;  // the lines joined into the text searched
    std::string suggestionColumns;
    std::string searchColumns;
};

const std::array<PriceTable, 4>& priceTables() {
    static const std::array<PriceTable, 4> tables{{
        {"KVR_XXJ", "XXJ", "PLACE", true,
         " ||','||coalesce(PLACE,',') \n ||','||coalesce(PERDID,',') \n",
         ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL,XXJ,SERIAL \n",
         ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL,XXJ,SERIAL,UNIT,DEJ,NOTE \n"},
        {"KVR_CJJ", "CJJ", "", false,
         " ||','||coalesce(PLACE,',') \n ||','||coalesce(PERDID,',') \n",
         ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL,CJJ,SERIAL \n",
         ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL,CJJ,SERIAL,UNIT,CJRQ,NOTE \n"},
        {"KVR_MMJ", "MMJ", "PLACE", true,
         " ||','||coalesce(PLACE,',') \n ||','||coalesce(PERDID,',') \n"
         " ||','||coalesce(VEND,',') \n",
         ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MMJ,SERIAL,UNIT,VEND,LINKMAN,LINKTEL \n",
         ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MMJ,SERIAL,UNIT,VEND,LINKMAN,LINKTEL,"
         "NOTE \n"},
        {"KVR_CSJ", "CSJ", "ICEXT", false,
         " ||','||coalesce(VEND,',') \n ||','||coalesce(PERDID,',') \n"
         " ||','||coalesce(ICEXT,',') \n",
         ",ITEMID,ITEMDESC,VEND,PERDID,SPECID,MODEL,BRAND,MATERIAL,UNIT,CSJ,SERIAL,ICEXT \n",
         ",ITEMID,ITEMDESC,VEND,PERDID,SPECID,MODEL,BRAND,MATERIAL,UNIT,CSJ,SERIAL,ICEXT,LINKMAN,"
         "LINKTEL,NOTE \n"},
    }};
    return tables;
}

std::vector<Template> readTemplates() {
    using K = ClientStatement;
    std::vector<Template> t{
        {K::RegionList, "", "select ID,IDDESC FROM KVR_REGION ORDER BY ID "},
        {K::MaterialClassList, "", "select ID,IDDESC FROM KVR_ICEXT ORDER BY ID"},
        {K::LoginLookup, "",
         " SELECT u.USERID,u.USERNAME,u.PASSWORD,u.PWBZ,u.SYSBZ,u.DATABZ,u.TEL,u.VERIFY \n"
         " FROM KVR_USERH u \n Where u.USERID='{I}'  \n"},
        {K::AccountLookup, "", "Select * From KVR_USERH  \nWhere USERID='{I}'  \n"},
        {K::SessionCheck, "", "Select * From KVR_LOGIN  \nWhere USERID='{I}'  \n"},
        {K::UserList, "",
         "with aaa as \n( \nSELECT USERID,USERNAME,QQ,EMAIL,SYSBZ,TEL,DATABZ \n"
         ",CASE WHEN SubStr(DATABZ,1,1)='1' THEN '√' ELSE  ' ' END AS DBZ1 \n"
         ",CASE WHEN SubStr(DATABZ,2,1)='1' THEN '√' ELSE  ' ' END AS DBZ2 \n"
         "FROM KVR_USERH \nWhere SYSBZ<>'1' \nOrder By USERID \n) \n"
         "select USERID,USERNAME,QQ,EMAIL,SYSBZ,TEL,DATABZ,DBZ1,DBZ2 \nfrom aaa \n"},
        {K::ResetRequest, "",
         "Select USERID From KVR_USERH  \nWhere USERID='{I}' and EMAIL='{E}'  \n"},
        {K::ResetProof, "",
         "Select USERID From KVR_USERH  \nWhere USERID='{I}' and EMAIL='{E}'  \n"
         "and 'RESETCODE'='{C}'  \n"},
    };
    for (const PriceTable& p : priceTables()) {
        const std::string where =
            p.byRegion ? " WHERE PLACE='{R}' \n and PERDID='{P}' \n" : " WHERE PERDID='{P}' \n";
        const std::string head =
            "with AAA as\n(\n Select coalesce(ITEMDESC,',') \n" + p.merged + " MERG\n";
        const std::string from = " From " + p.name + "\n" + where + " ) \n";
        t.push_back({K::Suggestion, p.name,
                     head + p.suggestionColumns + from +
                         " Select DISTINCT ITEMDESC from AAA  \n where PosStr(MERG,'{T}')>=1\n"});
        t.push_back(
            {K::Search, p.name,
             head + p.searchColumns + from +
                 " Select * from AAA  \n where PosStr(MERG,'{T}')>=1\n Order by SERIAL \n"});
        t.push_back({K::ItemList, p.name,
                     " SELECT distinct ITEMDESC FROM " + p.name + " \n where PERDID='{P}'\n" +
                         (p.byRegion ? " and PLACE='{R}'\n" : "")});
        const std::string place = p.name == "KVR_CSJ" ? "ICEXT" : "PLACE";
        t.push_back({K::Trend, p.name,
                     " Select PERDID," + p.code + " From " + p.name + " \n Where " + place +
                         "='{T}'\n and ITEMDESC='{T}'\n and coalesce(SPECID,'')='{T}'\n"
                         " and coalesce(MODEL,'')='{T}'\n and PERDID>='{P}' and PERDID<='{P}'\n"
                         " Order By PERDID,SERIAL \n"});
        for (const auto& [kind, select] : {std::pair{K::StoredRows, " Select * \n"},
                                           std::pair{K::StoredCount, " Select count(*) AS N \n"}}) {
            const std::string rows = select + (" FROM " + p.name + " \n where PERDID='{P}'\n");
            t.push_back({kind, p.name, rows});
            if (!p.target.empty())
                t.push_back({kind, p.name, rows + " and " + p.target + "='{R}'\n"});
        }
    }
    return t;
}

std::vector<Template> execTemplates() {
    using K = ClientStatement;
    return {
        {K::SessionRegister, "",
         " Insert into KVR_LOGIN(USERID,MAC,RQ)  \n Values(   '{I}'\n,'{M}'\n,'{D}'\n"
         "             )\n"},
        {K::VerifyUpdate, "", "update KVR_USERH set VERIFY='{M}' where USERID='{I}'"},
        {K::SessionRelease, "", " DELETE FROM KVR_LOGIN  \n WHERE USERID='{I}'\n"},
    };
}

std::optional<StatementMatch> find(const std::vector<Template>& templates, std::string_view sql) {
    StatementMatch m;
    for (const Template& t : templates) {
        if (matches(t.text, sql, m.values)) {
            m.kind = t.kind;
            m.table = t.table;
            return m;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<StatementMatch> ClientStatements::read(std::string_view sql) {
    static const std::vector<Template> templates = readTemplates();
    return find(templates, sql);
}

std::optional<StatementMatch> ClientStatements::exec(std::string_view sql) {
    static const std::vector<Template> templates = execTemplates();
    return find(templates, sql);
}

}  // namespace tarvelo::server
