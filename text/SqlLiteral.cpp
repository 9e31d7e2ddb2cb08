#include "text/SqlLiteral.h"

namespace tarvelo {

std::string sqlLiteral(std::string_view value) {
    std::string out;
    out.reserve(value.size() + 2);
    out += '\'';
    for (char c : value) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += '\'';
    return out;
}

}  // namespace tarvelo
