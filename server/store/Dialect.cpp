#include "server/store/Dialect.h"

#include <sqlite3.h>

#include <exception>
#include <new>
#include <string_view>

#include "data/FieldDef.h"
#include "text/CodePage936.h"
#include "text/Error.h"

namespace tarvelo::server {

namespace {

std::string_view textOf(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_value_bytes(v)))
             : std::string_view();
}

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

void posStr(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const std::string_view s = textOf(argv[0]);
    const std::string_view t = textOf(argv[1]);
    const auto at = s.find(t);
    if (at == std::string_view::npos) return sqlite3_result_int(ctx, 0);
    sqlite3_int64 chars = 1;
    for (std::size_t i = 0; i < at; ++i)
        if (!isContinuation(s[i])) ++chars;
    sqlite3_result_int64(ctx, chars);
}

void cp936LengthOf(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    // Nothing may unwind through SQLite's frames.
    try {
        sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(cp936Length(textOf(argv[0]))));
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(ctx);
    } catch (const std::exception& e) {
        sqlite3_result_error(ctx, e.what(), -1);
    }
}

void utf16LengthOf(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    static const FieldDef wide = FieldDef::make({}, FieldType::WideString);
    sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(wide.storedSize(textOf(argv[0])) / 2));
}

}  // namespace

void registerDialect(sqlite3* db) {
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    struct Fn {
        const char* name;
        int args;
        void (*fn)(sqlite3_context*, int, sqlite3_value**);
    };
    for (const Fn& f : {Fn{"PosStr", 2, posStr}, Fn{"cp936_length", 1, cp936LengthOf},
                        Fn{"utf16_length", 1, utf16LengthOf}}) {
        if (sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.fn, nullptr, nullptr,
                                       nullptr) != SQLITE_OK)
            throw Error("无法注册数据库函数。", std::string(f.name) + ": " + sqlite3_errmsg(db));
    }
}

}  // namespace tarvelo::server
