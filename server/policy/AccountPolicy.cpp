#include "server/policy/AccountPolicy.h"

#include <algorithm>

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include "data/DataPacket.h"
#include "server/policy/ClientStatements.h"
#include "server/store/ApplyParams.h"
#include "server/store/PasswordTransform.h"
#include "server/store/Schema.h"
#include "server/store/ServiceConnection.h"
#include "server/store/StatementError.h"
#include "server/store/Store.h"
#include "text/SqlLiteral.h"

namespace tarvelo::server {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kNotTheClients = "数据服务只执行本系统客户端的语句，这条语句被拒绝了。";
constexpr std::string_view kTooOften = "请求过于频繁，请稍后再试。";
constexpr std::chrono::minutes kResetCodeLife{15};
constexpr std::chrono::minutes kResetProofLife{10};
constexpr int kResetCodeTries = 5;

[[noreturn]] void refuse(std::string message, std::string detail = {}) {
    throw StatementError(std::move(message), std::move(detail), true);
}

bool sameSecret(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string sixDigits() {
    unsigned char bytes[4];
    if (RAND_bytes(bytes, sizeof bytes) != 1) throw Error("服务无法生成随机数。", "RAND_bytes");
    const std::uint32_t n = (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) |
                            (std::uint32_t(bytes[2]) << 8) | bytes[3];
    std::string code = std::to_string(n % 1000000);
    return std::string(6 - code.size(), '0') + code;
}

std::optional<std::size_t> fieldIndex(const DataPacket& p, std::string_view name) {
    for (std::size_t i = 0; i < p.fields.size(); ++i)
        if (sameName(p.fields[i].name, name)) return i;
    return std::nullopt;
}

std::string valueOf(const Row& row, std::optional<std::size_t> field) {
    if (!field) return {};
    const auto v = row.get(*field);
    return v ? std::string(*v) : std::string();
}

bool holds(const std::vector<std::string>& names, std::string_view name) {
    for (const auto& n : names)
        if (sameName(n, name)) return true;
    return false;
}

// The tables of prices and the column that, beside the period, names one import unit.
struct PriceUnit {
    std::string_view table;
    std::string_view target;  // empty: the period alone
};
constexpr PriceUnit kPriceUnits[] = {
    {"KVR_XXJ", "PLACE"}, {"KVR_CJJ", ""}, {"KVR_MMJ", "PLACE"}, {"KVR_CSJ", "ICEXT"}};

}  // namespace

AccountPolicy::AccountPolicy(Store& store, const ServiceLimits& limits, Options options)
    : m_store(store),
      m_limits(limits),
      m_options(std::move(options)),
      // Every process on the database signs alike: the key comes from the database's secret,
      // through a text no request can carry (XML has no control characters), so that EnVerifs
      // never answers it.
      m_cookies(store.transformPassword("\x01Tarvelo session cookies")),
      m_newSessions(limits.newSessionsBurst, limits.newSessionsRefill),
      m_accountGuess(limits.enVerifsBurst, limits.enVerifsRefill),
      m_resetMail(3, std::chrono::minutes(20)),
      m_resetTries(10, std::chrono::seconds(20)),
      m_registrations(5, std::chrono::minutes(1)) {}

void AccountPolicy::begin(Call& call) {
    if (!checks(call.caller)) {
        call.who = call.caller.admin ? "管理员令牌" : "";
        return;
    }
    call.session = m_cookies.read(call.caller.sessionCookie);
    if (call.session && call.session->signedIn()) {
        // A proven account holds only while its password stays what was proven.
        const auto lease = m_store.acquire(Side::Read);
        const auto a = account(*lease, call.session->account);
        if (!a || !sameSecret(m_cookies.formTag(a->password), call.session->formTag)) {
            call.session.reset();
            return;
        }
        call.who = call.session->account;
        call.roles = a->databz;
    }
}

void AccountPolicy::finish(Call& call) {
    if (call.changed && call.session)
        call.setCookies.push_back(
            cookie(CookieSessions::kSessionCookie, m_cookies.write(*call.session), false, call));
}

std::string AccountPolicy::cookie(std::string_view name, std::string_view value, bool persistent,
                                  const Call& call) const {
    std::string c = std::string(name) + "=" + std::string(value) + "; Path=/; HttpOnly";
    if (persistent)
        c += "; Max-Age=" +
             std::to_string(std::chrono::seconds(CookieSessions::kAutoLoginLife).count());
    if (call.caller.secure) c += "; Secure";
    return c + "; SameSite=Strict";
}

CallerSession& AccountPolicy::session(Call& call) {
    if (call.session) return *call.session;
    if (!m_newSessions.take(call.caller.address)) refuse(std::string(kTooOften), "新会话过多");
    call.session = m_cookies.fresh();
    call.changed = true;
    return *call.session;
}

void AccountPolicy::prove(Call& call, const std::string& account, const std::string& form,
                          bool byPassword) {
    CallerSession& s = session(call);
    s.account = account;
    s.byPassword = byPassword;
    s.formTag = m_cookies.formTag(form);
    call.changed = true;
    call.who = account;
}

bool AccountPolicy::signedIn(const Call& call) const {
    return call.session && call.session->signedIn();
}

std::optional<AccountPolicy::Account> AccountPolicy::account(ServiceConnection& c,
                                                             std::string_view id) {
    const auto q = c.prepare("SELECT PASSWORD, DATABZ, SYSBZ, EMAIL FROM KVR_USERH WHERE USERID=?");
    q->bind(1, id);
    if (!q->step()) return std::nullopt;
    return Account{q->text(0), q->text(1), q->text(2), q->text(3)};
}

void AccountPolicy::requireRole(Call& call, ServiceConnection& c, int role, std::string_view what) {
    const std::string id = call.session ? call.session->account : std::string();
    if (id.empty()) refuse("请先登录，再" + std::string(what) + "。");
    const auto a = account(c, id);
    if (!a || a->databz.size() <= static_cast<std::size_t>(role) ||
        a->databz[static_cast<std::size_t>(role)] != '1')
        refuse("账号 " + id + " 没有" + (role == 0 ? "更新数据" : "用户管理") + "的权限，不能" +
               std::string(what) + "。");
}

std::string AccountPolicy::enVerifs(Call& call, std::string_view source) {
    CallerSession& s = session(call);
    if (!s.looked.empty() && !m_accountGuess.take(s.looked))
        refuse(std::string(kTooOften), "EnVerifs：账号 " + s.looked);
    const std::string form = m_store.transformPassword(source);
    if (!s.looked.empty()) {
        const auto lease = m_store.acquire(Side::Read);
        if (const auto a = account(*lease, s.looked); a && sameSecret(a->password, form))
            prove(call, s.looked, a->password, true);
    }
    return m_cookies.mask(s, s.looked, form);
}

SqlRunner::RowFilter AccountPolicy::hide(Call& call) {
    const CallerSession s = session(call);
    return [this, s](const std::vector<std::string>& names,
                     std::vector<std::optional<std::string>>& values) {
        std::optional<std::size_t> id;
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == "USERID") id = i;
        const bool own = s.signedIn() && id && values[*id] && *values[*id] == s.account;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (!values[i]) continue;
            if (names[i] == "PASSWORD")
                values[i] =
                    m_cookies.mask(s, id && values[*id] ? *values[*id] : std::string(), *values[i]);
            else if (!own && (names[i] == "VERIFY" || names[i] == "TEL" || names[i] == "QQ" ||
                              names[i] == "EMAIL"))
                values[i] = std::string();
        }
        return true;
    };
}

SqlRunner::Answer AccountPolicy::read(Call& call, std::string_view sql) {
    const auto m = ClientStatements::read(sql);
    if (!m) refuse(std::string(kNotTheClients));
    const auto lease = m_store.acquire(Side::Read);
    SqlRunner runner(*lease, m_limits);
    switch (m->kind) {
        case ClientStatement::RegionList:
        case ClientStatement::MaterialClassList:
        case ClientStatement::SessionCheck:
            return runner.query(sql);
        case ClientStatement::LoginLookup:
        case ClientStatement::AccountLookup: {
            CallerSession& s = session(call);
            if (s.looked != m->values[0]) {
                s.looked = m->values[0];
                call.changed = true;
            }
            if (s.account != s.looked && !call.caller.autoLoginCookie.empty())
                if (const auto a = account(*lease, s.looked);
                    a &&
                    m_cookies.autoLoginHolds(call.caller.autoLoginCookie, s.looked, a->password))
                    prove(call, s.looked, a->password, false);
            return runner.query(sql, hide(call));
        }
        case ClientStatement::UserList: {
            const bool manager = signedIn(call) && call.roles.size() >= 2 && call.roles[1] == '1';
            // Anyone else gets the list's columns without a row.
            if (manager) return runner.query(sql);
            return runner.query(sql, [](const auto&, auto&) { return false; });
        }
        case ClientStatement::ResetRequest:
            return reset(call, *lease, m->values, false);
        case ClientStatement::ResetProof:
            return reset(call, *lease, m->values, true);
        default:
            if (!signedIn(call)) refuse("请先登录，再查询价格。");
            return runner.query(sql);
    }
}

SqlRunner::Answer AccountPolicy::reset(Call& call, ServiceConnection& c,
                                       const std::vector<std::string>& v, bool proof) {
    const std::string& id = v[0];
    const std::string& email = v[1];
    if (!m_resetTries.take(call.caller.address))
        refuse(std::string(kTooOften), "重置密码：" + call.caller.address);
    const auto a = account(c, id);
    bool matched = a && !email.empty() && a->email == email;
    const auto now = Clock::now();
    if (matched && !proof) {
        if (!m_resetMail.take(id)) refuse("验证码发送过于频繁，请稍后再试。");
        const std::string code = sixDigits();
        try {
            m_options.mail.send(email, "重置密码验证码",
                                "账号 " + id + " 的重置密码验证码：" + code + "\n\n" +
                                    "验证码在 15 分钟内有效，只能用一次。如果您没有要求重置密码，"
                                    "请不必理会这封邮件，密码不会改变。\n");
        } catch (const Error& e) {
            throw StatementError(e.message(), e.detail(), false);
        }
        std::lock_guard lock(m_resetMutex);
        m_resetCodes[id] = ResetCode{code, now + kResetCodeLife, kResetCodeTries};
    } else if (matched) {
        bool shown = false;
        {
            std::lock_guard lock(m_resetMutex);
            const auto it = m_resetCodes.find(id);
            if (it != m_resetCodes.end() && it->second.until > now) {
                shown = sameSecret(it->second.code, v[2]);
                if (shown || --it->second.triesLeft <= 0) m_resetCodes.erase(it);
            }
        }
        matched = shown;
        if (shown) {
            CallerSession& s = session(call);
            s.resetAccount = id;
            s.resetUntil = CookieSessions::now() + std::chrono::seconds(kResetProofLife).count();
            call.changed = true;
        }
    }
    return SqlRunner(c, m_limits)
        .query("Select USERID From KVR_USERH Where USERID=" + sqlLiteral(id) +
               (matched ? "" : " and 1=0"));
}

long long AccountPolicy::execute(Call& call, std::string_view sql) {
    const auto m = ClientStatements::exec(sql);
    if (!m) refuse(std::string(kNotTheClients));
    const auto own = [&](const std::string& id, bool byPassword) {
        const bool ok = call.session && call.session->account == id &&
                        (!byPassword || call.session->byPassword);
        if (!ok) refuse("只能为本次登录的账号做这件事。", "账号 " + id);
    };
    const auto lease = m_store.acquire(Side::Write);
    SqlRunner runner(*lease, m_limits);
    switch (m->kind) {
        case ClientStatement::SessionRegister: {
            const std::string& id = m->values[0];
            own(id, false);
            call.table = "KVR_LOGIN";
            // One row per account: the check the client made a moment ago is made again here.
            const auto q = lease->prepare("SELECT MAC FROM KVR_LOGIN WHERE USERID=?");
            q->bind(1, std::string_view(id));
            bool any = false, elsewhere = false;
            while (q->step()) {
                any = true;
                elsewhere = elsewhere || q->view(0) != m->values[1];
            }
            if (elsewhere) throw StatementError("该用户已在线。", "账号 " + id, false);
            if (any) return 0;
            return runner.execute(sql);
        }
        case ClientStatement::VerifyUpdate: {
            const std::string& id = m->values[1];
            own(id, true);
            call.table = "KVR_USERH";
            const long long n = runner.execute(sql);
            const auto a = account(*lease, id);
            if (a)
                call.setCookies.push_back(cookie(CookieSessions::kAutoLoginCookie,
                                                 m_cookies.autoLogin(id, a->password), true, call));
            return n;
        }
        case ClientStatement::SessionRelease: {
            const std::string& id = m->values[0];
            if (id.empty()) return 0;  // the release of a program that never signed in
            own(id, false);
            call.table = "KVR_LOGIN";
            const long long n = runner.execute(sql);
            // Signed out: the caller's cookie is dropped (a copy kept elsewhere would last until
            // it expires).
            call.session.reset();
            call.changed = false;
            call.setCookies.push_back(std::string(CookieSessions::kSessionCookie) +
                                      "=; Path=/; Max-Age=0");
            return n;
        }
        default:
            refuse(std::string(kNotTheClients));
    }
}

void AccountPolicy::inspectDelta(Call& call, ServiceConnection& c, const ApplyParams& params,
                                 DataPacket& delta) {
    // Rows are found by the key the parameters name: it must be the table's own, so that the
    // values checked below are the ones that pick the rows.
    const TableDef* table = Schema::instance().table(params.table);
    const auto sameKey = [&] {
        if (!table || params.key.size() != table->key.size()) return false;
        for (const auto& k : table->key)
            if (std::none_of(params.key.begin(), params.key.end(),
                             [&](const std::string& p) { return sameName(p, k); }))
                return false;
        return true;
    };
    for (const PriceUnit& unit : kPriceUnits) {
        if (!sameName(params.table, unit.table)) continue;
        requireRole(call, c, 0, "上传价格数据");
        if (!sameKey()) refuse("上传价格数据时，键列必须是表 " + params.table + " 的主键。");
        if (!params.excluded.empty()) refuse("上传价格数据时不能排除列。");
        const auto period = fieldIndex(delta, "PERDID");
        const auto target = unit.target.empty() ? std::nullopt : fieldIndex(delta, unit.target);
        if (!period || (!unit.target.empty() && !target))
            refuse("上传的价格数据缺少期数或" + std::string(unit.target) + "列。");
        std::optional<std::pair<std::string, std::string>> first;
        for (std::size_t r = 0; r < delta.rows.size(); ++r) {
            if (delta.rowStates[r] != RowState::Inserted && delta.rowStates[r] != RowState::Deleted)
                refuse("上传价格数据只能插入或删除行，不能修改已发布的行。");
            const std::pair here{valueOf(delta.rows[r], period), valueOf(delta.rows[r], target)};
            if (!first) first = here;
            if (here != *first)
                refuse("一次只能上传一个期数" +
                       std::string(unit.target.empty() ? "" : "、一个地区或材料类型") +
                       "的价格数据。");
        }
        return;
    }
    if (!sameName(params.table, "KVR_USERH"))
        refuse("表 " + params.table + " 不能通过客户端修改。");
    if (!sameKey()) refuse("修改账号时，键列必须是 USERID。");

    for (const auto& e : params.excluded)
        if (!sameName(e, "DBZ1") && !sameName(e, "DBZ2"))
            refuse("修改账号时只能排除显示列 DBZ1、DBZ2。");
    const auto field = [&](std::string_view name) { return fieldIndex(delta, name); };
    const auto userid = field("USERID");
    const auto password = field("PASSWORD");
    if (!userid) refuse("账号数据缺少 USERID 列。");
    const CallerSession* s = call.session ? &*call.session : nullptr;
    const auto trueForm = [&](std::string_view id,
                              std::string_view masked) -> std::optional<std::string> {
        if (!s) return std::nullopt;
        return m_cookies.unmask(*s, id, masked);
    };

    for (std::size_t r = 0; r < delta.rows.size(); ++r) {
        Row& row = delta.rows[r];
        switch (delta.rowStates[r]) {
            case RowState::Inserted: {
                // A new account: no roles, no system flag, no machine, its password in a form
                // this caller was given.
                if (valueOf(row, field("PWBZ")) != "0" || valueOf(row, field("SYSBZ")) != "0" ||
                    valueOf(row, field("DATABZ")) != "00" || !valueOf(row, field("VERIFY")).empty())
                    refuse("新账号只能是没有任何权限的普通账号（PWBZ=0、SYSBZ=0、DATABZ=00）。");
                if (delta.rows.size() != 1) refuse("一次只能注册一个账号。");
                if (const std::string id = valueOf(row, userid);
                    id.empty() || id.size() > 32 || std::any_of(id.begin(), id.end(), [](char c) {
                        return static_cast<unsigned char>(c) < 0x20;
                    }))
                    refuse("账号的用户编码不能为空，不能超过 32 个字节，也不能含有控制字符。");
                // One plain address: the reset code is mailed to it, and a list would make the
                // service a relay.
                if (const std::string email = valueOf(row, field("EMAIL"));
                    email.size() > 64 ||
                    email.find_first_of(" ,;<>\"()[]\\") != std::string::npos ||
                    std::any_of(email.begin(), email.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
                    refuse("邮箱地址只能是一个普通的地址（不含空格、逗号、分号和尖括号）。");
                if (!m_registrations.take(call.caller.address))
                    refuse(std::string(kTooOften), "注册：" + call.caller.address);
                const auto form = password ? trueForm(valueOf(row, userid), valueOf(row, password))
                                           : std::nullopt;
                if (!form) refuse("新账号的密码必须是本次会话中由 EnVerifs 变换的密码。");
                row.set(*password, *form);
                break;
            }
            case RowState::Deleted:
                refuse("不能删除账号。");
            case RowState::Original: {
                Row& changed = delta.rows[++r];
                const std::string id = valueOf(row, userid);
                std::vector<std::string> columns;
                for (std::size_t i = 0; i < delta.fields.size(); ++i)
                    if (!changed.isNull(i) && !holds(params.excluded, delta.fields[i].name))
                        columns.push_back(upperName(delta.fields[i].name));
                if (columns.empty()) break;
                if (columns == std::vector<std::string>{"DATABZ"}) {
                    requireRole(call, c, 1, "修改用户权限");
                    const auto a = account(c, id);
                    if (a && a->sysbz == "1") refuse("系统账号的权限不能在这里修改。");
                    if (valueOf(changed, field("DATABZ")).size() > 2) refuse("权限标志最多两位。");
                    break;
                }
                if (columns != std::vector<std::string>{"PASSWORD"})
                    refuse("账号只能修改密码或权限，不能修改 " + columns.front() + " 等列。");
                const bool byPassword = s && s->account == id && s->byPassword;
                const bool byCode =
                    s && s->resetAccount == id && s->resetUntil > CookieSessions::now();
                if (!byPassword && byCode) call.who = id + "，凭邮件验证码";
                if (!byPassword && !byCode)
                    refuse("只有用原密码或邮件验证码证明了身份，才能修改账号 " + id + " 的密码。");
                const auto form = trueForm(id, valueOf(changed, password));
                if (!form) refuse("新密码必须是本次会话中由 EnVerifs 变换的密码。");
                changed.set(*password, *form);
                call.passwordSetFor = id;
                call.newForm = *form;
                // The row is found by the form the caller was shown; the stored one stands
                // for it.
                if (const auto a = account(c, id);
                    a && s && !row.isNull(*password) &&
                    sameSecret(m_cookies.mask(*s, id, a->password), valueOf(row, password)))
                    row.set(*password, a->password);
                break;
            }
            default:
                refuse("账号数据的行状态不对。");
        }
    }
}

void AccountPolicy::deltaApplied(Call& call) {
    if (call.passwordSetFor.empty() || !call.session) return;
    // A reset code's proof serves one password; a session that set its own account's password
    // holds on to it, under the new one.
    if (call.session->resetAccount == call.passwordSetFor) {
        call.session->resetAccount.clear();
        call.session->resetUntil = 0;
    }
    if (call.session->account == call.passwordSetFor)
        call.session->formTag = m_cookies.formTag(call.newForm);
    call.changed = true;
}

}  // namespace tarvelo::server
