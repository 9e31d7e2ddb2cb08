#include "server/store/ApplyParams.h"

#include <optional>

#include "data/DataPacket.h"
#include "text/Error.h"
#include "text/Trim.h"

namespace tarvelo::server {

namespace {

std::vector<std::string> names(std::string_view list) {
    std::vector<std::string> out;
    while (!list.empty()) {
        const auto comma = list.find(',');
        const std::string_view item = trim(list.substr(0, comma));
        if (!item.empty()) out.emplace_back(item);
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return out;
}

bool isIdentifierChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

[[noreturn]] void bad(const std::string& what, std::string_view text) {
    throw Error("提交参数有误：" + what, "参数：“" + excerpt(text) + "”");
}

}  // namespace

ApplyParams ApplyParams::parse(std::string_view text) {
    std::optional<std::string_view> sql, key, exc;
    std::string_view rest = text;
    while (!rest.empty()) {
        const auto eol = rest.find('\n');
        std::string_view line = rest.substr(0, eol);
        rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) {
            if (!trim(line).empty()) bad("无法识别的一行“" + excerpt(line, 40) + "”。", text);
            continue;
        }
        const std::string name = upperName(trim(line.substr(0, eq)));
        const std::string_view value = line.substr(eq + 1);
        if (name == "SQL00")
            sql = value;
        else if (name == "KEY00")
            key = value;
        else if (name == "EXC00")
            exc = value;
        else if (name != "INC00")
            bad("无法识别的参数“" + name + "”。", text);
    }
    if (!sql) bad("缺少 SQL00 一行。", text);
    if (!key) bad("缺少 Key00 一行。", text);

    ApplyParams p;
    // The table is the name after FROM in "Select 'AAA' AAA From <table> Where 1=2".
    const std::string upper = upperName(*sql);
    std::size_t from = std::string::npos;
    for (std::size_t at = upper.find("FROM"); at != std::string::npos;
         at = upper.find("FROM", at + 1)) {
        const bool before = at == 0 || !isIdentifierChar(upper[at - 1]);
        const bool after = at + 4 >= upper.size() || !isIdentifierChar(upper[at + 4]);
        if (before && after) {
            from = at + 4;
            break;
        }
    }
    if (from == std::string::npos) bad("SQL00 中没有 FROM 表名。", text);
    while (from < sql->size() && ((*sql)[from] == ' ' || (*sql)[from] == '\t'))
        ++from;
    std::size_t end = from;
    while (end < sql->size() && isIdentifierChar((*sql)[end]))
        ++end;
    p.table = std::string(sql->substr(from, end - from));
    if (p.table.empty()) bad("SQL00 中没有 FROM 表名。", text);

    // Key00=ResolveToSQL;upWhereChanged;PERDID,PLACE,SERIAL
    std::vector<std::string_view> parts;
    std::string_view k = *key;
    while (true) {
        const auto semi = k.find(';');
        parts.push_back(k.substr(0, semi));
        if (semi == std::string_view::npos) break;
        k.remove_prefix(semi + 1);
    }
    if (parts.size() != 3 || upperName(trim(parts[0])) != "RESOLVETOSQL")
        bad("Key00 应为“ResolveToSQL;upWhereChanged;键列”。", text);
    const std::string mode = upperName(trim(parts[1]));
    if (mode == "UPWHERECHANGED")
        p.where = WhereMode::Changed;
    else if (mode == "UPWHEREKEYONLY")
        p.where = WhereMode::KeyOnly;
    else if (mode == "UPWHEREALL")
        p.where = WhereMode::All;
    else
        bad("无法识别的更新方式“" + std::string(parts[1]) + "”。", text);
    p.key = names(parts[2]);
    if (p.key.empty()) bad("Key00 没有列出键列。", text);
    if (exc) p.excluded = names(*exc);
    return p;
}

}  // namespace tarvelo::server
