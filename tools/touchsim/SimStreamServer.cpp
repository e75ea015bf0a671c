// The touch stream side of the simulated service: packets to every client while fingers are down.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "touchsim/SimulatorImpl.h"

namespace touchsim {

namespace {

// Real producers send tens of packets a second while a finger is down.
constexpr int kPacketIntervalMs = 25;
// Packets without touches after the last lift, so a reader that missed one still sees it.
constexpr int kEmptyPacketsAfterLift = 3;
constexpr int kIdlePollMs = 200;
// A send that stays blocked this long (the client stopped reading and its socket buffers are
// full) drops that client rather than stalling the stream for the others.
constexpr int kSendTimeoutMs = 500;
// Packets that Tap() lets pass while the finger is held.
constexpr uint64_t kTapHeldPackets = 4;
constexpr int kTapWaitMs = 2000;

}  // namespace

std::string Simulator::Impl::NextPacket() {
    std::vector<StreamTouch> touches;
    int32_t sequence;
    int values;
    {
        std::lock_guard<std::mutex> lock(streamMu);
        for (const auto& f : fingers) touches.push_back(f.second);
        sequence = ++frameSequence;
        values = setValues;
    }
    std::string packet = BuildTuioPacket(touches, sequence, values);
    packet.push_back('\0');  // one NUL after each packet, as real producers do
    return packet;
}

void Simulator::Impl::SendToStreamClients(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(streamSendMu);
    SendToStreamClientsLocked(bytes);
}

void Simulator::Impl::SendToStreamClientsLocked(const std::string& bytes) {
    for (auto it = streamClients.begin(); it != streamClients.end();) {
        if (SendAll(*it, bytes.data(), bytes.size(), kSendTimeoutMs)) {
            ++it;
            continue;
        }
        close(*it);
        it = streamClients.erase(it);
        streamClientsChanged.notify_all();
    }
}

void Simulator::Impl::StreamLoop() {
    Clock::time_point nextPacket = Clock::now();
    std::vector<pollfd> fds;
    char scratch[512];
    while (!stopping) {
        if (streamResetWanted.exchange(false)) {
            std::lock_guard<std::mutex> lock(streamSendMu);
            for (int& fd : streamClients) ResetFd(fd);
            streamClients.clear();
            streamClientsChanged.notify_all();
        }
        bool active;
        {
            std::lock_guard<std::mutex> lock(streamMu);
            active = !fingers.empty() || emptyPacketsLeft > 0;
        }
        int timeout = kIdlePollMs;
        if (active) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(nextPacket - Clock::now()).count();
            timeout = static_cast<int>(std::max<long long>(0, std::min<long long>(left, kPacketIntervalMs)));
        }
        fds.clear();
        fds.push_back({streamWake.ReadFd(), POLLIN, 0});
        fds.push_back({streamListener, POLLIN, 0});
        {
            std::lock_guard<std::mutex> lock(streamSendMu);
            for (int fd : streamClients) fds.push_back({fd, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            std::fprintf(stderr, "touchsim: the touch stream stops: poll failed (%s)\n", std::strerror(errno));
            break;
        }
        if (stopping) break;
        if (fds[0].revents) {
            streamWake.Drain();
            nextPacket = std::min(nextPacket, Clock::now());  // a finger change goes out at once
        }
        if (fds[1].revents & POLLIN) {
            int fd;
            while ((fd = AcceptClient(streamListener)) >= 0) {
                std::lock_guard<std::mutex> lock(streamSendMu);
                streamClients.push_back(fd);
                streamClientsChanged.notify_all();
            }
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            // Readers send nothing; whatever comes is discarded, end-of-stream drops the client.
            ssize_t n = recv(fds[i].fd, scratch, sizeof scratch, 0);
            if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))) continue;
            std::lock_guard<std::mutex> lock(streamSendMu);
            auto it = std::find(streamClients.begin(), streamClients.end(), fds[i].fd);
            if (it != streamClients.end()) {
                close(*it);
                streamClients.erase(it);
                streamClientsChanged.notify_all();
            }
        }

        Clock::time_point now = Clock::now();
        if (now < nextPacket) continue;
        {
            std::lock_guard<std::mutex> lock(streamMu);
            active = !fingers.empty() || emptyPacketsLeft > 0;
            if (active && fingers.empty()) --emptyPacketsLeft;
        }
        if (!active) continue;
        SendToStreamClients(NextPacket());
        nextPacket = now + std::chrono::milliseconds(kPacketIntervalMs);
        std::lock_guard<std::mutex> lock(streamMu);
        ++packetsSent;
        streamProgress.notify_all();
    }
}

void Simulator::FingerDown(int id, float x, float y) {
    {
        std::lock_guard<std::mutex> lock(impl_->streamMu);
        impl_->fingers[id] = StreamTouch{id, x, y};
        impl_->emptyPacketsLeft = 0;
    }
    impl_->streamWake.Wake();
}

bool Simulator::HasStream() const { return impl_->options.stream; }

bool Simulator::FingerMove(int id, float x, float y) {
    {
        std::lock_guard<std::mutex> lock(impl_->streamMu);
        auto it = impl_->fingers.find(id);
        if (it == impl_->fingers.end()) return false;
        it->second = StreamTouch{id, x, y};
    }
    impl_->streamWake.Wake();
    return true;
}

bool Simulator::FingerUp(int id) {
    {
        std::lock_guard<std::mutex> lock(impl_->streamMu);
        if (!impl_->fingers.erase(id)) return false;
        if (impl_->fingers.empty()) impl_->emptyPacketsLeft = kEmptyPacketsAfterLift;
    }
    impl_->streamWake.Wake();
    return true;
}

void Simulator::Tap(float x, float y) {
    Impl& d = *impl_;
    if (!d.running || !d.options.stream) return;
    int id;
    uint64_t start;
    {
        std::lock_guard<std::mutex> lock(d.streamMu);
        id = 0;
        while (d.fingers.count(id)) ++id;  // the lowest free id, as a frame numbers its touches
        start = d.packetsSent;
    }
    FingerDown(id, x, y);
    {
        std::unique_lock<std::mutex> lock(d.streamMu);
        d.streamProgress.wait_for(lock, std::chrono::milliseconds(kTapWaitMs),
                                  [&] { return d.stopping || d.packetsSent >= start + kTapHeldPackets; });
        start = d.packetsSent;
    }
    FingerUp(id);
    // Return once the lift has gone out.
    std::unique_lock<std::mutex> lock(d.streamMu);
    d.streamProgress.wait_for(lock, std::chrono::milliseconds(kTapWaitMs),
                              [&] { return d.stopping || d.packetsSent > start; });
}

void Simulator::DisplayTap(float u, float v) {
    const StreamPosition p = Model().ReportedAtDisplay(u, v);
    Tap(float(p.x), float(p.y));
}

void Simulator::DisplayDown(int id, float u, float v) {
    const StreamPosition p = Model().ReportedAtDisplay(u, v);
    FingerDown(id, float(p.x), float(p.y));
}

void Simulator::SendRawStream(const std::string& bytes) { impl_->SendToStreamClients(bytes); }

void Simulator::SendSplitPacket() {
    std::string packet = impl_->NextPacket();
    size_t half = packet.size() / 2;
    std::lock_guard<std::mutex> lock(impl_->streamSendMu);
    impl_->SendToStreamClientsLocked(packet.substr(0, half));
    // Long enough for the reader to receive the first half on its own.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    impl_->SendToStreamClientsLocked(packet.substr(half));
}

void Simulator::SetSetArgumentCount(int n) {
    std::lock_guard<std::mutex> lock(impl_->streamMu);
    impl_->setValues = n == 8 ? 8 : 6;
}

void Simulator::CloseStreamClients() {
    // As for the RPC side: shut down here, the stream thread sees end-of-stream and releases them.
    std::lock_guard<std::mutex> lock(impl_->streamSendMu);
    for (int fd : impl_->streamClients) shutdown(fd, SHUT_RDWR);
    impl_->streamWake.Wake();
}

void Simulator::ResetStreamClients() {
    impl_->streamResetWanted = true;
    impl_->streamWake.Wake();
}

size_t Simulator::StreamClients() const {
    std::lock_guard<std::mutex> lock(impl_->streamSendMu);
    return impl_->streamClients.size();
}

bool Simulator::WaitForStreamClients(size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(impl_->streamSendMu);
    return impl_->streamClientsChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                                [&] { return impl_->streamClients.size() >= count; });
}

uint64_t Simulator::StreamPacketsSent() const {
    std::lock_guard<std::mutex> lock(impl_->streamMu);
    return impl_->packetsSent;
}

}  // namespace touchsim
