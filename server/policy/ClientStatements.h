#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelo::server {

// What a statement the client sends is for.
enum class ClientStatement {
    // reads
    RegionList,         // the regions, for the tree and the import target
    MaterialClassList,  // the material classes
    LoginLookup,        // the account's row as the sign-in reads it
    AccountLookup,      // the account's whole row (registration, password change and reset)
    SessionCheck,       // the account's session rows
    UserList,           // every listed account, with its roles (user administration)
    ResetRequest,       // "mail me a reset code": the account and the e-mail address typed
    ResetProof,         // the account, the e-mail address and the code mailed
    ItemList,           // a period's item names
    Suggestion,         // item names that hold a typed text
    Search,             // rows that hold a typed text
    StoredRows,         // an import unit's rows (the review, the existence check)
    StoredCount,        // how many rows an import unit holds
    Trend,              // one item's prices over months
    // writes
    SessionRegister,
    VerifyUpdate,
    SessionRelease,
};

// One statement recognised: what it is, the price table it reads (empty for the others) and
// its quoted values in order, as values (quotes removed, doubled quotes single).
struct StatementMatch {
    ClientStatement kind;
    std::string table;
    std::vector<std::string> values;
};

// The statements the client composes, as fixed texts with quoted values of a checked shape:
// a period is six digits, a machine identifier sixteen hexadecimal digits (or nothing, when the
// processor could not be asked), a date eight digits, an account id, a region, a class, an item
// or a typed text no longer than its column. Line breaks may come as CR LF or LF (an XML reader
// turns the first into the second). Nothing else matches: no other table, column, function,
// clause or comment gets through.
class ClientStatements {
public:
    // A statement for the read side, or nullopt.
    static std::optional<StatementMatch> read(std::string_view sql);
    // A statement for the write side's ApplyVanDataByExc, or nullopt.
    static std::optional<StatementMatch> exec(std::string_view sql);
};

}  // namespace tarvelo::server
