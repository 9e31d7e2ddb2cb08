#include "service/ServiceConfig.h"

#include <ini.h>

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>

#include "data/DataPacket.h"
#include "text/Error.h"
#include "text/Trim.h"

namespace tarvelo {

namespace {

constexpr const char* kSpplyPath = "/soap/IVRDS_IIS_WebSCoorSpplyIsapi";
constexpr const char* kApplyPath = "/soap/IVRDS_IIS_WebSCoorApplyIsapi";

std::string withoutTrailingSlash(std::string base) {
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base;
}

bool isUrl(std::string_view url) {
    return (url.starts_with("http://") || url.starts_with("https://")) &&
           url.find_first_of(" \t\r\n") == std::string_view::npos;
}

// Seconds, whatever the locale's decimal separator; at least a millisecond (libcurl reads 0 as
// "no limit").
std::chrono::milliseconds seconds(std::string_view key, std::string_view value) {
    const std::string_view text = trim(value);
    double s = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), s);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !(s >= 0.001) ||
        s > 86400)
        throw Error("配置项 " + std::string(key) + " 应为正的秒数，收到“" + std::string(text) +
                    "”。");
    return std::chrono::milliseconds(static_cast<long long>(s * 1000 + 0.5));
}

bool flag(std::string_view key, std::string_view value) {
    const std::string v = upperName(trim(value));
    if (v == "TRUE" || v == "YES" || v == "1" || v == "ON") return true;
    if (v == "FALSE" || v == "NO" || v == "0" || v == "OFF" || v.empty()) return false;
    throw Error("配置项 " + std::string(key) + " 应为 true 或 false，收到“" + std::string(value) +
                "”。");
}

struct Reading {
    ServiceConfig* config;
    std::filesystem::path folder;  // where the file is: relative paths in it start there
    std::string error;
};

// A path of the file at `folder` as it is when absolute; relative ones start at the folder.
std::string beside(const std::filesystem::path& folder, const std::string& path) {
    return path.empty() || folder.empty() ? path : (folder / path).string();
}

void set(ServiceConfig& c, std::string_view name, std::string_view value,
         const std::filesystem::path& folder = {}) {
    std::string key(name);
    for (char& ch : key)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const std::string v(trim(value));
    if (key == "service") {
        const ServiceConfig s = ServiceConfig::forService(v);
        c.readUrl = s.readUrl;
        c.writeUrl = s.writeUrl;
    } else if (key == "read-url") {
        c.readUrl = v;
    } else if (key == "write-url") {
        c.writeUrl = v;
    } else if (key == "ca-file") {
        c.caFile = beside(folder, v);
    } else if (key == "client-cert") {
        c.clientCert = beside(folder, v);
    } else if (key == "client-key") {
        c.clientKey = beside(folder, v);
    } else if (key == "access-token") {
        // It goes into a header as it is: nothing there may end the line or split the value.
        for (const unsigned char ch : v)
            if (ch <= ' ' || ch >= 0x7F)
                throw Error(
                    "配置项 access-token 只能由可见的 ASCII 字符组成（不含空格、汉字和控制字符）。"
                    "请照系统管理员给的令牌原样填写。");
        c.accessToken = v;
    } else if (key == "proxy") {
        c.proxy = v;
    } else if (key == "insecure-tls") {
        c.insecureTls = flag(key, v);
    } else if (key == "compress-requests") {
        c.compressRequests = flag(key, v);
    } else if (key == "connect-timeout") {
        c.connectTimeout = seconds(key, v);
    } else if (key == "timeout") {
        c.totalTimeout = seconds(key, v);
    } else if (key == "write-timeout") {
        c.writeTimeout = seconds(key, v);
    } else {
        throw Error("无法识别的配置项“" + std::string(key) + "”。");
    }
}

int onEntry(void* user, const char* section, const char* name, const char* value) {
    auto* r = static_cast<Reading*>(user);
    if (!r->error.empty()) return 0;
    if (upperName(section) != "SERVICE") return 1;  // other sections belong to others
    try {
        set(*r->config, name, value, r->folder);
    } catch (const Error& e) {
        r->error = e.message();
        return 0;
    }
    return 1;
}

}  // namespace

ServiceConfig ServiceConfig::forService(std::string base) {
    base = withoutTrailingSlash(std::move(base));
    if (!isUrl(base)) throw Error("服务地址应以 http:// 或 https:// 开头，收到“" + base + "”。");
    ServiceConfig c;
    c.readUrl = base + kSpplyPath;
    c.writeUrl = base + kApplyPath;
    return c;
}

void ServiceConfig::read(const std::string& file) {
    Reading reading{this, std::filesystem::path(file).parent_path(), {}};
    const int rc = ini_parse(file.c_str(), onEntry, &reading);
    if (rc == -1) throw Error("无法读取配置文件“" + file + "”。");
    if (rc != 0 || !reading.error.empty())
        throw Error("配置文件“" + file + "”有误" +
                        (rc > 0 ? "（第 " + std::to_string(rc) + " 行）" : std::string()) + "：" +
                        (reading.error.empty() ? "无法识别这一行。" : reading.error),
                    {});
}

ServiceConfig ServiceConfig::load(std::vector<std::string>& args,
                                  const std::vector<std::string>& files) {
    ServiceConfig c;
    std::string explicitFile;
    std::vector<std::pair<std::string, std::string>> options;
    for (std::size_t i = 0; i < args.size();) {
        const std::string& a = args[i];
        if (a == "--service" || a == "--read-url" || a == "--write-url" || a == "--config") {
            if (i + 1 >= args.size()) throw Error("选项 " + a + " 需要一个值。");
            if (a == "--config")
                explicitFile = args[i + 1];
            else
                options.emplace_back(a.substr(2), args[i + 1]);
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                       args.begin() + static_cast<std::ptrdiff_t>(i + 2));
        } else {
            ++i;
        }
    }
    if (!explicitFile.empty()) {
        c.read(explicitFile);
    } else {
        for (const auto& f : files) {
            std::error_code ec;
            if (std::filesystem::is_regular_file(f, ec)) {
                c.read(f);
                break;
            }
        }
    }
    for (const auto& [key, value] : options)
        set(c, key, value);

    if (c.readUrl.empty() || c.writeUrl.empty()) {
        std::string looked;
        for (const auto& f : files)
            looked += (looked.empty() ? "" : "、") + f;
        if (!explicitFile.empty()) looked = explicitFile;
        throw Error(
            "没有配置数据服务的地址：请在 tarvelo.ini 的 [service] 节写上 service = "
            "http://主机:端口，或用 --service 指定。",
            "找过的配置文件：" + (looked.empty() ? std::string("无") : looked));
    }
    if (!c.clientKey.empty() && c.clientCert.empty())
        throw Error("配置项 client-key 要和 client-cert 一起设置：私钥属于哪个客户端证书？");
    for (const auto* url : {&c.readUrl, &c.writeUrl})
        if (!isUrl(*url))
            throw Error("服务地址应以 http:// 或 https:// 开头，收到“" + *url + "”。");
    return c;
}

std::vector<std::string> ServiceConfig::standardFiles(const std::string& executableDir) {
    std::vector<std::string> files{(std::filesystem::path(executableDir) / "tarvelo.ini").string()};
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        files.push_back((std::filesystem::path(xdg) / "tarvelo" / "tarvelo.ini").string());
    else if (const char* home = std::getenv("HOME"); home && *home)
        files.push_back(
            (std::filesystem::path(home) / ".config" / "tarvelo" / "tarvelo.ini").string());
    // The computer's own, as an installed package's administrator writes it.
    files.emplace_back("/etc/tarvelo/tarvelo.ini");
    return files;
}

}  // namespace tarvelo
