#pragma once

#include <string>
#include <string_view>

namespace tarvelo::server {

// Sends a mail through a command the administrator names (serve --mail-command), such as
// "/usr/sbin/sendmail -t": the command gets the whole message, headers first, on its standard
// input, and must exit with 0.
class MailCommand {
public:
    MailCommand() = default;  // none: nothing can be mailed
    explicit MailCommand(std::string command) : m_command(std::move(command)) {}

    bool configured() const { return !m_command.empty(); }

    // Throws tarvelo::Error when the address cannot be a header's, or the command fails.
    void send(std::string_view to, std::string_view subject, std::string_view text) const;

private:
    std::string m_command;
};

}  // namespace tarvelo::server
