#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/ServiceLimits.h"
#include "server/policy/CallRate.h"
#include "server/policy/CookieSessions.h"
#include "server/policy/MailCommand.h"
#include "server/store/SqlRunner.h"

namespace tarvelo {
struct DataPacket;
}

namespace tarvelo::server {

class Store;
class ServiceConnection;
struct ApplyParams;

// Who is calling, as the HTTP side tells it.
struct Caller {
    std::string address;          // an IPv4 address or an IPv6 /64, for the limits per caller
    std::string sessionCookie;    // the TarveloSession cookie it sent; empty: none
    std::string autoLoginCookie;  // the TarveloAutoLogin cookie it sent; empty: none
    bool admin = false;           // it carries the administrator token, from where it may
    bool secure = false;          // over TLS: cookies it is given are marked Secure
};

// Who may read and write what. A caller is known by its session cookie (CookieSessions). A
// caller proves an account by its password: its EnVerifs answer
// equals the stored form of the account its latest lookup read, in the same session; or by the
// auto-login cookie it was given at such a sign-in. Then:
//   - only the client's statements are run (ClientStatements), each for whom it is meant:
//     the reference lists for anyone, prices for a caller that has signed in; session rows and
//     VERIFY of its own account only; the user list for the user-management role only;
//   - an account's stored password form, VERIFY, phone, QQ and e-mail are never shown to a
//     caller that has not proven it; a caller sees password forms masked by a key of its own
//     session, EnVerifs answers masked alike, so that the client's comparison still works, and
//     a masked form it writes is stored as the true one;
//   - deltas: price rows from the data-update role, one import unit at a time; roles from the
//     user-management role; a password for the account proven by its old password or by a
//     mailed reset code; a new account with no roles; nothing else;
//   - a reset code is mailed to an account's address when a caller names the account and that
//     address; the code lets that caller set the password for a while.
// With `open` (serve --accounts open), and for the administrator's token, every statement the
// guard allows runs as it comes, as for a client that checks everything itself.
class AccountPolicy {
public:
    struct Options {
        bool open = false;
        MailCommand mail;
    };

    AccountPolicy(Store& store, const ServiceLimits& limits, Options options);

    // One request: the caller, its session, the cookies to set and whom the log names.
    struct Call {
        explicit Call(const Caller& c) : caller(c) {}
        const Caller& caller;
        std::optional<CallerSession> session;
        bool changed = false;                 // the session's cookie is to be set anew
        std::vector<std::string> setCookies;  // Set-Cookie header values
        std::string who;                      // the account proven, for the log
        std::string roles;                    // its DATABZ as this request found it
        std::string table;                    // the table a write was for, for the log
        std::string passwordSetFor;           // the account whose password a delta sets
        std::string newForm;                  // and its new stored form
    };

    bool checks(const Caller& caller) const { return !m_options.open && !caller.admin; }

    // Before anything else of a request: finds the caller's session.
    void begin(Call& call);

    // EnVerifs for a caller that is checked: the masked stored form of `source`.
    std::string enVerifs(Call& call, std::string_view source);
    // A read of a checked caller. Throws StatementError when refused.
    SqlRunner::Answer read(Call& call, std::string_view sql);
    // An ApplyVanDataByExc statement of a checked caller; rows changed.
    long long execute(Call& call, std::string_view sql);
    // What a delta of a checked caller may do, on the connection that will apply it: throws
    // StatementError when refused; turns masked password forms into the stored ones.
    void inspectDelta(Call& call, ServiceConnection& c, const ApplyParams& params,
                      DataPacket& delta);
    // After a delta of a checked caller was applied whole.
    void deltaApplied(Call& call);
    // At the end of a request: the session's cookie, when it changed.
    void finish(Call& call);

private:
    struct Account {
        std::string password;  // the stored form
        std::string databz;
        std::string sysbz;
        std::string email;
    };
    static std::optional<Account> account(ServiceConnection& c, std::string_view id);

    CallerSession& session(Call& call);  // made when the caller has none
    std::string cookie(std::string_view name, std::string_view value, bool persistent,
                       const Call& call) const;
    void prove(Call& call, const std::string& account, const std::string& form, bool byPassword);
    bool signedIn(const Call& call) const;
    // The proven account's roles as stored now; refused when it has not the role (0 or 1).
    void requireRole(Call& call, ServiceConnection& c, int role, std::string_view what);
    SqlRunner::RowFilter hide(Call& call);
    SqlRunner::Answer reset(Call& call, ServiceConnection& c, const std::vector<std::string>& v,
                            bool proof);

    Store& m_store;
    const ServiceLimits& m_limits;
    Options m_options;
    CookieSessions m_cookies;
    CallRate m_newSessions;    // per address
    CallRate m_accountGuess;   // EnVerifs per account looked up
    CallRate m_resetMail;      // reset mails per account
    CallRate m_resetTries;     // reset requests and proofs per address
    CallRate m_registrations;  // new accounts per address

    struct ResetCode {
        std::string code;
        std::chrono::steady_clock::time_point until;
        int triesLeft = 0;
    };
    std::mutex m_resetMutex;
    std::map<std::string, ResetCode> m_resetCodes;  // by account
};

}  // namespace tarvelo::server
