// The RPC side of the simulated service: one poll loop for the listener and every client.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "touchsim/RpcFrame.h"
#include "touchsim/SimulatorImpl.h"

namespace touchsim {

namespace {

// Upper bound of one poll: how late a stop request can be seen if the wake pipe failed.
constexpr int kIdlePollMs = 200;
// A reply frame is small; a client that leaves it unsent this long is not reading.
constexpr int kSendTimeoutMs = 500;
// A service left running for days keeps its trace bounded: past this many calls the oldest tenth
// is dropped.
constexpr size_t kMaxTraceEntries = 100000;

}  // namespace

void Simulator::Impl::RpcLoop() {
    std::vector<pollfd> fds;
    std::vector<uint8_t> buffer(kMaxFrameSize);
    while (!stopping) {
        if (rpcResetWanted.exchange(false)) {
            std::lock_guard<std::mutex> lock(rpcSendMu);
            for (int& fd : rpcClients) ResetFd(fd);
            rpcClients.clear();
            pending.clear();
        }
        if (const int want = listenRequest.exchange(0)) {
            if (want == 1 && rpcListener >= 0) CloseFd(rpcListener);
            if (want == 2 && rpcListener < 0) {
                uint16_t bound = 0;
                rpcListener = OpenListener(options.host, rpcPort, bound);
            }
            std::lock_guard<std::mutex> lock(mu);
            refusing = rpcListener < 0;
            listenChanged.notify_all();
        }
        fds.clear();
        fds.push_back({rpcWake.ReadFd(), POLLIN, 0});
        fds.push_back({rpcListener, POLLIN, 0});
        {
            std::lock_guard<std::mutex> lock(rpcSendMu);
            for (int fd : rpcClients) fds.push_back({fd, POLLIN, 0});
        }
        int timeout = kIdlePollMs;
        Clock::time_point now = Clock::now();
        for (const PendingReply& p : pending) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(p.due - now).count() + 1;
            timeout = std::min<int>(timeout, std::max<int>(0, static_cast<int>(left)));
        }

        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            std::fprintf(stderr, "touchsim: the RPC server stops: poll failed (%s)\n", std::strerror(errno));
            break;
        }
        if (stopping) break;
        if (fds[0].revents) rpcWake.Drain();
        if (rpcListener >= 0 && (fds[1].revents & POLLIN)) {
            int fd;
            while ((fd = AcceptClient(rpcListener)) >= 0) {
                std::lock_guard<std::mutex> lock(rpcSendMu);
                rpcClients.push_back(fd);
            }
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            // One receive is one frame: the protocol has no length field, a sender writes each
            // frame with one send.
            ssize_t n = recv(fds[i].fd, buffer.data(), buffer.size(), 0);
            if (n > 0) {
                HandleFrame(fds[i].fd, buffer.data(), static_cast<size_t>(n));
            } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                CloseRpcClient(fds[i].fd);
            }
        }

        now = Clock::now();
        std::vector<PendingReply> due;
        auto split = std::stable_partition(pending.begin(), pending.end(),
                                           [&](const PendingReply& p) { return p.due > now; });
        due.assign(std::make_move_iterator(split), std::make_move_iterator(pending.end()));
        pending.erase(split, pending.end());
        for (const PendingReply& p : due) SendFrameTo(p.fd, p.frame);
    }
}

void Simulator::Impl::HandleFrame(int fd, const uint8_t* bytes, size_t length) {
    Frame frame;
    RequestHead head;
    if (!ParseFrame(bytes, length, frame) || frame.name != kChannelName || frame.kind != kKindCall ||
        !ParseRequestHead(frame.payload, head)) {
        std::lock_guard<std::mutex> lock(mu);
        ++ignoredFrames;
        std::fprintf(stderr, "touchsim: ignored a frame of %zu bytes (not a call named %s with a head)\n", length,
                     kChannelName);
        return;
    }

    TraceEntry entry;
    entry.code = head.code;
    entry.name = RequestName(head.code);
    entry.selector = head.selector;
    entry.expectedLength = head.expectedLength;
    entry.payload.assign(frame.payload.begin() + kRequestHeadSize, frame.payload.end());

    std::vector<uint8_t> reply;
    bool answer;
    int delayMs;
    std::function<void(const TraceEntry&)> listener;
    {
        std::lock_guard<std::mutex> lock(mu);
        Clock::time_point now = Clock::now();
        bool accessible = !busy && now >= busyUntil;
        CallOutcome outcome = HandleCall(model, head.code, entry.payload.data(), entry.payload.size(),
                                         head.expectedLength, accessible, head.selector);
        if (outcome.wasReset && busyAfterResetMs > 0) busyUntil = now + std::chrono::milliseconds(busyAfterResetMs);
        entry.decoded = outcome.decoded;
        reply = std::move(outcome.reply);
        answer = !unplugged && answering;
        if (!answer) {
            // The trace must not read as if an answer went out. A read's text is the answer, so it
            // is replaced; a write's text is what it stored (writes still apply), so it stays.
            const std::string withheld = std::string("reply withheld: ") + (unplugged ? "unplugged" : "silent");
            const bool isRead = entry.name.compare(0, 3, "Get") == 0;
            entry.decoded = isRead || entry.decoded.empty() ? withheld : entry.decoded + "; " + withheld;
        }
        if (answer && oversizeNext) {
            // Two bytes beyond what the caller can take.
            reply.resize(static_cast<size_t>(head.expectedLength) + 2, 0xEE);
            oversizeNext = false;
        } else if (answer && twentyNext) {
            reply.clear();
            twentyNext = false;
        }
        delayMs = replyDelayMs;
        for (auto it = codeFaults.begin(); it != codeFaults.end(); ++it) {
            if (it->code != head.code) continue;
            if (it->kind == CodeFault::Cut && reply.size() > it->bytes) reply.resize(it->bytes);
            if (it->kind == CodeFault::Drop) answer = false;
            if (it->kind == CodeFault::Delay) delayMs = it->ms;
            codeFaults.erase(it);
            break;
        }
        if (reply.size() > kMaxFrameSize - kFrameHeadSize) reply.resize(kMaxFrameSize - kFrameHeadSize);
        if (trace.size() >= kMaxTraceEntries) trace.erase(trace.begin(), trace.begin() + kMaxTraceEntries / 10);
        trace.push_back(entry);
        listener = traceListener;
        traceChanged.notify_all();
    }
    if (listener) listener(entry);
    if (!answer) return;

    std::vector<uint8_t> out = BuildFrame(kChannelName, kKindReply, reply.data(), reply.size());
    if (delayMs > 0) {
        pending.push_back({fd, std::move(out), Clock::now() + std::chrono::milliseconds(delayMs)});
    } else {
        SendFrameTo(fd, out);
    }
}

void Simulator::Impl::SendFrameTo(int fd, const std::vector<uint8_t>& frame) {
    std::lock_guard<std::mutex> lock(rpcSendMu);
    // The client may have gone while a delayed reply waited.
    if (std::find(rpcClients.begin(), rpcClients.end(), fd) == rpcClients.end()) return;
    if (!SendAll(fd, frame.data(), frame.size(), kSendTimeoutMs))
        std::fprintf(stderr, "touchsim: could not send a reply of %zu bytes\n", frame.size());
}

void Simulator::Impl::SendToAllRpcClients(const std::vector<uint8_t>& frame) {
    std::lock_guard<std::mutex> lock(rpcSendMu);
    for (int fd : rpcClients) SendAll(fd, frame.data(), frame.size(), kSendTimeoutMs);
}

void Simulator::Impl::CloseRpcClient(int fd) {
    pending.erase(std::remove_if(pending.begin(), pending.end(), [fd](const PendingReply& p) { return p.fd == fd; }),
                  pending.end());
    std::lock_guard<std::mutex> lock(rpcSendMu);
    rpcClients.erase(std::remove(rpcClients.begin(), rpcClients.end(), fd), rpcClients.end());
    close(fd);
}

}  // namespace touchsim
