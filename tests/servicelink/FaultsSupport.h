// Helpers of the fault scenario tests: the touchsim program as a child process that a test can kill,
// its control port, and the named bounds that every scenario's end state is checked against.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/ManualClock.h"
#include "support/Elapsed.h"

namespace faults {

using testsupport::Clock;
using testsupport::MsSince;

// Bounds of the program, with room for a loaded machine: a test asserts "within bound + slack",
// never a tight time.
constexpr long long kCallBoundMs = 3000;     // one request waits at most this long for its reply
constexpr long long kStopBoundMs = 2000;     // a worker's stop request, then the forced end
constexpr long long kSlackMs = 1500;         // noise of a shared 2-core machine
constexpr int kControlPort = 28900;          // the child's control port (private namespace)

// "At once", on the program's clock (support/ManualClock.h).
using clocktest::ReturnsAtOnce;

// Polls pred in 5 ms steps until it holds or timeoutMs has passed.
inline bool WaitFor(const std::function<bool()>& pred, long long timeoutMs) {
    const Clock::time_point start = Clock::now();
    while (!pred()) {
        if (MsSince(start) > timeoutMs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The touchsim program beside the test binary (both live in the build's bin folder).
inline std::string TouchsimPath() {
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, size_t(n)) : std::string("./x");
    return path.substr(0, path.rfind('/') + 1) + "touchsim";
}

// The touchsim program running as a child process on the service's fixed ports, with its control
// port open. Its standard output (one line per call received) is collected by the child's reader.
class TouchsimProcess {
public:
    static bool Available() { return access(TouchsimPath().c_str(), X_OK) == 0; }

    // Starts the program and waits for its ready line. extra: further options (e.g. "--no-stream").
    bool Start(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {TouchsimPath(), "--control-port", std::to_string(kControlPort)};
        args.insert(args.end(), extra.begin(), extra.end());
        if (!child_.Start(args, {}, false, [this](const std::string& line) { OnLine(line); })) return false;
        return child_.WaitForLine("ready", 5000);
    }

    // SIGKILL: the service vanishes without a word; the kernel closes its sockets.
    void Kill() { child_.Kill(); }

    // Kills the program from the reader thread as soon as it prints a call line containing text.
    void KillOnCall(const std::string& text) {
        std::lock_guard<std::mutex> g(lock_);
        killOn_ = text;
    }

    // One control command; true when the program answered "ok".
    bool Command(const std::string& command) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(kControlPort));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::string reply;
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            const std::string line = command + "\n";
            if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) == ssize_t(line.size())) {
                char buffer[256];
                pollfd p{fd, POLLIN, 0};
                while (reply.find('\n') == std::string::npos && poll(&p, 1, 2000) > 0) {
                    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
                    if (n <= 0) break;
                    reply.append(buffer, size_t(n));
                }
            }
        }
        close(fd);
        return reply.compare(0, 2, "ok") == 0;
    }

    // The names of the calls the program printed, in order ("GetDeviceConfig", ...).
    std::vector<std::string> Calls() const {
        std::lock_guard<std::mutex> g(lock_);
        return calls_;
    }
    // The call lines themselves ("call SetCalibration code=... (...)"), in order.
    std::vector<std::string> CallLines() const {
        std::lock_guard<std::mutex> g(lock_);
        return callLines_;
    }
    bool WaitForCalls(size_t count, long long timeoutMs) {
        std::unique_lock<std::mutex> g(lock_);
        return changed_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return calls_.size() >= count; });
    }
    bool WaitForLine(const std::string& text, long long timeoutMs) { return child_.WaitForLine(text, timeoutMs); }

private:
    void OnLine(const std::string& line) {
        bool killNow = false;
        {
            std::lock_guard<std::mutex> g(lock_);
            if (line.compare(0, 5, "call ") == 0) {
                calls_.push_back(line.substr(5, line.find(' ', 5) - 5));
                callLines_.push_back(line);
                killNow = !killOn_.empty() && line.find(killOn_) != std::string::npos;
            }
            changed_.notify_all();
        }
        if (killNow) Kill();
    }

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
    std::vector<std::string> callLines_;
    std::string killOn_;
    // Last, so that its reader (which calls OnLine) ends before the members above go.
    testsupport::ChildProcess child_;
};

}  // namespace faults
