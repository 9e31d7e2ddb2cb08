#pragma once

#include <string>

#include "service/IISdm.h"
#include "support/TestService.h"
#include "text/SqlLiteral.h"
#include "text/StatementBuffer.h"

namespace tarvelo::test {

// The account `id` with `roles` (DATABZ) and the password `password`, in place of any account
// of that id the database holds.
inline void putAccount(TestService& service, const std::string& id, const std::string& roles,
                       const std::string& password = "pw") {
    const std::string form = service.enVerifs(TIISdmPtr::PasswordSource(password));
    service.exec("DELETE FROM KVR_USERH WHERE USERID=" + sqlLiteral(id) +
                 "; INSERT INTO KVR_USERH (USERID,USERNAME,PASSWORD,PWBZ,SYSBZ,DATABZ) VALUES (" +
                 sqlLiteral(id) + ",'测试','" + form + "','0','0'," + sqlLiteral(roles) + ")");
}

// The service learns that the module's calls are the account's: the module looks the account up
// and transforms its password, as the login window does. A window built on the module then
// works as it does after a sign-in. The service's record of statements starts after it.
inline void signIn(TestService& service, TIISdmPtr& module, const std::string& id,
                   const std::string& password = "pw") {
    StatementBuffer b;
    b.add(" SELECT u.USERID,u.USERNAME,u.PASSWORD,u.PWBZ,u.SYSBZ,u.DATABZ,u.TEL,u.VERIFY ");
    b.add(" FROM KVR_USERH u ");
    b.add(" Where u.USERID=" + sqlLiteral(id) + "  ");
    module.QueryBySQL(b.text());
    module.StoredPassword(password);
    service.forgetStatements();
}

}  // namespace tarvelo::test
