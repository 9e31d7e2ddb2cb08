#pragma once

struct sqlite3;

namespace tarvelo::server {

// The functions the client's statements and the width checks (TEMP triggers of the service's
// connections, never the file's schema) call beyond SQLite's own:
//   PosStr(s, t)        1-based character position of t in s; 0 when absent; null when
//                       either is null (any letter case: SQLite's names are case-blind)
//   cp936_length(s)     bytes of s in code page 936; null for null
//   utf16_length(s)     UTF-16 code units of s; null for null
// SubStr, coalesce, ||, WITH, CASE, DISTINCT and LEFT JOIN are SQLite's own.
void registerDialect(sqlite3* db);

}  // namespace tarvelo::server
