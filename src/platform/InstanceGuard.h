// One instance per machine: the holder binds an abstract Unix socket named after the guard.
//
// The frame and its touch service belong to the machine, not to a user: the window of one desktop
// session, another user's window and a companion command run with sudo must not take turns
// writing to the device. So every local user takes the same guard, whoever they are.
//
// Why an abstract socket name and not a file:
//  - Any local user can bind the name: there is no file whose owner or mode could lock another
//    user out, and nothing is ever created on disk.
//  - The kernel drops the name when the last descriptor of its socket closes, so a holder that
//    ends in any way (closed, killed, crashed) frees it at once: nothing stale is ever left behind
//    to block the next start, and nobody can remove the name while the holder lives.
//  - The name belongs to the network namespace, as the touch service does: it is reached on
//    127.0.0.1 of the caller's namespace. Programs that can reach the same service share one guard;
//    a container or test with a loopback of its own has a service and a guard of its own.
// What a hostile local user can do with it: bind the name themselves and keep it, so that the
// program says it is already running. They could do the same by leaving the program open, and
// nothing they do outlives their process. The holder listens on the socket, so a refused start
// reads the holder's process and user from the kernel (the socket's peer credentials) and names
// them, and whoever keeps the guard can be found. A file in a shared folder would be worse: a
// file created first with a mode nobody else may open, or a link planted in its place, blocks
// every other user for good, even after its creator is gone.
//
// No display is involved: the command-line companion takes the same guard with the same name.
#pragma once

#include <string>

namespace VexoPlatform {

// The guard of the configuration program, its window and its command-line companion alike: only
// one of them talks to the touch service of this machine at a time.
constexpr const char* kProgramGuardName = "wx_quilo_configuration_mutex";

class InstanceGuard {
public:
    enum class State {
        None,           // not tried yet, or released
        Held,           // this object holds the guard
        HeldElsewhere,  // another process (or another guard object) holds it
        Unavailable,    // the socket could not be made or bound (see Problem)
    };

    // name: the guard's abstract socket name (printable, at most 100 characters).
    explicit InstanceGuard(std::string name);
    // Releases the guard.
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // Tries once to take the guard, without waiting. Held when it was already held.
    State Acquire();
    // Gives the guard up: the name is free again at once.
    void Release();

    State GetState() const { return m_state; }
    bool Held() const { return m_state == State::Held; }
    // The guard as a person finds it in `ss -xl`: "@" and the name.
    std::string Address() const { return "@" + m_name; }
    // Once Acquire found the guard held elsewhere: who holds it, "process PID of user NAME (UID)";
    // empty when the holder did not say (it does not listen, or its queue is full).
    const std::string& Holder() const { return m_holder; }
    // Why the last Acquire found the guard unavailable.
    const std::string& Problem() const { return m_problem; }

private:
    State Fail(const std::string& problem);

    std::string m_name;
    std::string m_holder;
    std::string m_problem;
    State m_state = State::None;
    int m_fd = -1;
};

}  // namespace VexoPlatform
