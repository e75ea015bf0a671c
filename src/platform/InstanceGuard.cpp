#include "platform/InstanceGuard.h"

#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

namespace VexoPlatform {

namespace {

// Refused starts leave their connection in the holder's queue (the holder never accepts); past
// this many the kernel refuses further ones and a refused start no longer learns who holds it.
constexpr int kHolderQueue = 64;

std::string ErrnoText(int code) { return std::error_code(code, std::generic_category()).message(); }

bool ValidName(const std::string& name) {
    if (name.empty() || name.size() > 100) return false;
    for (char c : name)
        if (c <= ' ' || c > '~') return false;
    return true;
}

// The abstract address: a leading NUL, then the name, no terminator (the length says where it ends).
socklen_t AbstractAddress(const std::string& name, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

std::string UserName(uid_t uid) {
    std::vector<char> buffer(4096);
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        return found->pw_name;
    return std::string();
}

// Asks the holder's socket who it is: the kernel records the listener's process and user.
std::string AskHolder(const sockaddr_un& addr, socklen_t length) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::string();
    std::string holder;
    ucred cred {};
    socklen_t credLength = sizeof cred;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0 &&
        ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &credLength) == 0 && cred.pid > 0) {
        const std::string user = UserName(cred.uid);
        holder = "process " + std::to_string(cred.pid) + " of user " + (user.empty() ? "" : user + " ") + "(" +
                 std::to_string(cred.uid) + ")";
    }
    ::close(fd);
    return holder;
}

}  // namespace

InstanceGuard::InstanceGuard(std::string name) : m_name(std::move(name)) {}

InstanceGuard::~InstanceGuard() { Release(); }

InstanceGuard::State InstanceGuard::Fail(const std::string& problem) {
    m_problem = problem;
    m_state = State::Unavailable;
    return m_state;
}

InstanceGuard::State InstanceGuard::Acquire() {
    if (m_state == State::Held) return m_state;
    m_problem.clear();
    m_holder.clear();
    if (!ValidName(m_name)) return Fail("'" + m_name + "' is not a guard name");

    sockaddr_un addr;
    const socklen_t length = AbstractAddress(m_name, addr);
    // SOCK_CLOEXEC: a program started from here (the updater) must not inherit the socket and keep
    // the guard after this instance has ended.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Fail("cannot make a socket for " + Address() + ": " + ErrnoText(errno));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), length) != 0) {
        const int bindError = errno;
        ::close(fd);
        if (bindError == EADDRINUSE) {
            m_holder = AskHolder(addr, length);
            m_state = State::HeldElsewhere;
            return m_state;
        }
        return Fail("cannot bind " + Address() + ": " + ErrnoText(bindError));
    }
    // Only so that a refused start can read who holds the guard; nothing is ever accepted.
    if (::listen(fd, kHolderQueue) != 0) {
        // Harmless: the name is held all the same.
    }
    m_fd = fd;
    m_state = State::Held;
    return m_state;
}

void InstanceGuard::Release() {
    if (m_fd >= 0) {
        // Closing the only descriptor frees the name.
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_state == State::Held) m_state = State::None;
}

}  // namespace VexoPlatform
