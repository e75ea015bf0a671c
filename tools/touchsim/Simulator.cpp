#include "touchsim/Simulator.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>

#include "touchsim/RpcFrame.h"
#include "touchsim/SimulatorImpl.h"

namespace touchsim {

std::string TraceEntry::Line() const {
    std::string hex;
    char byte[4];
    for (uint8_t b : payload) {
        std::snprintf(byte, sizeof byte, "%02x", b);
        hex += byte;
    }
    char head[160];
    std::snprintf(head, sizeof head, "call %s code=%u sel=%u expect=%u payload=%zu:", name.c_str(), code, selector,
                  expectedLength, payload.size());
    std::string line = head;
    line += hex.empty() ? "-" : hex;
    if (!decoded.empty()) line += " (" + decoded + ")";
    return line;
}

Simulator::Simulator(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Simulator::~Simulator() { Stop(); }

bool Simulator::Start() {
    Impl& d = *impl_;
    if (d.running) return true;
    if (!d.rpcWake.Valid() || !d.streamWake.Valid()) return false;
    d.rpcListener = OpenListener(d.options.host, d.options.rpcPort, d.rpcPort);
    if (d.rpcListener < 0) {
        std::fprintf(stderr, "touchsim: cannot listen on %s:%u (%s)\n", d.options.host.c_str(), d.options.rpcPort,
                     std::strerror(errno));
        return false;
    }
    if (d.options.stream) {
        d.streamListener = OpenListener(d.options.host, d.options.streamPort, d.streamPort);
        if (d.streamListener < 0) {
            std::fprintf(stderr, "touchsim: cannot listen on %s:%u (%s)\n", d.options.host.c_str(),
                         d.options.streamPort, std::strerror(errno));
            CloseFd(d.rpcListener);
            return false;
        }
    }
    d.stopping = false;
    d.rpcThread = std::thread([&d] { d.RpcLoop(); });
    if (d.options.stream) d.streamThread = std::thread([&d] { d.StreamLoop(); });
    d.running = true;
    return true;
}

void Simulator::Stop() {
    Impl& d = *impl_;
    if (!d.running) return;
    d.stopping = true;
    d.rpcWake.Wake();
    d.streamWake.Wake();
    {
        // Wake a Tap() waiting for packets.
        std::lock_guard<std::mutex> lock(d.streamMu);
        d.streamProgress.notify_all();
    }
    if (d.rpcThread.joinable()) d.rpcThread.join();
    if (d.streamThread.joinable()) d.streamThread.join();
    {
        std::lock_guard<std::mutex> lock(d.rpcSendMu);
        for (int& fd : d.rpcClients) CloseFd(fd);
        d.rpcClients.clear();
    }
    d.pending.clear();
    {
        std::lock_guard<std::mutex> lock(d.streamSendMu);
        for (int& fd : d.streamClients) CloseFd(fd);
        d.streamClients.clear();
        d.streamClientsChanged.notify_all();
    }
    CloseFd(d.rpcListener);
    CloseFd(d.streamListener);
    d.running = false;
}

uint16_t Simulator::RpcPort() const { return impl_->rpcPort; }
uint16_t Simulator::StreamPort() const { return impl_->streamPort; }

DeviceModel Simulator::Model() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->model;
}

void Simulator::SetModel(const DeviceModel& model) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->model = model;
}

void Simulator::EditModel(const std::function<void(DeviceModel&)>& f) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    f(impl_->model);
}

std::vector<TraceEntry> Simulator::Trace() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->trace;
}

void Simulator::ClearTrace() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->trace.clear();
}

bool Simulator::WaitForCalls(size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->traceChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                        [&] { return impl_->trace.size() >= count; });
}

void Simulator::SetTraceListener(std::function<void(const TraceEntry&)> listener) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->traceListener = std::move(listener);
}

const char* Simulator::CodeName(uint32_t code) { return RequestName(code); }

size_t Simulator::IgnoredFrames() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->ignoredFrames;
}

void Simulator::Unplug() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->unplugged = true;
}

void Simulator::Plug() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->unplugged = false;
}

void Simulator::SetAnswering(bool answering) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->answering = answering;
}

void Simulator::SetBusyAfterReset(int ms) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->busyAfterResetMs = ms < 0 ? 0 : ms;
}

void Simulator::SetBusy(bool busy) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->busy = busy;
    if (!busy) impl_->busyUntil = Clock::time_point{};
}

void Simulator::CloseClients() {
    // Shutting the sockets down here makes the effect immediate for the peers; the RPC thread
    // then sees end-of-stream and releases them.
    std::lock_guard<std::mutex> lock(impl_->rpcSendMu);
    for (int fd : impl_->rpcClients) shutdown(fd, SHUT_RDWR);
    impl_->rpcWake.Wake();
}

void Simulator::ResetClients() {
    impl_->rpcResetWanted = true;
    impl_->rpcWake.Wake();
}

void Simulator::SetReplyDelayMs(int ms) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->replyDelayMs = ms < 0 ? 0 : ms;
}

void Simulator::RefuseConnections(bool refuse) {
    Impl& d = *impl_;
    if (!d.running) return;
    d.listenRequest = refuse ? 1 : 2;
    d.rpcWake.Wake();
    std::unique_lock<std::mutex> lock(d.mu);
    d.listenChanged.wait_for(lock, std::chrono::seconds(2), [&d, refuse] { return d.refusing == refuse; });
}

void Simulator::SendOversizedNextReply() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->oversizeNext = true;
}

void Simulator::SendTwentyByteNextReply() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->twentyNext = true;
}

void Simulator::CutNextReply(uint32_t code, size_t bytes) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->codeFaults.push_back({Impl::CodeFault::Cut, code, bytes, 0});
}

void Simulator::DropNextReply(uint32_t code) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->codeFaults.push_back({Impl::CodeFault::Drop, code, 0, 0});
}

void Simulator::DelayNextReply(uint32_t code, int ms) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->codeFaults.push_back({Impl::CodeFault::Delay, code, 0, ms < 0 ? 0 : ms});
}

void Simulator::SendGarbageFrame() {
    // 28 bytes whose name has no terminator and whose kind is neither call nor reply.
    std::vector<uint8_t> garbage(28, 0xA5);
    impl_->SendToAllRpcClients(garbage);
}

void Simulator::SendCallFrame() {
    RequestHead head;
    head.code = VexoSource::GetDeviceList;
    head.expectedLength = 1;
    std::vector<uint8_t> payload = BuildRequestPayload(head, nullptr, 0);
    impl_->SendToAllRpcClients(BuildFrame(kChannelName, kKindCall, payload.data(), payload.size()));
}

size_t Simulator::RpcClients() const {
    std::lock_guard<std::mutex> lock(impl_->rpcSendMu);
    return impl_->rpcClients.size();
}

}  // namespace touchsim
