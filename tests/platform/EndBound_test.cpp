// The bound on the end after a termination signal: a process whose ordinary end hangs is ended
// with the given status once the bound has passed; without a signal the bound never acts. Each
// row runs in a child process, since the bound ends the whole process.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>

#include "platform/EndBound.h"
#include "platform/TerminationSignals.h"

using VexoPlatform::TerminationSignals;

namespace {

// Hang guard only: the bound itself is a few milliseconds.
constexpr int kGuardSeconds = 30;

// Runs body in a child; its wait status, or -1 when it did not end within the guard.
int InChild(void (*body)(int status), int status) {
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(kGuardSeconds);  // a hang ends the child with SIGALRM, a failure the parent sees
        body(status);
        _exit(99);
    }
    int wstatus = 0;
    return waitpid(pid, &wstatus, 0) == pid ? wstatus : -1;
}

// A signal arrives and the ordinary end never comes.
void SignalledAndHanging(int status) {
    if (!TerminationSignals::Install()) _exit(98);
    if (!VexoPlatform::StartEndBound(20, status, nullptr)) _exit(97);
    raise(SIGTERM);
    for (;;) pause();
}

// No signal: the program ends by itself with its own status.
void EndsByItself(int status) {
    if (!TerminationSignals::Install()) _exit(98);
    if (!VexoPlatform::StartEndBound(20, 0, nullptr)) _exit(97);
    _exit(status);
}

}  // namespace

TEST(EndBound, EndsAProcessWhoseEndHangsAfterASignalWithTheGivenStatus) {
    struct Row {
        const char* name;
        void (*body)(int);
        int status;
    } rows[] = {
        {"signal, end hangs: the bound ends it with status 0", SignalledAndHanging, 0},
        {"signal, end hangs: the status given is the one used", SignalledAndHanging, 5},
        {"no signal: the process ends as it chooses", EndsByItself, 3},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const int wstatus = InChild(r.body, r.status);
        ASSERT_TRUE(WIFEXITED(wstatus)) << "wait status " << wstatus;
        EXPECT_EQ(WEXITSTATUS(wstatus), r.status);
    }
}
