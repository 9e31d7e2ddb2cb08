#include "server/policy/CookieSessions.h"

#include <openssl/rand.h>
#include <openssl/sha.h>

#include "text/Error.h"

namespace tarvelo::server {

namespace {

// Sessions held at most; a caller that makes a new one per request fills this soon, and then
// the oldest idle ones go first (see sweep).
constexpr std::size_t kMaxSessions = 100000;
// A session that has proven no account is dropped after this long idle; one that has, later.
constexpr std::chrono::minutes kAnonymousIdle{30};
constexpr std::chrono::hours kSignedInIdle{12};

std::string randomBytes(std::size_t n) {
    std::string bytes(n, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(n)) != 1)
        throw Error("服务无法生成随机数。", "RAND_bytes");
    return bytes;
}

}  // namespace

std::string newCookieToken() {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    const std::string raw = randomBytes(32);
    std::string out;
    unsigned bits = 0;
    int have = 0;
    for (unsigned char c : raw) {
        bits = (bits << 8) | c;
        have += 8;
        while (have >= 6) {
            have -= 6;
            out += kAlphabet[(bits >> have) & 63];
        }
    }
    if (have > 0) out += kAlphabet[(bits << (6 - have)) & 63];
    return out;
}

std::string CookieSessions::digest(std::string_view cookie) {
    unsigned char d[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(cookie.data()), cookie.size(), d);
    return std::string(reinterpret_cast<const char*>(d), sizeof d);
}

std::shared_ptr<CallerSession> CookieSessions::find(std::string_view cookie) {
    if (cookie.empty()) return nullptr;
    const std::string key = digest(cookie);
    std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(key);
    if (it == m_sessions.end()) return nullptr;
    const auto now = Clock::now();
    const bool signedIn = it->second.session->signedIn;
    if (now - it->second.lastUse > (signedIn ? Clock::duration(kSignedInIdle) : kAnonymousIdle)) {
        m_sessions.erase(it);
        return nullptr;
    }
    it->second.lastUse = now;
    return it->second.session;
}

CookieSessions::Created CookieSessions::create() {
    Created c;
    c.cookie = newCookieToken();
    auto session = std::make_shared<CallerSession>();
    session->key = randomBytes(32);
    const auto now = Clock::now();
    std::lock_guard lock(m_mutex);
    if (m_sessions.size() >= kMaxSessions || now - m_lastSweep > std::chrono::minutes(1))
        sweep(now);
    if (m_sessions.size() >= kMaxSessions) return c;
    m_sessions[digest(c.cookie)] = Entry{session, now};
    c.session = std::move(session);
    return c;
}

void CookieSessions::sweep(Clock::time_point now) {
    m_lastSweep = now;
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        const bool signedIn = it->second.session->signedIn;
        const auto idle = now - it->second.lastUse;
        // When full, a session that has proven no account goes after a minute idle.
        const bool full = m_sessions.size() >= kMaxSessions;
        if (idle > (signedIn ? Clock::duration(kSignedInIdle)
                    : full   ? Clock::duration(std::chrono::minutes(1))
                             : Clock::duration(kAnonymousIdle)))
            it = m_sessions.erase(it);
        else
            ++it;
    }
    for (auto it = m_autoLogins.begin(); it != m_autoLogins.end();)
        it = it->second.until < now ? m_autoLogins.erase(it) : std::next(it);
}

void CookieSessions::end(std::string_view cookie) {
    std::lock_guard lock(m_mutex);
    m_sessions.erase(digest(cookie));
}

std::string CookieSessions::issueAutoLogin(const std::string& account) {
    std::string cookie = newCookieToken();
    std::lock_guard lock(m_mutex);
    for (auto it = m_autoLogins.begin(); it != m_autoLogins.end();)
        it = it->second.account == account ? m_autoLogins.erase(it) : std::next(it);
    m_autoLogins[digest(cookie)] = AutoLogin{account, Clock::now() + kAutoLoginLife};
    return cookie;
}

std::string CookieSessions::autoLoginAccount(std::string_view cookie) {
    if (cookie.empty()) return {};
    std::lock_guard lock(m_mutex);
    const auto it = m_autoLogins.find(digest(cookie));
    if (it == m_autoLogins.end() || it->second.until < Clock::now()) return {};
    return it->second.account;
}

void CookieSessions::revokeAutoLogin(const std::string& account) {
    std::lock_guard lock(m_mutex);
    for (auto it = m_autoLogins.begin(); it != m_autoLogins.end();)
        it = it->second.account == account ? m_autoLogins.erase(it) : std::next(it);
}

std::size_t CookieSessions::size() const {
    std::lock_guard lock(m_mutex);
    return m_sessions.size();
}

}  // namespace tarvelo::server
