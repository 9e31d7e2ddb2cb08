#include "signin/SessionRegistry.h"

#include "service/IISdm.h"
#include "text/SqlLiteral.h"
#include "text/StatementBuffer.h"

namespace tarvelo {

void SessionRegistry::check(StatementBuffer& b, std::string_view userId) {
    b.clear();
    b.add("Select * From KVR_LOGIN  ");
    b.add(std::string("Where USERID=") + sqlLiteral(userId) + "  ");
}

void SessionRegistry::registration(StatementBuffer& b, std::string_view userId,
                                   std::string_view machineId, std::string_view date) {
    b.clear();
    b.add(" Insert into KVR_LOGIN(USERID,MAC,RQ)  ");
    b.add(std::string(" Values(   ") + sqlLiteral(userId));
    b.add(std::string(",") + sqlLiteral(machineId));
    b.add(std::string(",") + sqlLiteral(date));
    b.add("             )");
}

void SessionRegistry::release(StatementBuffer& b, std::string_view userId) {
    b.clear();
    b.add(" DELETE FROM KVR_LOGIN  ");
    b.add(std::string(" WHERE USERID=") + sqlLiteral(userId));
}

void SessionRegistry::sendRelease(StatementBuffer& b, std::string_view userId) {
    try {
        if (!IISdmPtr) return;
        release(b, userId);
        IISdmPtr->ApplyIntf->ApplyVanDataByExc(b.text());
    } catch (...) {
        // A release that fails is ignored: the service keeps the row until it is removed there.
    }
}

}  // namespace tarvelo
