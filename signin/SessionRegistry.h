#pragma once

#include <string>
#include <string_view>

namespace tarvelo {

class StatementBuffer;
class TIISdmPtr;

// The three statements of the session table KVR_LOGIN, composed line by line into a window's
// statement buffer, values through the quoting helper.
struct SessionRegistry {
    // "Select * From KVR_LOGIN  " / "Where USERID='…'  "
    static void check(StatementBuffer& buffer, std::string_view userId);
    // " Insert into KVR_LOGIN(USERID,MAC,RQ)  " / " Values(   '…'" / ",'…'" / ",'yyyymmdd'" /
    // "             )"
    static void registration(StatementBuffer& buffer, std::string_view userId,
                             std::string_view machineId, std::string_view date);
    // " DELETE FROM KVR_LOGIN  " / " WHERE USERID='…'"
    static void release(StatementBuffer& buffer, std::string_view userId);

    // Sends the release for `userId` through the write side, if the data access module is
    // there; every failure is ignored (the program ends anyway).
    static void sendRelease(StatementBuffer& buffer, std::string_view userId);
};

}  // namespace tarvelo
