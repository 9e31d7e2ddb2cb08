#pragma once

#include <string>

#include "text/Date.h"

namespace tarvelo::server {

// Fills a database with data to try the system on.
class DemoData {
public:
    // The demonstration set: 24 regions (more than the 20 icons of a region list), 8 material
    // classes, prices of all four categories for the month of `today` and the eleven before it
    // (now and then a price is text, such as "面议"), and the accounts listed in the README.
    // Refuses a database that already holds prices. Deterministic for a given `today`.
    static void load(const std::string& path, const Date& today);

    // Benchmark volumes: `infoRows` information-price rows over 60 months and 20 regions and
    // `dealRows` deal-price rows over 12 months, ending with the month of `today`; plus the
    // reference lists and accounts.
    static void loadVolume(const std::string& path, const Date& today, long infoRows,
                           long dealRows);

    // Adds an account; `password` as typed, stored in the form the client compares.
    static void addUser(const std::string& path, const std::string& id, const std::string& name,
                        const std::string& password, const std::string& roles, bool system);

    // The demonstration accounts: id, name, password, roles, system account.
    struct Account {
        const char* id;
        const char* name;
        const char* password;
        const char* roles;
        bool system;
    };
    static const Account kAccounts[4];
};

}  // namespace tarvelo::server
