#include "text/Cp936Passage.h"

#include "text/CodePage936.h"

namespace tarvelo {

namespace {

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Bytes the sequence led by `lead` takes when well formed.
std::size_t fullLength(unsigned char lead) {
    return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// Where a UTF-8 sequence that may still be completed by the next piece begins, or the size when
// the text ends on a whole sequence.
std::size_t unfinishedTail(std::string_view s) {
    const std::size_t from = s.size() > 3 ? s.size() - 3 : 0;
    for (std::size_t i = s.size(); i-- > from;) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (isContinuation(c)) continue;
        if (c < 0xC0) return s.size();
        return i + fullLength(c) > s.size() ? i : s.size();
    }
    return s.size();
}

// Passes whole sequences. Plain ASCII and the CJK unified ideographs U+4E00..U+9FA5 (all of
// which code page 936 holds, and which come back unchanged) are copied as they are; anything
// else crosses the boundary one sequence at a time, the way the whole text would.
void passWhole(std::string_view s, std::string& out) {
    std::size_t plain = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (isCommonIdeographAt(s, i)) {
            i += 3;
            continue;
        }
        // The sequence as the converter steps over it: cut short at a byte that cannot continue it.
        std::size_t n = std::min(fullLength(c), s.size() - i);
        for (std::size_t k = 1; k < n; ++k)
            if (!isContinuation(static_cast<unsigned char>(s[i + k]))) {
                n = k;
                break;
            }
        out.append(s.data() + plain, i - plain);
        out += cp936ToUtf8(utf8ToCp936(s.substr(i, n)));
        i += n;
        plain = i;
    }
    out.append(s.data() + plain, s.size() - plain);
}

}  // namespace

void Cp936Passage::pass(std::string_view piece, std::string& out) {
    if (!m_held.empty()) {
        // The held sequence takes the continuation bytes it still lacks from this piece.
        const std::size_t need = fullLength(static_cast<unsigned char>(m_held[0]));
        std::size_t k = 0;
        while (m_held.size() < need && k < piece.size() &&
               isContinuation(static_cast<unsigned char>(piece[k])))
            m_held += piece[k++];
        piece.remove_prefix(k);
        if (m_held.size() < need && piece.empty()) return;  // its rest is still to come
        passWhole(m_held, out);
        m_held.clear();
    }
    const std::size_t tail = unfinishedTail(piece);
    passWhole(piece.substr(0, tail), out);
    m_held.assign(piece.substr(tail));
}

void Cp936Passage::finish(std::string& out) {
    passWhole(m_held, out);
    m_held.clear();
}

}  // namespace tarvelo
