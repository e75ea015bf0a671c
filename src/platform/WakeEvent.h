// A descriptor that a thread can wait on in poll() beside its sockets, and that another thread
// makes readable: how a worker blocked on a socket without a time-out learns of its stop request.
#pragma once

namespace VexoPlatform {

class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // Readable from Set until Clear; -1 when the event could not be created (then waits on it
    // must have a time-out of their own).
    int Fd() const { return m_fd; }
    void Set();
    void Clear();

private:
    int m_fd = -1;
};

}  // namespace VexoPlatform
