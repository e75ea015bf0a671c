// Single instance per user session: an exclusive flock on a file named after the guard.
//
// The file lives in the user's runtime folder ($XDG_RUNTIME_DIR), or when that is missing or not
// private, in a folder of the program's own under the user's cache folder ($XDG_CACHE_HOME, else
// ~/.cache, then "qlncfg", created 0700). A folder is used only when it belongs to the user and
// nobody else may write to it, so another user can neither pre-create the file nor plant a link in
// its place.
//
// Why a lock and not a named object: the kernel drops the lock when the holding process ends in
// any way (closed, killed, crashed), and only the holder can give it up. A named semaphore's name
// survives a crash (blocking the next start) and any process may remove it (letting a second
// instance in). The file itself stays: removing it at exit would race an instance that has just
// opened it and is about to lock it, and two instances could then hold locks on two different files.
//
// No display is involved: a command-line companion takes the same guard with the same name.
#pragma once

#include <string>

namespace VexoPlatform {

// The guard of the configuration program, its window and its command-line companion alike: only
// one of them talks to the touch service for a user at a time.
constexpr const char* kProgramGuardName = "wx_quilo_configuration_mutex";

// Where the per-user guard folder is looked for; empty means unset (tests give their own).
struct GuardEnvironment {
    std::string runtimeDir;  // $XDG_RUNTIME_DIR
    std::string cacheHome;   // $XDG_CACHE_HOME
    std::string home;        // $HOME, else the user's home from the password database
};

// The calling process's environment.
GuardEnvironment CurrentGuardEnvironment();

// The folder for the guard file: the runtime folder when it is private to the user, else the
// program's folder under the cache folder (created when missing). Empty when neither is usable;
// problem then says why (one line, for the log).
std::string GuardFolder(const GuardEnvironment& env, std::string* problem = nullptr);

class InstanceGuard {
public:
    enum class State {
        None,           // not tried yet, or released
        Held,           // this object holds the guard
        HeldElsewhere,  // another process (or another guard object) holds it
        Unavailable,    // no private folder or the file could not be locked (see Problem)
    };

    // name: the guard's name, which is the file's name (no '/'). folder: where the file lives;
    // empty means the per-user folder of the current environment.
    explicit InstanceGuard(std::string name, std::string folder = std::string());
    // Releases the guard (the file stays).
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // Tries once to take the guard, without waiting. Held when it was already held.
    State Acquire();
    // Gives the guard up; the file is left in place (see the top of this file).
    void Release();

    State GetState() const { return m_state; }
    bool Held() const { return m_state == State::Held; }
    // The lock file's full path once a folder was chosen, else empty.
    const std::string& Path() const { return m_path; }
    // Why the last Acquire found the guard unavailable.
    const std::string& Problem() const { return m_problem; }

private:
    State Fail(const std::string& problem);

    std::string m_name;
    std::string m_folder;
    std::string m_path;
    std::string m_problem;
    State m_state = State::None;
    int m_fd = -1;
};

}  // namespace VexoPlatform
