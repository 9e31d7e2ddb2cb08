#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvelo::server {

// How rows to update or delete are found: by the key alone, by the key and the loaded values of
// the changed columns, or by the key and every loaded value.
enum class WhereMode { KeyOnly, Changed, All };

// The parameter text that comes with a delta, four lines:
//   SQL00=Select 'AAA' AAA From <table> Where 1=2
//   Key00=ResolveToSQL;upWhereChanged;<key,columns>
//   Inc00=
//   Exc00=<excluded,columns>
struct ApplyParams {
    std::string table;
    WhereMode where = WhereMode::Changed;
    std::vector<std::string> key;
    std::vector<std::string> excluded;

    // Throws tarvelo::Error saying which line is wrong. Names are not checked here.
    static ApplyParams parse(std::string_view text);
};

}  // namespace tarvelo::server
