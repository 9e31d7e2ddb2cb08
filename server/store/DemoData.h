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

    // The shape of a benchmark database: `infoRows` information-price rows spread evenly over
    // `months` months, ending with the month of today, and `regions` regions, with deal prices
    // over the same months.
    struct Volume {
        long infoRows = 1000000;
        int months = 60;
        int regions = 20;

        // Deals are reported from every region as information prices are, so a month holds deal
        // prices in proportion to its information prices: half as many, the proportion of the
        // first benchmark shape (8,333 deals beside 16,667 information prices in a month at
        // 1,000,000 rows), which keeps that shape's deal-month figure comparable. They cover the
        // same months: a database kept for ten years holds ten years of deals.
        long dealRows() const { return infoRows / 2; }
        // "1000000-60x20": names the generated database.
        std::string name() const;
    };

    // Benchmark volumes: the rows of `volume`, ending with the month of `today`, plus the
    // reference lists (the volume's regions and the material classes) and accounts. Rows are
    // written in key order, so that a table's pages come out full as a long-kept file's would.
    static void loadVolume(const std::string& path, const Date& today, const Volume& volume);

    // The name of the benchmark region `index` (from 0; at most 287): the demonstration's 24,
    // then made-up county names.
    static std::string volumeRegion(int index);

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
