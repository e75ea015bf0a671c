// Small POSIX socket helpers for the simulated service's servers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace touchsim {

// Listening TCP socket on host:port (port 0 = ephemeral), non-blocking. -1 on failure, with errno.
int OpenListener(const std::string& host, uint16_t port, uint16_t& boundPort);

// Accepts one connection, non-blocking, with TCP_NODELAY. -1 when none is waiting.
int AcceptClient(int listener);

// Writes everything, waiting for room at most timeoutMs in all; false when the peer is gone or
// does not read. Never raises SIGPIPE.
bool SendAll(int fd, const void* data, size_t length, int timeoutMs);

// A self-pipe that wakes a thread sleeping in poll.
class WakePipe {
public:
    WakePipe();
    ~WakePipe();
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;
    bool Valid() const { return fds_[0] >= 0; }
    int ReadFd() const { return fds_[0]; }
    void Wake();
    void Drain();

private:
    int fds_[2] = {-1, -1};
};

void CloseFd(int& fd);

// Closes with SO_LINGER 0, so that the peer gets a reset (RST) instead of an orderly end.
void ResetFd(int& fd);

}  // namespace touchsim
