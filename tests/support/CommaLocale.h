#pragma once

#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>

namespace tarvelo::test {

// The process under de_DE.UTF-8, whose numbers are written with a decimal comma (made in the
// build by scripts/test-locales into TARVELO_LOCALE_DIR), as on an office's computer bought
// abroad; the locale before is back afterwards.
class CommaLocale {
public:
    CommaLocale() {
        if (const char* path = std::getenv("LOCPATH")) m_path = path;
        m_before = std::setlocale(LC_ALL, nullptr);
        ::setenv("LOCPATH", TARVELO_LOCALE_DIR, 1);
        m_taken = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    ~CommaLocale() {
        if (m_path)
            ::setenv("LOCPATH", m_path->c_str(), 1);
        else
            ::unsetenv("LOCPATH");
        std::setlocale(LC_ALL, m_before.c_str());
    }
    bool taken() const { return m_taken; }

private:
    std::optional<std::string> m_path;
    std::string m_before;
    bool m_taken = false;
};

}  // namespace tarvelo::test
