#include "text/CNumericLocale.h"

#include <clocale>
#include <string>

#ifndef _WIN32
#include <locale.h>
#endif

namespace tarvelo {

#ifdef _WIN32
// Windows has no uselocale: the thread takes a locale of its own, set to "C" for numbers, and
// gives it back afterwards.
struct CNumericLocale::State {
    int perThread = 0;
    std::string numeric;
};

CNumericLocale::CNumericLocale() : m_state(std::make_unique<State>()) {
    m_state->perThread = _configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
    if (const char* now = std::setlocale(LC_NUMERIC, nullptr)) m_state->numeric = now;
    std::setlocale(LC_NUMERIC, "C");
}

CNumericLocale::~CNumericLocale() {
    std::setlocale(LC_NUMERIC, m_state->numeric.c_str());
    _configthreadlocale(m_state->perThread);
}
#else
// POSIX: the thread uses a copy of its locale with "C" numbers; other threads are untouched.
struct CNumericLocale::State {
    locale_t own = nullptr;
    locale_t before = nullptr;
};

CNumericLocale::CNumericLocale() : m_state(std::make_unique<State>()) {
    locale_t current = uselocale(nullptr);
    locale_t copy = duplocale(current == LC_GLOBAL_LOCALE ? LC_GLOBAL_LOCALE : current);
    if (!copy) return;
    m_state->own = newlocale(LC_NUMERIC_MASK, "C", copy);
    if (!m_state->own) {
        freelocale(copy);
        return;
    }
    m_state->before = uselocale(m_state->own);
}

CNumericLocale::~CNumericLocale() {
    if (!m_state->own) return;
    uselocale(m_state->before);
    freelocale(m_state->own);
}
#endif

}  // namespace tarvelo
