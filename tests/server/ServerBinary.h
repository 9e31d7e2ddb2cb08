#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace tarvelo::test {

// The built tarvelo-server as an administrator runs it: a process of its own.
struct BinaryOutcome {
    int status = -1;  // the exit status; -1 when it did not exit normally
    std::string out;  // stdout and stderr as they came
};

// The arguments of an exec, the program first.
inline std::vector<char*> argvOf(std::vector<std::string>& args) {
    args.insert(args.begin(), TARVELO_SERVER);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

inline BinaryOutcome runServerBinary(std::vector<std::string> args) {
    std::vector<char*> argv = argvOf(args);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return {-1, "pipe failed"};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    BinaryOutcome outcome;
    char buf[4096];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        outcome.out.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

}  // namespace tarvelo::test
