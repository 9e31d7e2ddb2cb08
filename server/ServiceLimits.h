#pragma once

#include <chrono>
#include <cstddef>

namespace tarvelo::server {

// What one request may cost.
struct ServiceLimits {
    std::size_t maxRequestBytes = 64u << 20;         // larger bodies are refused
    std::chrono::milliseconds statementTime{10000};  // a longer statement is interrupted
    std::size_t maxAnswerBytes = 256u << 20;  // a larger packet is refused with an error text
};

}  // namespace tarvelo::server
