#include "server/store/StatementText.h"

namespace tarvelo::server {

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// Past a comment starting at i; i itself when none starts there.
std::size_t pastComment(std::string_view s, std::size_t i) {
    if (s.substr(i, 2) == "--") {
        const auto eol = s.find('\n', i);
        return eol == std::string_view::npos ? s.size() : eol + 1;
    }
    if (s.substr(i, 2) == "/*") {
        const auto end = s.find("*/", i + 2);
        return end == std::string_view::npos ? s.size() : end + 2;
    }
    return i;
}

}  // namespace

bool onlyTrivia(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        if (blank(s[i]) || s[i] == ';') {
            ++i;
        } else if (const auto next = pastComment(s, i); next != i) {
            i = next;
        } else {
            return false;
        }
    }
    return true;
}

std::string firstKeyword(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        if (blank(s[i]) || s[i] == '(') {
            ++i;
        } else if (const auto next = pastComment(s, i); next != i) {
            i = next;
        } else {
            break;
        }
    }
    std::string word;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= 'a' && c <= 'z')
            word += static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            word += c;
        else
            break;
    }
    return word;
}

}  // namespace tarvelo::server
