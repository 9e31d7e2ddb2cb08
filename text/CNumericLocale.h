#pragma once

#include <memory>

namespace tarvelo {

// While it lives, the C library formats and reads numbers on this thread in the C notation
// ("-3.25"), whatever locale the process was given: for a library of others (libxlsxwriter writes
// its numbers with printf) that would otherwise write a decimal comma into a file. Our own code
// does not need it: it uses to_chars/from_chars.
class CNumericLocale {
public:
    CNumericLocale();
    ~CNumericLocale();
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace tarvelo
