#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvelo::server {

// What the service knows of one caller, carried in the caller's session cookie.
struct CallerSession {
    std::string id;  // random; the key that masks password forms for this caller derives from it
    // The account whose password (or auto-login cookie) this caller has proven; empty: none.
    std::string account;
    bool byPassword = false;  // proven by its password in this session
    // The account its latest lookup read: the account an EnVerifs answer is compared with.
    std::string looked;
    // The account whose mailed reset code this caller has shown, and until when (seconds since
    // 1970).
    std::string resetAccount;
    std::int64_t resetUntil = 0;
    std::int64_t issued = 0;  // seconds since 1970: the cookie lasts a fixed time from here
    // Stands for the stored password form of `account` when it was proven: a session ends when
    // that password changes.
    std::string formTag;

    bool signedIn() const { return !account.empty(); }
};

// The callers' session cookies and auto-login cookies, signed by a key that every service
// process on one database derives alike from the database's secret: the read side on a replica
// and the write side on the primary know the same caller without sharing memory (a client
// sends the cookie to both, as they share a host, or copies it). A cookie holds no secret of
// its own beyond the session's random id; it cannot be forged or altered without the key.
// A session cookie lasts 12 hours from its first issue, however often it changes, and a proven
// account's only while its password stays; an auto-login cookie 30 days, and only while its
// account's stored password form is the one it was issued under.
class CookieSessions {
public:
    static constexpr std::string_view kSessionCookie = "TarveloSession";
    static constexpr std::string_view kAutoLoginCookie = "TarveloAutoLogin";
    static constexpr std::chrono::hours kSessionLife{12};
    static constexpr std::chrono::hours kAutoLoginLife{24 * 30};

    explicit CookieSessions(std::string key) : m_key(std::move(key)) {}

    // The session a cookie carries; nullopt when it is malformed, forged or expired.
    std::optional<CallerSession> read(std::string_view cookie) const;
    CallerSession fresh() const;
    std::string write(const CallerSession& s) const;
    // The tag of an account's stored password form (CallerSession::formTag).
    std::string formTag(std::string_view storedForm) const;

    // A stored password form of `account` as this caller is shown it: the same form of the same
    // account always looks the same to one session, differently to every other session and for
    // every other account (so that an EnVerifs answer, masked for the account last looked up,
    // can be compared with that account's form only); unmask() gives the stored form back. A
    // form that is not the service's (32 bytes in Base64) is masked for comparison only.
    std::string mask(const CallerSession& s, std::string_view account, std::string_view form) const;
    std::optional<std::string> unmask(const CallerSession& s, std::string_view account,
                                      std::string_view masked) const;

    std::string autoLogin(std::string_view account, std::string_view storedForm) const;
    // Whether an auto-login cookie stands for `account` while its stored form is `storedForm`.
    bool autoLoginHolds(std::string_view cookie, std::string_view account,
                        std::string_view storedForm) const;

    static std::int64_t now();

private:
    // A cookie of `payload`, signed over the payload and `signedAlso` (which it does not carry).
    std::string sign(std::string_view payload, std::string_view signedAlso = {}) const;
    // A signed cookie's payload, when its signature (over the payload and `signedAlso`) holds.
    std::optional<std::string> verified(std::string_view cookie, std::string_view signedAlso) const;
    std::string maskKey(const CallerSession& s, std::string_view account) const;

    std::string m_key;
};

}  // namespace tarvelo::server
