// Plain socket clients that talk to the simulator the way the program and a stream reader do.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "touchsim/RpcFrame.h"

namespace touchsim_test {

// How long a test waits for something that should come, and for something that should not.
constexpr int kArriveMs = 2000;
constexpr int kSilenceMs = 200;

inline int ConnectTo(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// One receive, as the program's channel takes it: up to 2048 bytes = one frame.
// Returns -1 on timeout, 0 when the peer closed, else the byte count.
inline int ReceiveOnce(int fd, std::vector<uint8_t>& out, int timeoutMs, size_t capacity = 2048) {
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, timeoutMs) <= 0) return -1;
    out.assign(capacity, 0);
    ssize_t n = recv(fd, out.data(), out.size(), 0);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return n < 0 ? 0 : static_cast<int>(n);
}

class RpcClient {
public:
    explicit RpcClient(uint16_t port) : fd_(ConnectTo(port)) {}
    ~RpcClient() {
        if (fd_ >= 0) close(fd_);
    }
    bool Connected() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    void SendRaw(const std::vector<uint8_t>& bytes) { send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

    void SendCall(uint32_t code, uint32_t expected, const std::vector<uint8_t>& payload = {}, uint32_t selector = 36) {
        touchsim::RequestHead head;
        head.selector = selector;
        head.code = code;
        head.expectedLength = expected;
        std::vector<uint8_t> body = touchsim::BuildRequestPayload(head, payload.data(), payload.size());
        SendRaw(touchsim::BuildFrame(touchsim::kChannelName, touchsim::kKindCall, body.data(), body.size()));
    }

    // Sends a call and waits for one frame; false when none came in time.
    bool Call(uint32_t code, uint32_t expected, touchsim::Frame& reply, const std::vector<uint8_t>& payload = {},
              int timeoutMs = kArriveMs) {
        SendCall(code, expected, payload);
        return Receive(reply, timeoutMs);
    }

    bool Receive(touchsim::Frame& frame, int timeoutMs = kArriveMs) {
        std::vector<uint8_t> bytes;
        if (ReceiveOnce(fd_, bytes, timeoutMs) <= 0) return false;
        lastRaw = bytes;
        return touchsim::ParseFrame(bytes.data(), bytes.size(), frame);
    }

    std::vector<uint8_t> lastRaw;

private:
    int fd_;
};

// Collects the stream and cuts it at the NUL that follows each packet.
class StreamReader {
public:
    explicit StreamReader(uint16_t port) : fd_(ConnectTo(port)) {}
    ~StreamReader() {
        if (fd_ >= 0) close(fd_);
    }
    bool Connected() const { return fd_ >= 0; }

    // Receives until `count` packets are complete or the time is up; returns the packets seen.
    std::vector<std::string> Packets(size_t count, int timeoutMs = kArriveMs) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (complete_.size() < count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            std::vector<uint8_t> chunk;
            int n = ReceiveOnce(fd_, chunk, static_cast<int>(left.count()), 4096);
            if (n <= 0) break;
            receives.push_back(std::string(chunk.begin(), chunk.end()));
            buffer_.append(chunk.begin(), chunk.end());
            size_t nul;
            while ((nul = buffer_.find('\0')) != std::string::npos) {
                complete_.push_back(buffer_.substr(0, nul));
                buffer_.erase(0, nul + 1);
            }
        }
        return complete_;
    }
    std::vector<std::string> receives;  // the raw chunks, one per receive

private:
    int fd_;
    std::string buffer_;
    std::vector<std::string> complete_;
};

}  // namespace touchsim_test
