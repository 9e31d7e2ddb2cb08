#include "server/policy/MailCommand.h"

#include <sys/wait.h>

#include <cstdio>

#include "text/Base64.h"
#include "text/Error.h"

namespace tarvelo::server {

void MailCommand::send(std::string_view to, std::string_view subject, std::string_view text) const {
    if (!configured()) throw Error("服务没有配置发信命令，无法发送邮件。", "serve --mail-command");
    // An address is stored as the user typed it at registration: nothing in it may start a
    // header of its own.
    // One plain address: not a list, nothing a header could take for more.
    for (char c : to)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F ||
            std::string_view(",;<>\"()[]\\").find(c) != std::string_view::npos)
            throw Error("邮箱地址不是一个普通的地址，无法发送邮件。");
    std::string message = "To: " + std::string(to) + "\n";
    message += "Subject: =?UTF-8?B?" + base64Encode(subject) + "?=\n";
    message += "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n";
    message += "Content-Transfer-Encoding: 8bit\n\n";
    message += text;
    if (!message.ends_with('\n')) message += '\n';
    FILE* pipe = ::popen(m_command.c_str(), "w");
    if (!pipe) throw Error("无法运行发信命令。", m_command);
    const bool written = std::fwrite(message.data(), 1, message.size(), pipe) == message.size();
    const int status = ::pclose(pipe);
    if (!written || status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw Error("发信命令失败，邮件没有发出。",
                    m_command + "：退出状态 " +
                        std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1));
}

}  // namespace tarvelo::server
