#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarvelo::server {

// What the service remembers of one caller between its requests, found by the caller's
// session cookie. Lock `mutex` while reading or changing it.
struct CallerSession {
    std::mutex mutex;
    // Masks the stored password forms this caller is shown, so that what it reads can be
    // compared with its EnVerifs answers but is worth nothing anywhere else.
    std::string key;
    // The account whose password (or auto-login cookie) this caller has proven; empty: none.
    std::string account;
    bool byPassword = false;  // proven by its password in this session
    // Whether `account` is set, for the session's keeper, which never takes `mutex`.
    std::atomic<bool> signedIn{false};
    // The account its latest lookup read: the account an EnVerifs answer is compared with.
    std::string looked;
    // Masked EnVerifs answers given to this caller, with the stored forms they stand for, so
    // that a password it writes is stored in the true form (newest last, a few at most).
    std::map<std::string, std::string> forms;
    // The account whose reset code this caller has shown, until when.
    std::string resetAccount;
    std::chrono::steady_clock::time_point resetUntil;
};

// The sessions of the callers, and the auto-login cookies. A cookie is 256 random bits; only
// its SHA-256 digest is kept. A session ends after it has been idle for a while (a short while
// when it has proven no account), when its account signs out, or when there are too many.
// Thread-safe.
class CookieSessions {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::string_view kSessionCookie = "TarveloSession";
    static constexpr std::string_view kAutoLoginCookie = "TarveloAutoLogin";
    static constexpr std::chrono::hours kAutoLoginLife{24 * 30};

    // The session a cookie names, or null when it names none (unknown, ended, expired).
    std::shared_ptr<CallerSession> find(std::string_view cookie);
    struct Created {
        std::string cookie;
        std::shared_ptr<CallerSession> session;
    };
    // A new session and its cookie; the session is null when there are too many already.
    Created create();
    void end(std::string_view cookie);

    // A new auto-login cookie for `account`; the account's earlier ones stop working.
    std::string issueAutoLogin(const std::string& account);
    // The account an auto-login cookie stands for; empty when none.
    std::string autoLoginAccount(std::string_view cookie);
    // The account's auto-login cookies stop working (its password changed).
    void revokeAutoLogin(const std::string& account);

    std::size_t size() const;

private:
    struct Entry {
        std::shared_ptr<CallerSession> session;
        Clock::time_point lastUse;
    };
    struct AutoLogin {
        std::string account;
        Clock::time_point until;
    };
    static std::string digest(std::string_view cookie);
    void sweep(Clock::time_point now);

    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Entry> m_sessions;
    std::unordered_map<std::string, AutoLogin> m_autoLogins;  // by digest
    Clock::time_point m_lastSweep;
};

// A fresh random token for a cookie: 256 bits, base64url without padding (43 characters).
std::string newCookieToken();

}  // namespace tarvelo::server
