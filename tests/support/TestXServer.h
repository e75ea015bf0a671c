// How the tests' own X servers are started, shared by the whole-program and desktop suites.
//
// Two things made a test's program fail with "Unable to initialize GTK+" now and then:
//  - An X server resets when its last client leaves (it frees everything and sets itself up
//    again). A client that connects during that reset is refused: the next launch of a test
//    that had just seen its previous program end raced it (seen: 4-8 of 300 connections refused
//    with two clients coming and going, none with -noreset). So every test server runs -noreset.
//  - With -displayfd the server picks the first number whose sockets it can bind and takes no
//    lock file at all (the option turns locking off); a test server killed with SIGKILL left its
//    socket file, and the next one (or one of a concurrent test in another network namespace,
//    where the abstract socket of the same number is free) took the same number over it.
//    So the tests choose a number themselves, far above desktops, xvfb-run (99) and the test
//    script's (91...), where neither a lock file nor a socket file exists (a stale socket counts
//    as taken), let Xvfb take that number's lock (it refuses a number another server holds),
//    wait until the lock names their server and its socket takes connections, and end it with
//    SIGTERM so it removes both files.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <string>
#include <vector>

namespace testsupport {

constexpr int kFirstTestDisplay = 300;
constexpr int kTestDisplayCount = 600;
constexpr int kDisplayAttempts = 40;

inline std::string DisplayLockPath(int n) { return "/tmp/.X" + std::to_string(n) + "-lock"; }
inline std::string DisplaySocketPath(int n) { return "/tmp/.X11-unix/X" + std::to_string(n); }

// Neither a server's lock nor a socket file (live or stale) on number n.
inline bool DisplayNumberFree(int n) {
    return access(DisplayLockPath(n).c_str(), F_OK) != 0 && access(DisplaySocketPath(n).c_str(), F_OK) != 0;
}

// The attempt-th number to try: spread by process, so that concurrent tests rarely meet.
inline int CandidateDisplay(int attempt) {
    return kFirstTestDisplay + int((unsigned(getpid()) * 7u + unsigned(attempt) * 13u) % unsigned(kTestDisplayCount));
}

// The Xvfb command line for display n.
inline std::vector<std::string> XvfbCommand(int n) {
    return {"/usr/bin/Xvfb", ":" + std::to_string(n), "-noreset", "-screen", "0", "1920x1080x24", "-nolisten", "tcp"};
}

// True when display n's lock file names process pid (the server this test started holds it).
inline bool ServerHoldsDisplay(int n, pid_t pid) {
    std::ifstream lock(DisplayLockPath(n));
    long owner = 0;
    return bool(lock >> owner) && owner == long(pid);
}

// True once display n's socket file takes a connection.
inline bool DisplayAccepts(int n) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = DisplaySocketPath(n);
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// Waits (in short naps, up to timeoutMs) until the server pid holds display n and takes clients;
// false at once when running() says the server ended (it lost the number to another server).
template <typename Running>
bool WaitForServer(int n, pid_t pid, Running running, long long timeoutMs) {
    for (long long waited = 0; waited <= timeoutMs; waited += 20) {
        if (ServerHoldsDisplay(n, pid) && DisplayAccepts(n)) return true;
        if (!running()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

}  // namespace testsupport
