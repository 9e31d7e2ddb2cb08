#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace tarvelo::test {

struct CommandResult {
    int status = -1;     // the exit status; -1 when it did not run or end normally
    std::string output;  // standard output and standard error
};

// Runs a shell command line, as another program on the machine would be run.
inline CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buf[512];
    while (const std::size_t n = std::fread(buf, 1, sizeof buf, pipe))
        result.output.append(buf, n);
    const int rc = ::pclose(pipe);
    if (WIFEXITED(rc)) result.status = WEXITSTATUS(rc);
    return result;
}

}  // namespace tarvelo::test
