#pragma once

#include <string>
#include <string_view>

namespace tarvelo::server {

// The refusals both engines give in the same words.
inline constexpr std::string_view kReadSideOnlyQueries =
    "语句被拒绝：查询端只接受查询语句（SELECT）。";
inline constexpr std::string_view kWriteSideOnlyWrites =
    "语句被拒绝：写入端只接受一条 INSERT、UPDATE 或 DELETE 语句。";

// Whether `s` holds only blanks, semicolons and comments: what may follow the one statement.
bool onlyTrivia(std::string_view s);

// The first word of a statement after blanks, parentheses and comments, in upper case ("WITH",
// "SELECT", "INSERT"...); empty when there is none.
std::string firstKeyword(std::string_view s);

}  // namespace tarvelo::server
