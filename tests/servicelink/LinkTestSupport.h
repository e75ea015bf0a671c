// Helpers for the service link tests: a tiny scripted TCP service and frame helpers.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/Elapsed.h"
#include "support/LogCapture.h"

namespace linktest {

using Bytes = std::vector<uint8_t>;

// How long a test waits for something that should happen promptly.
constexpr auto kPrompt = std::chrono::milliseconds(2000);

// Frame helpers (name, kind, payload).
inline Bytes Frame(uint32_t kind, const Bytes& payload, const char* name = "FendrelRPC") {
    Bytes f(20, 0);
    std::strncpy(reinterpret_cast<char*>(f.data()), name, 15);
    std::memcpy(f.data() + 16, &kind, 4);
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}
inline Bytes ReplyFrame(const Bytes& payload) { return Frame(2, payload); }
inline Bytes Pattern(size_t n, uint8_t first = 1) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(first + i);
    return b;
}
// Frames written back to back, as one receive may hand them over.
inline Bytes Join(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}
inline uint32_t U32At(const Bytes& b, size_t offset) {
    uint32_t v = 0;
    if (offset + 4 <= b.size()) std::memcpy(&v, b.data() + offset, 4);
    return v;
}

// What the fake service does with one received frame.
struct Step {
    enum What { Reply, Silent, CloseConnection, ResetConnection } what = Reply;
    std::vector<Bytes> sends;                   // written one by one, each with its own send
    std::chrono::milliseconds delay{0};         // before the first send
    std::chrono::milliseconds gap{30};          // between sends, so that each arrives alone
};

inline Step Answer(Bytes frame, std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
    Step s;
    s.sends.push_back(std::move(frame));
    s.delay = delay;
    return s;
}
inline Step NoAnswer() {
    Step s;
    s.what = Step::Silent;
    return s;
}
inline Step CloseAfterRequest() {
    Step s;
    s.what = Step::CloseConnection;
    return s;
}

// A scripted service on 127.0.0.1: accepts clients one after another, takes each receive as one
// frame, records it and plays the next scripted step (or, when the script is empty, answers
// with a reply of the expected length read from the request head, bytes 1, 2, 3, ...).
class FakeService {
public:
    explicit FakeService(int port = 0) {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(uint16_t(port));
        m_ok = ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(m_listen, 4) == 0;
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~FakeService() {
        m_stop = true;
        m_thread.join();
        DropClient();
        CloseListener();
    }

    bool Listening() const { return m_ok; }
    int Port() const { return m_port; }

    void Script(Step step) {
        std::lock_guard<std::mutex> g(m_lock);
        m_script.push_back(std::move(step));
    }
    // Sends bytes to the current client now, from the service's side.
    bool Push(const Bytes& bytes) {
        std::lock_guard<std::mutex> g(m_lock);
        return m_client >= 0 && ::send(m_client, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }
    std::vector<Bytes> Received() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_received;
    }
    size_t ReceivedCount() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_received.size();
    }
    // Waits until `count` frames have been received.
    bool WaitReceived(size_t count, std::chrono::milliseconds limit = kPrompt) {
        std::unique_lock<std::mutex> g(m_lock);
        return m_changed.wait_for(g, limit, [&] { return m_received.size() >= count; });
    }
    bool WaitClient(std::chrono::milliseconds limit = kPrompt) {
        std::unique_lock<std::mutex> g(m_lock);
        return m_changed.wait_for(g, limit, [&] { return m_client >= 0; });
    }
    // Ends the connection with a reset (RST) instead of an orderly close.
    void ResetClient() {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_client < 0) return;
        linger l{1, 0};
        ::setsockopt(m_client, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(m_client);
        m_client = -1;
    }
    // Stops listening: a new connection is refused, the current one stays.
    void CloseListener() {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_listen >= 0) ::close(m_listen);
        m_listen = -1;
    }
    void DropClient() {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_client >= 0) ::close(m_client);
        m_client = -1;
    }

private:
    void Serve() {
        uint8_t buffer[4096];
        while (!m_stop) {
            int client, listener;
            {
                std::lock_guard<std::mutex> g(m_lock);
                client = m_client;
                listener = m_listen;
            }
            pollfd p{client >= 0 ? client : listener, POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0) continue;
            if (client < 0) {
                const int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (c < 0) continue;
                const int one = 1;
                ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                std::lock_guard<std::mutex> g(m_lock);
                m_client = c;
                m_changed.notify_all();
                continue;
            }
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) {
                DropClient();
                continue;
            }
            Step step;
            {
                std::lock_guard<std::mutex> g(m_lock);
                m_received.emplace_back(buffer, buffer + n);
                if (!m_script.empty()) {
                    step = std::move(m_script.front());
                    m_script.pop_front();
                } else {
                    const Bytes frame(buffer, buffer + n);
                    step = Answer(ReplyFrame(Pattern(std::min<uint32_t>(U32At(frame, 28), 2028))));
                }
                m_changed.notify_all();
            }
            Play(step);
        }
    }

    void Play(const Step& step) {
        if (step.what == Step::Silent) return;
        if (step.what == Step::CloseConnection) return DropClient();
        if (step.what == Step::ResetConnection) return ResetClient();
        std::this_thread::sleep_for(step.delay);
        for (size_t i = 0; i < step.sends.size(); ++i) {
            if (i > 0) std::this_thread::sleep_for(step.gap);
            Push(step.sends[i]);
        }
    }

    int m_listen = -1;
    int m_port = 0;
    bool m_ok = false;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    int m_client = -1;
    std::deque<Step> m_script;
    std::vector<Bytes> m_received;
    std::thread m_thread;
};

// A port on which nothing listens (bound once, then released).
inline int UnusedPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

using testsupport::MsSince;

}  // namespace linktest
