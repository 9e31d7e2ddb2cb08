#pragma once

#include <string>
#include <string_view>

#include "data/DataSet.h"
#include "support/TestService.h"
#include "text/StatementBuffer.h"

namespace tarvelo::test {

// A few rows of each kind the client's statements meet: two regions of one month of
// information prices, a deal-price month over two regions, reference lists and accounts.
inline void loadPriceFixture(TestService& s) {
    s.exec(R"(
INSERT INTO KVR_REGION VALUES ('01','东城区'),('02','西城区');
INSERT INTO KVR_ICEXT VALUES ('01','钢材');
INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC,SPECID,UNIT,XXJ,RQ) VALUES
 ('202612','东城区',1,'热轧带肋钢筋','HRB400E Φ12','吨','4120','2026-12-05'),
 ('202612','东城区',2,'普通硅酸盐水泥','P.O 42.5','吨','面议','2026-12-05'),
 ('202612','东城区',3,NULL,'无名','个','1',NULL),
 ('202612','西城区',1,'热轧带肋钢筋','HRB400E Φ16','吨','4180','2026-12-05'),
 ('202611','东城区',1,'商品混凝土','C30','立方米','510','2026-11-05');
INSERT INTO KVR_CJJ (PERDID,SERIAL,PLACE,ITEMDESC,CJJ,CJRQ) VALUES
 ('202612',1,'东城区','中砂','150','2026-12-03'),
 ('202612',2,'西城区','碎石','120','2026-12-09');
INSERT INTO KVR_USERH (USERID,USERNAME,PASSWORD,PWBZ,SYSBZ,DATABZ,TEL,QQ,EMAIL,VERIFY) VALUES
 ('amy','艾米','x','0','0','10','139','','amy@example.com',''),
 ('bob','鲍勃','x','0','0','01','138','','bob@example.com',''),
 ('sys','系统','x','0','1','11','','','','');
)");
}

inline std::string statement(std::initializer_list<std::string_view> lines) {
    StatementBuffer b;
    for (auto l : lines)
        b.add(l);
    return b.text();
}

// The information-price suggestion statement of the search box, as the client sends it.
inline std::string xxjSuggestion(std::string_view place, std::string_view period,
                                 std::string_view text) {
    return statement({"with AAA as", "(", " Select coalesce(ITEMDESC,',') ",
                      " ||','||coalesce(PLACE,',') ", " ||','||coalesce(PERDID,',') ", " MERG",
                      ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL,XXJ,SERIAL ",
                      " From KVR_XXJ", " WHERE PLACE='" + std::string(place) + "' ",
                      " and PERDID='" + std::string(period) + "' ", " ) ",
                      " Select DISTINCT ITEMDESC from AAA  ",
                      " where PosStr(MERG,'" + std::string(text) + "')>=1"});
}

}  // namespace tarvelo::test
