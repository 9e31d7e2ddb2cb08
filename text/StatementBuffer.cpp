#include "text/StatementBuffer.h"

namespace tarvelo {

std::string StatementBuffer::text() const {
    std::size_t size = 0;
    for (const auto& line : m_lines)
        size += line.size() + 2;
    std::string out;
    out.reserve(size);
    for (const auto& line : m_lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

}  // namespace tarvelo
