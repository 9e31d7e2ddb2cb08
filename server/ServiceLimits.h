#pragma once

#include <chrono>
#include <cstddef>

namespace tarvelo::server {

// What one request may cost.
struct ServiceLimits {
    std::size_t maxRequestBytes = 64u << 20;         // larger bodies are refused
    std::chrono::milliseconds statementTime{10000};  // a longer statement is interrupted
    std::size_t maxAnswerBytes = 256u << 20;  // a larger packet is refused with an error text
    // Answers being built at once, in the whole process; a statement whose rows would pass it
    // is refused with "数据服务正忙，请稍后再试。" (the answers already built and not yet taken
    // by their clients have a budget of their own: EndpointOptions::answerBudget).
    std::size_t buildingBudget = std::size_t(1) << 30;
    // EnVerifs transforms a password: each caller (address) gets this many at once, and one
    // more every enVerifsRefill; more are refused with a fault, so that passwords cannot be
    // guessed at speed. A sign-in takes one or two.
    int enVerifsBurst = 5;
    std::chrono::milliseconds enVerifsRefill{1000};
    // The same, for the EnVerifs calls that follow a lookup of one account, whoever makes them.
    // New sessions (cookies) each caller may begin, likewise: a client begins one per run.
    int newSessionsBurst = 30;
    std::chrono::milliseconds newSessionsRefill{1000};
};

}  // namespace tarvelo::server
