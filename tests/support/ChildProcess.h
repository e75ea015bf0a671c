// A program run as a child process of a test: its output read line by line by a reader thread
// (with a hook per line), signals, a bounded wait for its end and its exit status. The child is
// killed when the test process dies (unless it changes its user) and when the object goes.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace testsupport {

class ChildProcess {
public:
    using LineHook = std::function<void(const std::string& line)>;

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        Kill();
        if (reader_.joinable()) reader_.join();
        if (out_ >= 0) close(out_);
    }

    // argv[0] is the program's full path. env: "NAME=value" sets, a bare "NAME" removes, on top of
    // this process's environment. withStderr: standard error goes into the lines too. hook runs on
    // the reader thread for each line, before the line is stored.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}, bool withStderr = false,
               LineHook hook = {}) {
        hook_ = std::move(hook);
        std::vector<std::string> environment = Environment(env);
        std::vector<std::string> args = argv;
        std::vector<char*> argp, envp;
        for (std::string& a : args) argp.push_back(&a[0]);
        argp.push_back(nullptr);
        for (std::string& e : environment) envp.push_back(&e[0]);
        envp.push_back(nullptr);

        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            // A test process that aborts (a sanitizer's report, a failed assertion in a child
            // thread) must not leave the child running in its namespace.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(127);
            const int null = open("/dev/null", O_RDONLY);
            dup2(null, STDIN_FILENO);
            dup2(pipeFds[1], STDOUT_FILENO);
            if (withStderr) dup2(pipeFds[1], STDERR_FILENO);
            // The test's own signal mask and handlers are not the child's business.
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            execve(argp[0], argp.data(), envp.data());
            _exit(127);
        }
        close(pipeFds[1]);
        out_ = pipeFds[0];
        if (pid < 0) return false;
        {
            std::lock_guard<std::mutex> g(waitLock_);
            pid_ = pid;
        }
        reader_ = std::thread([this] { ReadOutput(); });
        return true;
    }

    pid_t Pid() const { return pid_; }

    // False when the child has already been collected.
    bool Signal(int signo) {
        std::lock_guard<std::mutex> g(waitLock_);
        return pid_ > 0 && !ended_ && kill(pid_, signo) == 0;
    }

    // SIGKILL: the program vanishes without a word.
    void Kill() {
        std::lock_guard<std::mutex> g(waitLock_);
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
            ended_ = true;
        }
    }

    // Waits up to timeoutMs for the child to end; true (with its wait status) when it has.
    bool WaitExit(long long timeoutMs, int* status = nullptr) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            {
                std::lock_guard<std::mutex> g(waitLock_);
                if (pid_ <= 0) return false;
                if (!ended_ && waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
                if (ended_) {
                    if (status) *status = status_;
                    // Its last lines may still be in the pipe: a check of the output right after
                    // the end must see them. (Bounded: a child of the program may hold the pipe.)
                    std::unique_lock<std::mutex> lines(lock_);
                    changed_.wait_for(lines, std::chrono::milliseconds(kOutputDrainMs), [this] { return outputEnded_; });
                    return true;
                }
            }
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    bool Running() { return pid_ > 0 && !WaitExit(0); }

    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> g(lock_);
        return lines_;
    }
    bool HasLine(const std::string& text) const {
        std::lock_guard<std::mutex> g(lock_);
        return HasLineLocked(text);
    }
    bool WaitForLine(const std::string& text, long long timeoutMs) {
        std::unique_lock<std::mutex> g(lock_);
        return changed_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return HasLineLocked(text); });
    }
    // Waits until pred holds for the lines so far (checked at each new line).
    bool WaitForLines(const std::function<bool(const std::vector<std::string>&)>& pred, long long timeoutMs) {
        std::unique_lock<std::mutex> g(lock_);
        return changed_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return pred(lines_); });
    }

    // This process's environment with `changes` applied ("NAME=value" sets, a bare "NAME" removes).
    static std::vector<std::string> Environment(const std::vector<std::string>& changes) {
        std::vector<std::string> result;
        for (char** e = environ; e && *e; ++e) result.push_back(*e);
        for (const std::string& change : changes) {
            const size_t eq = change.find('=');
            const std::string name = change.substr(0, eq);
            for (size_t i = 0; i < result.size();)
                if (result[i].compare(0, name.size() + 1, name + "=") == 0)
                    result.erase(result.begin() + long(i));
                else
                    ++i;
            if (eq != std::string::npos) result.push_back(change);
        }
        return result;
    }

private:
    bool HasLineLocked(const std::string& text) const {
        for (const std::string& l : lines_)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

    void ReadOutput() {
        std::string pending;
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(out_, buffer, sizeof buffer);
            if (n <= 0) break;  // the program ended (or closed its output)
            pending.append(buffer, size_t(n));
            size_t nl;
            while ((nl = pending.find('\n')) != std::string::npos) {
                const std::string line = pending.substr(0, nl);
                pending.erase(0, nl + 1);
                if (hook_) hook_(line);
                std::lock_guard<std::mutex> g(lock_);
                lines_.push_back(line);
                changed_.notify_all();
            }
        }
        std::lock_guard<std::mutex> g(lock_);
        outputEnded_ = true;
        changed_.notify_all();
    }

    pid_t pid_ = -1;
    int out_ = -1;
    LineHook hook_;
    std::mutex waitLock_;  // the pid's collection
    bool ended_ = false;
    int status_ = 0;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    bool outputEnded_ = false;  // the reader met the end of the output
    std::thread reader_;
    static constexpr long long kOutputDrainMs = 2000;
};

}  // namespace testsupport
