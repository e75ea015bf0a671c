#include "platform/InstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

#include "platform/FileSystem.h"

namespace VexoPlatform {

namespace {

constexpr const char* kCacheSubfolder = "qlncfg";

std::string ErrnoText(int code) { return std::error_code(code, std::generic_category()).message(); }

void Say(std::string* problem, const std::string& text) {
    if (problem) *problem = text;
}

// Opens folder and checks that it is a directory of the calling user that nobody else may write
// to. With create, the last component is created (0700) when missing and must not be a link; the
// runtime folder may be a link, what counts is the folder it leads to. The checks are made on the
// open descriptor, and the file is then opened relative to it, so nothing can be swapped between
// the check and the use.
int OpenPrivateFolder(const std::string& folder, bool create, std::string* problem) {
    if (folder.empty() || folder[0] != '/') {
        Say(problem, "'" + folder + "' is not an absolute path");
        return -1;
    }
    if (create && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        Say(problem, "cannot create " + folder + ": " + ErrnoText(errno));
        return -1;
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (create ? O_NOFOLLOW : 0));
    if (fd < 0) {
        Say(problem, "cannot open " + folder + ": " + ErrnoText(errno));
        return -1;
    }
    struct stat st {};
    std::string wrong;
    if (::fstat(fd, &st) != 0)
        wrong = ErrnoText(errno);
    else if (!S_ISDIR(st.st_mode))
        wrong = "not a folder";
    else if (st.st_uid != ::geteuid())
        wrong = "owned by user " + std::to_string(st.st_uid);
    else if (st.st_mode & (S_IWGRP | S_IWOTH))
        wrong = "writable by others";
    if (!wrong.empty()) {
        ::close(fd);
        Say(problem, folder + " is not private: " + wrong);
        return -1;
    }
    return fd;
}

std::string CacheFolder(const GuardEnvironment& env) {
    // A relative XDG_CACHE_HOME is invalid and is ignored, as the base directory rules say.
    if (!env.cacheHome.empty() && env.cacheHome[0] == '/') return env.cacheHome;
    if (!env.home.empty() && env.home[0] == '/') return env.home + "/.cache";
    return std::string();
}

// The folder's descriptor and its path, or -1 with the reasons for the log.
int OpenGuardFolder(const GuardEnvironment& env, std::string& path, std::string* problem) {
    std::string runtimeProblem = "XDG_RUNTIME_DIR is not set";
    if (!env.runtimeDir.empty()) {
        const int fd = OpenPrivateFolder(env.runtimeDir, false, &runtimeProblem);
        if (fd >= 0) {
            path = env.runtimeDir;
            return fd;
        }
    }
    const std::string cache = CacheFolder(env);
    if (cache.empty()) {
        Say(problem, runtimeProblem + "; no home folder for the cache folder");
        return -1;
    }
    // ~/.cache may not exist yet for a new user; only that one level is made here.
    if (::mkdir(cache.c_str(), 0700) != 0 && errno != EEXIST) {
        Say(problem, runtimeProblem + "; cannot create " + cache + ": " + ErrnoText(errno));
        return -1;
    }
    std::string cacheProblem;
    const std::string folder = cache + "/" + kCacheSubfolder;
    const int fd = OpenPrivateFolder(folder, true, &cacheProblem);
    if (fd < 0) {
        Say(problem, runtimeProblem + "; " + cacheProblem);
        return -1;
    }
    path = folder;
    return fd;
}

bool ValidName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

GuardEnvironment CurrentGuardEnvironment() {
    GuardEnvironment env;
    if (const char* v = std::getenv("XDG_RUNTIME_DIR")) env.runtimeDir = v;
    if (const char* v = std::getenv("XDG_CACHE_HOME")) env.cacheHome = v;
    if (const char* v = std::getenv("HOME")) env.home = v;
    if (env.home.empty()) env.home = HomeFromPasswordDatabase();
    return env;
}

std::string GuardFolder(const GuardEnvironment& env, std::string* problem) {
    std::string path;
    const int fd = OpenGuardFolder(env, path, problem);
    if (fd < 0) return std::string();
    ::close(fd);
    return path;
}

InstanceGuard::InstanceGuard(std::string name, std::string folder)
    : m_name(std::move(name)), m_folder(std::move(folder)) {}

InstanceGuard::~InstanceGuard() { Release(); }

InstanceGuard::State InstanceGuard::Fail(const std::string& problem) {
    m_problem = problem;
    m_state = State::Unavailable;
    return m_state;
}

InstanceGuard::State InstanceGuard::Acquire() {
    if (m_state == State::Held) return m_state;
    m_problem.clear();
    if (!ValidName(m_name)) return Fail("'" + m_name + "' is not a file name");

    std::string folder = m_folder;
    std::string problem;
    const int dirFd = folder.empty() ? OpenGuardFolder(CurrentGuardEnvironment(), folder, &problem)
                                     : OpenPrivateFolder(folder, false, &problem);
    if (dirFd < 0) return Fail(problem);
    m_path = folder + "/" + m_name;

    // O_CLOEXEC: a program started from here (the updater) must not inherit the lock and keep it
    // after this instance has ended.
    const int fd = ::openat(dirFd, m_name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    const int openError = errno;
    ::close(dirFd);
    if (fd < 0) return Fail("cannot open " + m_path + ": " + ErrnoText(openError));

    struct stat st {};
    std::string wrong;
    if (::fstat(fd, &st) != 0)
        wrong = ErrnoText(errno);
    else if (!S_ISREG(st.st_mode))
        wrong = "not a plain file";
    else if (st.st_uid != ::geteuid())
        wrong = "owned by user " + std::to_string(st.st_uid);
    if (!wrong.empty()) {
        ::close(fd);
        return Fail(m_path + ": " + wrong);
    }

    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int lockError = errno;
        ::close(fd);
        if (lockError == EWOULDBLOCK) {
            m_state = State::HeldElsewhere;
            return m_state;
        }
        return Fail("cannot lock " + m_path + ": " + ErrnoText(lockError));
    }

    // The holder's process id, for a person looking at the file; the lock is what counts.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != ssize_t(pid.size())) {
        // Harmless: the lock is held all the same.
    }
    m_fd = fd;
    m_state = State::Held;
    return m_state;
}

void InstanceGuard::Release() {
    if (m_fd >= 0) {
        // Closing the only descriptor drops the lock. The file stays (see the header).
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_state == State::Held) m_state = State::None;
}

}  // namespace VexoPlatform
