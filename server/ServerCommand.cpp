#include "server/ServerCommand.h"

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "server/http/AccessToken.h"
#include "server/http/ClientNetworks.h"
#include "server/http/HttpEndpoint.h"
#include "server/soap/SoapService.h"
#include "server/store/DatabaseBackup.h"
#include "server/store/DemoData.h"
#include "server/store/SessionRegistry.h"
#include "server/store/Store.h"
#include "server/store/postgresql/PgDatabase.h"
#include "soap/SoapInterface.h"
#include "text/Error.h"
#include "text/NumberText.h"
#include "text/OneLine.h"
#include "text/TextTable.h"

namespace tarvelo::server {

namespace {

constexpr int kDefaultPort = 8517;

constexpr const char* kUsage =
    "用法：tarvelo-server <命令> [选项]\n"
    "\n"
    "命令：\n"
    "  init       --db FILE                     新建数据库（表、索引、密码变换密钥）\n"
    "  serve      --db FILE [--listen HOST:PORT] [--tls-cert F --tls-key F] [--log-statements]\n"
    "             [--access-token-file F] [--allow 网段]... [--tls-client-ca F]\n"
    "             [--max-connections-per-address N] [--accounts checked|open]\n"
    "             [--admin-token-file F] [--admin-allow 网段]... [--mail-command 命令]\n"
    "                                           提供两个 SOAP 接口（默认 127.0.0.1:8517）\n"
    "  demo-data  --db FILE [--rows N]          装入演示数据；--rows N 只生成 N 行信息价\n"
    "                                           （60 个月 × 20 个地区），用于性能测试\n"
    "  add-user   --db FILE --id ID --name NAME --password P --roles 11 [--system]\n"
    "                                           添加账号；角色两位：数据更新、用户管理\n"
    "  sessions   --db FILE [--clear ID | --older-than DAYS]\n"
    "                                           列出或删除在线记录（程序异常退出后留下的）\n"
    "  backup     --db FILE --to COPY [--overwrite]\n"
    "                                           在服务运行时备份数据库\n"
    "\n"
    "FILE 是 SQLite 数据库文件，也可以是 PostgreSQL 的连接地址（postgresql://…）；\n"
    "在 PostgreSQL 上，serve 的 --db 是查询端的连接，--write-db 是写入端的连接。\n"
    "每个命令都接受 --help。\n";

const std::map<std::string, std::string> kHelp = {
    {"init",
     "用法：tarvelo-server init --db FILE\n"
     "新建数据库文件：八张数据表及其索引，WAL 日志方式，以及密码变换的密钥。\n"
     "文件已初始化过时拒绝执行，不改动任何数据。\n"
     "FILE 为 PostgreSQL "
     "连接地址（postgresql://角色@主机/数据库）时，以该角色（此后为表的所有者）\n"
     "在已有的空数据库中建立数据表、检查、函数和密钥，并建立两个登录角色：tarvelo_read\n"
     "（只能查询数据表，只读事务）与 tarvelo_write（只能读写数据行）；两者都看不到密钥，\n"
     "都不能修改表结构。需要的扩展：pgcrypto。\n"},
    {"serve",
     "用法：tarvelo-server serve --db FILE [--listen HOST:PORT] [--tls-cert F --tls-key F]\n"
     "                           [--log-statements] [--access-token-file F] [--allow 网段]...\n"
     "                           [--tls-client-ca F] [--max-connections-per-address N]\n"
     "                           [--accounts checked|open] [--admin-token-file F]\n"
     "                           [--admin-allow 网段]... [--mail-command 命令]\n"
     "       tarvelo-server serve --db 查询端连接 [--write-db 写入端连接] [其他选项同上]\n"
     "在 HOST:PORT（默认 127.0.0.1:8517，只接受本机连接；端口 0 表示任一空闲端口）提供服务：\n"
     "  POST /soap/IVRDS_IIS_WebSCoorSpplyIsapi   查询端\n"
     "  POST /soap/IVRDS_IIS_WebSCoorApplyIsapi   写入端\n"
     "  GET  /wsdl/<接口名>                        WSDL\n"
     "每个请求在标准错误输出记一行（时间、对端、操作、耗时、行数或错误）；\n"
     "--log-statements 另记语句文本。密码和 EnVerifs 的参数从不记录。\n"
     "--tls-cert 与 --tls-key 同时给出时使用 HTTPS。\n"
     "按 Ctrl+C（或发送 SIGTERM）停止：不再接受新的请求，正在处理的请求做完并发出应答\n"
     "（正在提交的数据总是整体提交），然后关闭数据库，退出状态为 0。\n"
     "30 秒没有任何收发的连接被关闭；连接后 10 秒内（保持的连接：上次应答后 30 秒内）\n"
     "没有发完请求头的连接被切断；请求头之后 5 分钟内没有发完请求体的也被切断。\n"
     "--max-connections-per-address N：同一地址最多同时有 N 个连接（默认 32，0 表示不限），\n"
     "多出的连接立即关闭；很多客户端经同一个 NAT 或代理连接时请调高。\n"
     "EnVerifs（登录、注册和改密码时的密码变换）每个地址连续最多 5 次，此后每秒 1 次，\n"
     "更频繁的答复“请求过于频繁，请稍后再试。”并在日志中记一行，以防有人借它猜测密码。\n"
     "\n"
     "账号与权限（--accounts，默认 checked）：\n"
     "  checked  服务自己认定来者是谁（登录时证明了密码后，凭 Cookie 识别），并自己检查权限：\n"
     "           只执行本系统客户端的语句；价格只给已登录的账号；上传价格要有数据更新权限，\n"
     "           且一次只限一个期数和地区；改权限要有用户管理权限；改密码要先证明原密码或\n"
     "           邮件验证码；注册只能建普通账号；在线记录和机器标识只能动自己的；密码的\n"
     "           存储形式、机器标识、手机、QQ 和邮箱只给证明了该账号的人。每次写入都记日志。\n"
     "  open     照旧：服务执行连得上的客户端发来的任何查询和写入（仍受 SQL 防护），\n"
     "           账号和权限全由客户端检查。任何能连上服务的人都能读出所有账号的资料、\n"
     "           改任何人的密码和权限、删改价格，只在完全可信的网络中使用。\n"
     "  --admin-token-file F   管理员令牌（格式同访问令牌）：带 Authorization: Bearer 该令牌的\n"
     "                         请求（例如 tarvelo-query --token-file F）可执行任何语句；\n"
     "  --admin-allow 网段     只接受来自这些网络的管理员令牌（默认只有本机），可重复。\n"
     "  --mail-command 命令    发送重置密码验证码的命令，邮件（含信头）从标准输入读入，\n"
     "                         例如 \"/usr/sbin/sendmail -t\"；不给时取环境变量\n"
     "                         TARVELO_MAIL_COMMAND，也没有时无法重置密码。\n"
     "\n"
     "访问限制（默认没有：连得上的客户端都能执行语句；监听本机以外的地址时请至少用一种）：\n"
     "  --access-token-file F  文件 F 里的令牌（至少 16 个可见 ASCII 字符，例如\n"
     "                         openssl rand -base64 32 生成的）；每个请求都要带\n"
     "                         Authorization: Bearer 令牌，否则答 401。客户端在 tarvelo.ini\n"
     "                         的 [service] 节写 access-token = 令牌。\n"
     "  --allow 网段           只答复这些网络的客户端，其他网络的连接一接受就关闭（日志中记\n"
     "                         一行）；可重复。写成 10.1.0.0/16、\n"
     "                         fd00::/8，或单个地址 192.168.1.20。本机（127.0.0.1、::1）也要\n"
     "                         列出才能访问。\n"
     "  --tls-client-ca F      （HTTPS）客户端要出示由 F 里的 CA 签发的证书，否则答 403。客户端\n"
     "                         在 tarvelo.ini 中用 client-cert 和 client-key 指定证书和私钥。\n"
     "被拒绝的请求在日志中记一行（对端、原因），请求体不读，语句不执行；WSDL 和首页同样受限。\n"
     "\n"
     "PostgreSQL：--db 以角色 tarvelo_read 连接（可以是流复制的只读副本），--write-db 以角色\n"
     "tarvelo_write 连接主库；不给 --write-db 时只提供查询端。哪一端的角色权限多于所需\n"
     "（超级用户、表的所有者、能读密钥、查询端能写）时拒绝启动：权限就是这两端的界限。\n"
     "每条语句 10 秒超时，每步排序和散列最多 16 MB 内存；语句改动的会话设置在请求结束时复原。\n"},
    {"demo-data",
     "用法：tarvelo-server demo-data --db FILE [--rows N]\n"
     "向空数据库装入演示数据（文件不存在、PostgreSQL 数据库尚未初始化时先初始化）：\n"
     "24 个地区、8 个材料类别、本月及之前 11 个月的四类价格，\n"
     "以及账号 admin、editor、viewer、system。\n"
     "--rows N：改为生成 N 行信息价（60 个月 × 20 个地区）和同样 60 个月的 N/2 行成交价，\n"
     "用于性能测试。\n"},
    {"add-user",
     "用法：tarvelo-server add-user --db FILE --id ID --name NAME --password P --roles 11\n"
     "                              [--system]\n"
     "添加账号。--roles 两位 0/1：第一位数据更新，第二位用户管理。\n"
     "--system 标记为系统账号（用户管理中不列出）。\n"},
    {"sessions",
     "用法：tarvelo-server sessions --db FILE                  列出在线记录\n"
     "      tarvelo-server sessions --db FILE --clear ID       删除账号 ID 的在线记录\n"
     "      tarvelo-server sessions --db FILE --older-than N   删除登录日期早于 N 天前的记录\n"
     "客户端登录时登记一条在线记录（账号、机器标识、日期），正常退出时删除。程序崩溃、\n"
     "被强行结束或断电后记录会留下，该账号在别的机器上登录时一直提示“该用户已在线。”。\n"
     "确认此人并未登录后，用 --clear 删除他的记录；--older-than 0 删除今天以前的全部记录。\n"
     "服务运行时也可以使用。\n"},
    {"backup",
     "用法：tarvelo-server backup --db FILE --to COPY [--overwrite]\n"
     "把数据库复制为 COPY：服务运行、数据正在写入时也可以，副本是某一时刻完整一致的数据库。\n"
     "副本先写在 COPY 旁边的临时文件中，通过完整性检查后才改名为 COPY，\n"
     "所以失败的备份不会留下残缺的文件。COPY 已存在时拒绝执行，除非给出 --overwrite。\n"
     "恢复：停止服务，把副本复制回数据库文件的位置（删掉旧的 FILE-wal 和 FILE-shm），再启动。\n"
     "PostgreSQL：用 pg_dump 写成自定义格式（同样先写临时文件，完成后才改名）；\n"
     "恢复用 pg_restore --dbname 连接地址 COPY。\n"},
};

struct Args {
    std::map<std::string, std::string> values;              // the last value of each option
    std::map<std::string, std::vector<std::string>> every;  // all of them, for repeatable ones
    std::set<std::string> flags;
};

struct UsageError {
    std::string message;
};

Args parse(const std::vector<std::string>& args, const std::set<std::string>& valued,
           const std::set<std::string>& flags) {
    Args out;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (valued.count(a)) {
            if (i + 1 >= args.size()) throw UsageError{"选项 " + a + " 需要一个值。"};
            out.values[a] = args[++i];
            out.every[a].push_back(args[i]);
        } else if (flags.count(a)) {
            out.flags.insert(a);
        } else {
            throw UsageError{"无法识别的参数“" + a + "”。"};
        }
    }
    return out;
}

std::string required(const Args& a, const std::string& name) {
    const auto it = a.values.find(name);
    if (it == a.values.end() || it->second.empty()) throw UsageError{"缺少选项 " + name + "。"};
    return it->second;
}

std::pair<std::string, int> listenAddress(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 == text.size())
        throw UsageError{"--listen 应为 HOST:PORT，例如 127.0.0.1:8517。"};
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    int port = 0;
    for (char c : text.substr(colon + 1)) {
        if (c < '0' || c > '9' || port > 65535)
            throw UsageError{"--listen 的端口无效：“" + text.substr(colon + 1) + "”。"};
        port = port * 10 + (c - '0');
    }
    if (port > 65535) throw UsageError{"--listen 的端口应在 0 到 65535 之间（0：任一空闲端口）。"};
    return {host.empty() ? "127.0.0.1" : host, port};
}

// Whether `host` is reachable from this machine only.
bool isLoopback(const std::string& host) {
    return host == "localhost" || host == "::1" || host.starts_with("127.");
}

int serve(const Args& a) {
    const std::string db = required(a, "--db");
    EndpointOptions options;
    options.port = kDefaultPort;
    if (a.values.count("--listen"))
        std::tie(options.host, options.port) = listenAddress(a.values.at("--listen"));
    if (a.values.count("--tls-cert") != a.values.count("--tls-key"))
        throw UsageError{"--tls-cert 和 --tls-key 要一起给出。"};
    if (a.values.count("--tls-cert")) {
        options.tlsCert = a.values.at("--tls-cert");
        options.tlsKey = a.values.at("--tls-key");
    }
    if (a.values.count("--tls-client-ca")) {
        if (options.tlsCert.empty())
            throw UsageError{
                "--tls-client-ca 要和 --tls-cert、--tls-key 一起给出：客户端证书只在 "
                "HTTPS 下检查。"};
        options.tlsClientCa = a.values.at("--tls-client-ca");
    }
    try {
        if (a.every.count("--allow")) options.allowed = ClientNetworks(a.every.at("--allow"));
    } catch (const Error& e) {
        throw UsageError{"--allow：" + e.message()};
    }
    if (a.values.count("--max-connections-per-address")) {
        const std::string& text = a.values.at("--max-connections-per-address");
        if (text.empty() || text.size() > 6 ||
            text.find_first_not_of("0123456789") != std::string::npos)
            throw UsageError{"--max-connections-per-address 应为 0 或正整数（0：不限）。"};
        options.maxConnectionsPerAddress = std::stoi(text);
    }
    if (a.values.count("--access-token-file"))
        options.accessToken = AccessToken::fromFile(a.values.at("--access-token-file"));
    if (a.values.count("--admin-token-file"))
        options.adminToken = AccessToken::fromFile(a.values.at("--admin-token-file"));
    try {
        if (a.every.count("--admin-allow"))
            options.adminAllowed = ClientNetworks(a.every.at("--admin-allow"));
    } catch (const Error& e) {
        throw UsageError{"--admin-allow：" + e.message()};
    }
    AccountPolicy::Options accounts;
    if (a.values.count("--accounts")) {
        const std::string& mode = a.values.at("--accounts");
        if (mode != "checked" && mode != "open")
            throw UsageError{"--accounts 应为 checked 或 open。"};
        accounts.open = mode == "open";
    }
    // The system service's settings file names it in the environment, where a command with
    // blanks in it stays whole.
    if (a.values.count("--mail-command"))
        accounts.mail = MailCommand(a.values.at("--mail-command"));
    else if (const char* mail = std::getenv("TARVELO_MAIL_COMMAND"); mail && *mail)
        accounts.mail = MailCommand(mail);
    options.log = [](const std::string& line) { std::cerr << line << std::endl; };
    // Every connection takes a descriptor: allow as many as the system lets this process have.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    // Ctrl+C and TERM end the service cleanly: they are taken by a thread of their own, so no
    // signal handler has to touch the server.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    const std::string writeDb = a.values.count("--write-db") ? a.values.at("--write-db") : "";
    Store store(db, writeDb);
    const std::vector<std::string> sideWarnings = store.checkSides();
    SoapService::StatementObserver observer;
    if (a.flags.count("--log-statements"))
        observer = [](std::string_view operation, std::string_view sql) {
            std::cerr << "  " << operation << " 语句：" << oneLine(sql) << std::endl;
        };
    SoapService service(store, ServiceLimits{}, observer, accounts);
    HttpEndpoint endpoint(service, options);
    endpoint.bind();
    std::cout << "Tarvelo 参考价格服务已启动，数据库 " << store.path() << "\n";
    if (!writeDb.empty())
        std::cout << "  写入端的数据库 " << PgDatabase::shownUri(writeDb) << "\n";
    else if (store.postgres())
        std::cout << "  只提供查询端（没有给出 --write-db）。\n";
    for (const SoapInterface* i : {&SoapInterface::supply(), &SoapInterface::apply()})
        std::cout << "  " << i->name << "  " << endpoint.baseUrl() << "/soap/" << i->name
                  << "\n      WSDL  " << endpoint.baseUrl() << "/wsdl/" << i->name << "\n";
    std::string limits;
    for (const auto& [on, what] : {std::pair{options.allowed.restricts(), "允许的网络"},
                                   std::pair{!options.tlsClientCa.empty(), "客户端证书"},
                                   std::pair{options.accessToken.required(), "访问令牌"}})
        if (on) limits += (limits.empty() ? "" : "、") + std::string(what);
    if (!limits.empty())
        std::cout << "访问限制：" << limits << "。\n";
    else if (!isLoopback(options.host))
        std::cout
            << "注意：服务不只对本机开放，却没有任何访问限制，连得上的客户端都能执行语句。"
               "请考虑 --access-token-file、--allow 或 --tls-client-ca（见 serve --help）。\n";
    if (accounts.open)
        std::cout << "注意：--accounts open：账号和权限全由客户端检查，连得上服务的人都能读写"
                     "任何账号和价格。\n";
    else if (!accounts.mail.configured())
        std::cout << "注意：没有给出 --mail-command，用户无法通过邮件验证码重置密码。\n";
    if (endpoint.maxConnections() < 1000)
        std::cout << "注意：打开文件数的上限只容得下 " << endpoint.maxConnections()
                  << " 个同时的连接；要服务更多客户端，请提高 ulimit -n。\n";
    for (const auto& w : sideWarnings)
        std::cout << w << "\n";
    std::cout << "按 Ctrl+C 停止。" << std::endl;
    std::atomic<bool> ended{false};
    std::thread waiter([&] {
        int sig = 0;
        sigwait(&signals, &sig);
        if (ended) return;  // woken by the main thread below
        // Requests already taken are answered, however long a write takes: it is committed
        // whole, and its client gets the answer. New ones are refused meanwhile.
        std::cout << "收到" << (sig == SIGINT ? " Ctrl+C" : "停止信号 SIGTERM") << "，正在停止……"
                  << std::endl;
        endpoint.stop();
    });
    endpoint.run();
    // run() also ends when the server fails; wake the waiter so it can be joined.
    ended = true;
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    std::cout << "服务已停止。" << std::endl;
    return 0;
}

// Connections of the administrative commands wait this long for a write of the service to end
// (the statement clock stops any at its limit) rather than fail at once.
std::chrono::milliseconds adminLockWait() {
    return ServiceLimits{}.statementTime + std::chrono::milliseconds(5000);
}

int sessions(const Args& a) {
    const std::string db = required(a, "--db");
    const bool clear = a.values.count("--clear") > 0;
    const bool expire = a.values.count("--older-than") > 0;
    if (clear && expire) throw UsageError{"--clear 和 --older-than 只能选一个。"};
    int days = 0;
    if (expire) {
        const std::string& text = a.values.at("--older-than");
        if (text.empty() || text.size() > 5 ||
            text.find_first_not_of("0123456789") != std::string::npos)
            throw UsageError{"--older-than 应为天数：0 或正整数（0：今天以前的全部记录）。"};
        days = std::stoi(text);
    }
    Store store(db);
    auto lease = store.acquire();
    lease->setLockWait(adminLockWait());
    SessionRegistry registry(*lease);

    if (clear) {
        const std::string& user = a.values.at("--clear");
        const int removed = registry.clear(user);
        if (removed > 0)
            std::cout << "已删除账号“" << user << "”的 " << removed
                      << " 条在线记录，该账号现在可以在任何一台机器上登录。" << std::endl;
        else
            std::cout << "账号“" << user << "”没有在线记录，没有删除任何记录。"
                      << (registry.accountExists(user) ? ""
                                                       : "（数据库中也没有这个账号，请检查拼写。）")
                      << std::endl;
        return 0;
    }
    if (expire) {
        const auto expiry = registry.clearOlderThan(days, Date::today());
        const std::string before = expiry.before.shortText();
        if (expiry.removed > 0)
            std::cout << "已删除 " << expiry.removed << " 条登录日期早于 " << before
                      << " 的在线记录。\n";
        else
            std::cout << "没有登录日期早于 " << before << " 的在线记录，没有删除任何记录。\n";
        if (expiry.undated > 0)
            std::cout << "另有 " << expiry.undated
                      << " 条在线记录的登录日期无法识别，没有删除；需要时用 --clear 按账号删除。\n";
        std::cout << std::flush;
        return 0;
    }
    const auto rows = registry.list();
    if (rows.empty()) {
        std::cout << "没有在线记录。" << std::endl;
        return 0;
    }
    TextTable table({"账号", "机器标识", "登录日期"});
    for (const auto& row : rows)
        table.add({row.user, row.machine.empty() ? "（空）" : row.machine,
                   SessionRegistry::shownDate(row.date)});
    std::cout << table.text() << "共 " << rows.size() << " 条在线记录。" << std::endl;
    return 0;
}

int backup(const Args& a) {
    const std::string db = required(a, "--db");
    const std::string to = required(a, "--to");
    const auto started = std::chrono::steady_clock::now();
    if (Store::isPostgres(db)) {
        const long long bytes = PgDatabase::backup(db, to, a.flags.count("--overwrite") > 0);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const std::string figures = fixedText(static_cast<double>(bytes) / 1e6, 1) + " MB，用时 " +
                                    fixedText(seconds, 1) + " 秒";
        std::cout << "已备份：" << PgDatabase::shownUri(db) << " → " << to << "（" << figures
                  << "；pg_dump 的自定义格式，用 pg_restore 恢复）。" << std::endl;
        return 0;
    }
    const auto copied = DatabaseBackup::copy(db, to, a.flags.count("--overwrite") > 0);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string figures = fixedText(static_cast<double>(copied.bytes) / 1e6, 1) + " MB，" +
                                std::to_string(copied.pages) + " 页，用时 " +
                                fixedText(seconds, 1) + " 秒";
    std::cout << "已备份：" << db << " → " << to << "（" << figures << "；副本已通过完整性检查）。"
              << std::endl;
    return 0;
}

}  // namespace

int runServerCommand(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        (args.empty() ? std::cerr : std::cout) << kUsage;
        return args.empty() ? 2 : 0;
    }
    const std::string& command = args[0];
    if (!kHelp.count(command)) {
        std::cerr << "无法识别的命令“" << command << "”。\n\n" << kUsage;
        return 2;
    }
    if (args.size() > 1 && (args[1] == "--help" || args[1] == "-h")) {
        std::cout << kHelp.at(command);
        return 0;
    }
    try {
        if (command == "init") {
            const Args a = parse(args, {"--db"}, {});
            const std::vector<std::string> notes = Store::initialise(required(a, "--db"));
            std::cout << "数据库已初始化：" << required(a, "--db") << std::endl;
            for (const auto& n : notes)
                std::cout << n << std::flush;
        } else if (command == "serve") {
            return serve(parse(
                args,
                {"--db", "--write-db", "--listen", "--tls-cert", "--tls-key", "--tls-client-ca",
                 "--allow", "--access-token-file", "--max-connections-per-address", "--accounts",
                 "--admin-token-file", "--admin-allow", "--mail-command"},
                {"--log-statements"}));
        } else if (command == "demo-data") {
            const Args a = parse(args, {"--db", "--rows"}, {});
            const std::string db = required(a, "--db");
            std::error_code seen;
            if (Store::isPostgres(db) ? !PgDatabase::initialised(db)
                                      : !std::filesystem::exists(db, seen) && !seen)
                Store::initialise(db);
            if (a.values.count("--rows")) {
                long rows = 0;
                try {
                    rows = std::stol(a.values.at("--rows"));
                } catch (...) {
                    rows = -1;
                }
                if (rows < 1) throw UsageError{"--rows 应为正整数。"};
                DemoData::Volume volume;
                volume.infoRows = rows;
                DemoData::loadVolume(db, Date::today(), volume);
                std::cout << "已生成 " << rows << " 行信息价和 " << volume.dealRows()
                          << " 行成交价：" << db << std::endl;
            } else {
                DemoData::load(db, Date::today());
                std::cout << "演示数据已装入：" << db << std::endl;
            }
        } else if (command == "add-user") {
            const Args a =
                parse(args, {"--db", "--id", "--name", "--password", "--roles"}, {"--system"});
            DemoData::addUser(required(a, "--db"), required(a, "--id"), required(a, "--name"),
                              required(a, "--password"), required(a, "--roles"),
                              a.flags.count("--system") > 0);
            std::cout << "账号已添加：" << required(a, "--id") << std::endl;
        } else if (command == "sessions") {
            return sessions(parse(args, {"--db", "--clear", "--older-than"}, {}));
        } else if (command == "backup") {
            return backup(parse(args, {"--db", "--to"}, {"--overwrite"}));
        }
        return 0;
    } catch (const UsageError& e) {
        std::cerr << e.message << "\n\n" << kHelp.at(command);
        return 2;
    } catch (const Error& e) {
        std::cerr << e.message() << (e.detail().empty() ? "" : "\n" + e.detail()) << std::endl;
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "出错：" << e.what() << std::endl;
        return 1;
    }
}

}  // namespace tarvelo::server
