#pragma once

#include <string>

#include "text/Error.h"

namespace tarvelo::server {

// A statement arriving through the service was refused or failed. message() says why in
// Chinese; `rejected` tells a statement the guard or the parser refused from one that failed
// while running.
class StatementError : public Error {
public:
    StatementError(std::string message, std::string detail, bool rejected)
        : Error(std::move(message), std::move(detail)), m_rejected(rejected) {}
    bool rejected() const { return m_rejected; }

private:
    bool m_rejected;
};

}  // namespace tarvelo::server
