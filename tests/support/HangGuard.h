// Runs a piece of code that a fault would make hang for ever (a read from a FIFO, from /dev/zero)
// in a child process, so that the test fails instead of hanging the suite. A bound, not a timing:
// the code under test ends at once when it is right.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace testsupport {

constexpr int kHangGuardMs = 30000;

// The child's exit status (fn's result), or -1 when it had not ended within the guard.
inline int ExitWithinGuard(const std::function<int()>& fn) {
    const pid_t pid = fork();
    if (pid == 0) _exit(fn());
    if (pid < 0) return -1;
    int status = 0;
    for (int waited = 0; waited < kHangGuardMs; waited += 20) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        usleep(20 * 1000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

}  // namespace testsupport
