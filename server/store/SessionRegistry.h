#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/Date.h"

namespace tarvelo::server {

class ServiceConnection;

// The session table KVR_LOGIN as the service's administrator sees it. The client registers a row
// (account, machine identifier, date as "yyyymmdd") when an account signs in and removes the
// account's rows when the program ends normally. A program that crashed or lost its power leaves
// its row behind, and the account is then refused on every other machine ("该用户已在线。")
// until the row is removed here.
class SessionRegistry {
public:
    struct Session {
        std::string user;
        std::string machine;
        std::string date;  // as stored
    };

    struct Expiry {
        int removed = 0;
        Date before;      // rows dated before this day were removed
        int undated = 0;  // rows left because their date is not eight digits
    };

    explicit SessionRegistry(ServiceConnection& db) : m_db(db) {}

    // Every row, by account and date.
    std::vector<Session> list() const;
    // Removes the account's rows; how many there were.
    int clear(std::string_view user);
    // Removes the rows dated before `today` minus `days` days.
    Expiry clearOlderThan(int days, const Date& today);
    bool accountExists(std::string_view user) const;

    // "yyyy-MM-dd" for a stored "yyyymmdd"; anything else as it is.
    static std::string shownDate(std::string_view stored);

private:
    int remove(std::string_view condition, std::string_view value);

    ServiceConnection& m_db;
};

}  // namespace tarvelo::server
