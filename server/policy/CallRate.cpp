#include "server/policy/CallRate.h"

#include <algorithm>

namespace tarvelo::server {

namespace {
// Past this many callers, those whose bucket is full again are forgotten: they are as new.
constexpr std::size_t kRemembered = 4096;
}  // namespace

CallRate::CallRate(int burst, std::chrono::milliseconds refill)
    : m_burst(std::max(burst, 1)), m_refill(std::max(refill, std::chrono::milliseconds(1))) {}

double CallRate::refilled(const Bucket& b, Clock::time_point now) const {
    const double back =
        std::chrono::duration<double>(now - b.at) / std::chrono::duration<double>(m_refill);
    return std::min<double>(m_burst, b.calls + std::max(back, 0.0));
}

bool CallRate::take(std::string_view caller, Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    if (m_buckets.size() >= kRemembered)
        std::erase_if(m_buckets,
                      [&](const auto& entry) { return refilled(entry.second, now) >= m_burst; });
    auto [it, added] = m_buckets.try_emplace(std::string(caller), Bucket{double(m_burst), now});
    Bucket& b = it->second;
    b.calls = refilled(b, now);
    b.at = now;
    if (b.calls < 1) return false;
    b.calls -= 1;
    return true;
}

}  // namespace tarvelo::server
