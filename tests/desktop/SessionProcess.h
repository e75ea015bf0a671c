// Child processes of the desktop sessions (an X server or a compositor, a window manager, the
// program): each in a process group of its own that never outlives the test, its output in a log.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"

namespace desktop {
namespace process {

inline void Nap(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Starts args (with env added to ours) with its output in `out`, in `cwd` when given.
inline pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& out,
                   const std::string& cwd = "") {
    std::vector<std::string> envCopy = testsupport::ChildProcess::Environment(env);
    std::vector<std::string> argCopy = args;
    std::vector<char*> argv, envp;
    for (std::string& a : argCopy) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    for (std::string& e : envCopy) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        const int log = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// Ends a process group started by Spawn (signal, then SIGKILL after 2 s) and reaps its leader.
inline void EndGroup(pid_t& pid, int signal) {
    if (pid <= 0) return;
    kill(-pid, signal);
    kill(pid, signal);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) != 0) {
            pid = -1;
            return;
        }
        Nap(20);
    }
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

}  // namespace process
}  // namespace desktop
