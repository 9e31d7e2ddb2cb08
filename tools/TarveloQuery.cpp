// tarvelo-query: a statement to the service from the command line, through the same data
// access module as the desktop client.
//
//   tarvelo-query [--service BASE | --read-url U --write-url U] [--config FILE]
//                 [--token-file F] [--raw | --csv] "SQL"
//   tarvelo-query [...] --exec "SQL"
//
// A query prints the rows as an aligned table under the packet's column names (--raw: the packet
// text, --csv: comma-separated values); --exec sends the statement to the write side and prints
// the integer result. Errors go to stderr; the exit status is then 1 (2 for a usage mistake).
// A service that checks its callers runs only the client's own statements, except for the
// administrator's token (--token-file, the file of serve --admin-token-file).
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "data/DataSet.h"
#include "data/PacketStream.h"
#include "platform/Platform.h"
#include "service/IISdm.h"
#include "text/Error.h"
#include "text/TextTable.h"

using namespace tarvelo;

namespace {

constexpr const char* kUsage =
    "用法：tarvelo-query [--service BASE | --read-url U --write-url U] [--config FILE]\n"
    "                    [--token-file F] [--raw | --csv] \"SQL\"\n"
    "      tarvelo-query [...] --exec \"SQL\"\n"
    "查询：把语句发给查询端，按列对齐打印结果（--raw 打印数据包原文，--csv 打印 CSV）。\n"
    "--exec：把语句发给写入端，打印返回的整数。\n"
    "--token-file F：用文件 F 里的令牌（服务的 --admin-token-file）代替 tarvelo.ini 的\n"
    "访问令牌；检查账号的服务只为管理员令牌执行客户端以外的语句。\n"
    "服务地址取自 tarvelo.ini（程序旁，或 ~/.config/tarvelo/），命令行选项优先。\n";

// Messages of the module go to stderr; nothing here asks questions.
class ConsolePlatform : public Platform {
public:
    void message(std::string_view text) override { std::cerr << text << '\n'; }
    void information(std::string_view text) override { std::cerr << text << '\n'; }
    bool question(std::string_view, std::string_view) override { return false; }
    SaveAnswer askToSave(std::string_view, std::string_view) override { return SaveAnswer::Cancel; }
    void errorBox(std::string_view text) override { std::cerr << text << '\n'; }
    std::optional<std::string> openFile(std::string_view, std::string_view,
                                        std::string_view) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFile(std::string_view, std::string_view, std::string_view,
                                        std::string_view) override {
        return std::nullopt;
    }
    Cursor cursor() const override { return Cursor::Default; }
    void setCursor(Cursor) override {}
    KeyboardLayout keyboardLayout() override { return 0; }
    bool isInputMethodLayout(KeyboardLayout) override { return false; }
    void activateKeyboardLayout(KeyboardLayout) override {}
    void sendInputMethodHotKey(int) override {}
};

std::string csvField(const std::string& v) {
    if (v.find_first_of(",\"\r\n") == std::string::npos) return v;
    std::string out = "\"";
    for (char c : v)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// Rows go out one at a time, straight from the dataset: a month of prices is never copied.
void printTable(DataSet& ds, bool csv) {
    const std::size_t n = ds.fieldCount();
    std::vector<std::string> header;
    for (std::size_t c = 0; c < n; ++c)
        header.push_back(ds.fields()[c].name);
    std::vector<std::string> row(n);
    const auto fill = [&] {
        for (std::size_t c = 0; c < n; ++c)
            row[c] = ds.text(c);
    };
    if (csv) {
        for (std::size_t c = 0; c < n; ++c)
            std::cout << (c ? "," : "") << csvField(header[c]);
        std::cout << "\r\n";
        for (ds.first(); !ds.eof(); ds.next()) {
            fill();
            for (std::size_t c = 0; c < n; ++c)
                std::cout << (c ? "," : "") << csvField(row[c]);
            std::cout << "\r\n";
        }
        return;
    }
    TextTable table(std::move(header));
    for (ds.first(); !ds.eof(); ds.next()) {
        fill();
        table.measure(row);
    }
    std::cout << table.headingLines();
    for (ds.first(); !ds.eof(); ds.next()) {
        fill();
        std::cout << table.line(row);
    }
    std::cout << "(" << ds.recordCount() << " 行)\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        // The arguments are sorted first: --help and usage mistakes need no configuration.
        const auto usage = [](const std::string& what) {
            std::cerr << what << (what.empty() ? "" : "\n\n") << kUsage;
            return 2;
        };
        std::vector<std::string> serviceArgs;
        std::string sql, tokenFile;
        bool raw = false, csv = false, exec = false;
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            if (a == "--help" || a == "-h") {
                std::cout << kUsage;
                return 0;
            }
            if (a == "--raw") {
                raw = true;
            } else if (a == "--csv") {
                csv = true;
            } else if (a == "--exec") {
                exec = true;
            } else if (a == "--token-file") {
                if (i + 1 >= args.size()) return usage("--token-file 后面要跟文件名。");
                tokenFile = args[++i];
            } else if (a == "--service" || a == "--read-url" || a == "--write-url" ||
                       a == "--config") {
                serviceArgs.push_back(a);
                if (i + 1 < args.size()) serviceArgs.push_back(args[++i]);
            } else if (a.starts_with("--") || !sql.empty()) {
                return usage("无法识别的参数“" + a + "”。");
            } else {
                sql = a;
            }
        }
        if (sql.empty()) return usage("");
        if ((raw && csv) || (exec && (raw || csv)))
            return usage("--raw、--csv 和 --exec 不能同时使用。");
        std::error_code ec;
        const auto self = std::filesystem::canonical("/proc/self/exe", ec).parent_path().string();
        ServiceConfig config = ServiceConfig::load(serviceArgs, ServiceConfig::standardFiles(self));
        if (!tokenFile.empty()) {
            std::ifstream in(tokenFile, std::ios::binary);
            if (!in) throw Error("无法读取令牌文件“" + tokenFile + "”。");
            std::ostringstream text;
            text << in.rdbuf();
            std::string token = text.str();
            const auto first = token.find_first_not_of(" \t\r\n");
            const auto last = token.find_last_not_of(" \t\r\n");
            config.accessToken =
                first == std::string::npos ? std::string() : token.substr(first, last - first + 1);
        }
        ConsolePlatform platform;
        TIISdmPtr module(config, platform);
        if (exec) {
            std::cout << module.ApplyIntf->ApplyVanDataByExc(sql) << '\n';
            return 0;
        }
        // Straight through the interface rather than QueryBySQL, so that a failure says what
        // happened instead of "出错".
        if (raw) {
            std::cout << module.SpplyIntf->SpplyVanDataBySQL(sql) << '\n';
            return 0;
        }
        // A table is made from the answer as it arrives, never holding its text whole.
        PacketStream packet;
        module.SpplyIntf->SpplyVanDataBySQL(sql,
                                            [&](std::string_view piece) { packet.feed(piece); });
        DataSet ds;
        try {
            ds.loadPacket(packet.finish());
        } catch (const Error& e) {
            if (const auto answer = packet.wholeText())
                std::cerr << "服务没有返回数据包：" << *answer << '\n';
            else
                std::cerr << e.message() << (e.detail().empty() ? "" : "\n" + e.detail()) << '\n';
            return 1;
        }
        printTable(ds, csv);
        return 0;
    } catch (const Error& e) {
        std::cerr << e.message() << (e.detail().empty() ? "" : "\n" + e.detail()) << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "出错：" << e.what() << '\n';
        return 1;
    }
}
