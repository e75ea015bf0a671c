#include "servicelink/VexoRPC.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/VexoLog.h"

namespace VexoSource {

VexoRPC* g_pServiceChannel = nullptr;
uint32_t DeviceSelector = 0;
boost::mutex g_SelectorLock;

namespace {

uint32_t ReadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void WriteU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

// Name field: at most 15 characters and the terminator; the rest of the field is zeroed.
void WriteName(uint8_t* field, const char* name) {
    std::memset(field, 0, kFrameNameSize);
    if (name) std::strncpy(reinterpret_cast<char*>(field), name, kFrameNameSize - 1);
}

}  // namespace

// Fills the reply slot before the call is sent (a prompt reply must find it) and clears it
// however the caller leaves, including a forced thread end that unwinds the caller's stack:
// the slot points into that stack.
class VexoRPC::ReplySlotGuard {
public:
    ReplySlotGuard(VexoRPC& rpc, void* buffer, int32_t* result, uint32_t capacity) : m_rpc(rpc) {
        std::lock_guard<std::mutex> g(m_rpc.m_slotLock);
        m_rpc.m_slot.buffer = buffer;
        m_rpc.m_slot.result = result;
        m_rpc.m_slot.capacity = capacity;
    }
    ~ReplySlotGuard() {
        std::lock_guard<std::mutex> g(m_rpc.m_slotLock);
        m_rpc.m_slot = ReplySlot{};
    }
    ReplySlotGuard(const ReplySlotGuard&) = delete;
    ReplySlotGuard& operator=(const ReplySlotGuard&) = delete;

private:
    VexoRPC& m_rpc;
};

VexoRPC::VexoRPC() {
    SetThreadName("rpc-receive");
    m_event = CreateSyncobj();
}

VexoRPC::~VexoRPC() {
    Stop();
    m_role = kRoleNone;
    delete m_connection;
    m_connection = nullptr;
    if (m_event) {
        m_event->Close();
        delete m_event;
        m_event = nullptr;
    }
}

bool VexoRPC::Connect(const char* host, int32_t port) {
    // The receive thread reads the connection: replace it only while that thread is stopped.
    if (IsStarted()) Stop();
    m_role = kRoleNone;
    delete m_connection;
    m_connection = new VexoTCPManager;
    if (!m_connection->Connect(host, port, false)) return false;
    // The role first: the receive thread idles for good when it starts without one.
    m_role = kRoleClient;
    Start();
    VexoLogDebug(L"RPC client was created");
    return true;
}

int32_t VexoRPC::RegisterHandler(int32_t index, const char* name, VexoRPCHandler handler, uintptr_t context) {
    if (index < 0 || index >= kHandlerCount) return -1;
    std::lock_guard<std::mutex> g(m_handlerLock);
    HandlerEntry& entry = m_handlers[index];
    WriteName(reinterpret_cast<uint8_t*>(entry.name), name);
    entry.handler = handler;
    entry.context = context;
    entry.active = 1;
    return index;
}

int32_t VexoRPC::Call(const char* name, const void* data, int32_t length, void* replyBuffer, uint32_t replyCapacity,
                      int32_t peer) {
    (void)peer;  // only a serving side would address a peer
    int32_t result = -1;
    if (length < 0 || length > m_payloadCapacity) return -1;
    if (length > 0 && !data) return -1;

    std::lock_guard<std::mutex> callGuard(m_callLock);
    WriteName(m_sendFrame, name);
    WriteU32(m_sendFrame + kFrameNameSize, kFrameCall);
    if (length > 0) std::memcpy(m_sendFrame + kFrameHeadSize, data, size_t(length));
    if (m_role != kRoleClient || !m_connection) return -1;
    // A worker whose stop was requested sends nothing more: its owner is closing (the window, the
    // program), and what it would ask can no longer matter. Nor does it reconnect for it.
    if (VexoThread::CurrentStopRequested()) return -1;
    if (m_replyOwed) {
        m_replyOwed = false;
        if (!Reopen()) return -1;
    }

    GuardedReset(m_event);
    int32_t waited;
    {
        ReplySlotGuard slot(*this, replyBuffer, &result, replyCapacity);
        if (m_connection->Send(m_sendFrame, length + kFrameHeadSize) == 0) {
            m_connection->Disconnect();
            return -1;
        }
        waited = GuardedWait(m_event);
    }
    // The slot is clear now: a stray reply during the pause can no longer overwrite this one.
    if (waited != 0) {
        VexoThread::SleepCurrent(kPauseAfterReplyMs);
    } else {
        // The reply may still come, on this connection: the next call must not take it for its own.
        m_replyOwed = true;
        // A wait ended by the caller's stop request is no failure of the service.
        if (!VexoThread::CurrentStopRequested()) VexoLogException(L"RPC %hs failed", name ? name : "");
    }
    return result;
}

bool VexoRPC::Reopen() {
    // A reply that comes late lands on the old socket, which nobody reads any more.
    VexoLogInfo(L"RPC connection reopened: the last call's reply is still owed");
    const std::string host = m_connection->PeerHost();
    const int32_t port = m_connection->Port();
    // The receive thread reads the connection: hold it while the socket is replaced.
    Stop();
    m_connection->Disconnect();
    if (m_connection->IsOpen()) m_connection->Close();
    const bool connected = m_connection->Connect(host.c_str(), port, false);
    Start();
    return connected;
}

void VexoRPC::StoreReply(int32_t received) {
    const int32_t length = received - kFrameHeadSize;
    {
        std::lock_guard<std::mutex> g(m_slotLock);
        if (m_slot.buffer && m_slot.result && uint32_t(length) <= m_slot.capacity) {
            *m_slot.result = length;
            if (length > 0) std::memcpy(m_slot.buffer, m_receiveFrame + kFrameHeadSize, size_t(length));
        }
    }
    // Stored (or refused) before the waiter is woken, so it reads a settled result.
    GuardedSignal(m_event);
}

void VexoRPC::HandleCall(int32_t received) {
    HandlerEntry entry;
    bool found = false;
    {
        std::lock_guard<std::mutex> g(m_handlerLock);
        for (const HandlerEntry& candidate : m_handlers) {
            if (candidate.active &&
                std::strncmp(candidate.name, reinterpret_cast<const char*>(m_receiveFrame), kFrameNameSize) == 0) {
                entry = candidate;
                found = true;
                break;
            }
        }
    }
    if (!found || !entry.handler) return;
    char callName[kFrameNameSize + 1] = {};
    std::memcpy(callName, m_receiveFrame, kFrameNameSize);
    // Answers use a frame of their own: the send frame belongs to the requesting thread.
    std::memcpy(m_answerFrame, m_receiveFrame, kFrameNameSize);
    WriteU32(m_answerFrame + kFrameNameSize, kFrameReply);
    const int32_t r = entry.handler(m_receiveFrame + kFrameHeadSize, received - kFrameHeadSize,
                                    m_answerFrame + kFrameHeadSize, kFramePayloadCapacity, callName, entry.context);
    if (r >= 0 && r <= kFramePayloadCapacity) m_connection->SendOrDisconnect(m_answerFrame, r + kFrameHeadSize);
}

void VexoRPC::Run() {
    while (!StopRequested()) {
        if (m_role != kRoleClient || !m_connection || !m_connection->IsOpen()) {
            // Nothing to read (the service went away): idle until stopped. A new connection
            // (Connect, or the reconnect after a late reply) comes with a restart of this thread.
            WaitForStop();
            continue;
        }
        // Sleeps until a reply arrives or the stop request wakes it: an idle channel costs no
        // wake-up, and a reply is taken the moment it arrives.
        const int stopFd = StopEventFd();
        switch (m_connection->WaitReadableOrWoken(stopFd, stopFd >= 0 ? -1 : int(kReceivePollMs))) {
            case VexoTCPManager::WaitResult::Readable:
                break;
            case VexoTCPManager::WaitResult::NoSocket:
                // poll itself failed: do not spin on it.
                SleepFor(kReceivePollMs);
                continue;
            default:
                continue;
        }
        const int32_t n = m_connection->ReceiveMessage(m_receiveFrame);
        if (n == -1) {
            // Readable, yet nothing came (a socket error other than a reset): pause rather than spin.
            SleepFor(kReceivePollMs);
            continue;
        }
        Dispatch(n);
    }
}

void VexoRPC::Dispatch(int32_t received) {
    if (received < kFrameHeadSize || received > kFrameSize) return;
    const uint32_t kind = ReadU32(m_receiveFrame + kFrameNameSize);
    if (kind == kFrameCall)
        HandleCall(received);
    else if (kind == kFrameReply)
        StoreReply(received);
}

// ---------------------------------------------------------------------------------------------
bool OpenServiceChannelAt(const char* host, int port) {
    if (g_pServiceChannel) return false;
    auto* channel = new VexoRPC;
    g_pServiceChannel = channel;
    if (!channel->Connect(host, port)) {
        g_pServiceChannel = nullptr;
        delete channel;
        return false;
    }
    return true;
}

bool OpenServiceChannel() { return OpenServiceChannelAt(kServiceHost, kServicePort); }

void CloseServiceChannel() {
    VexoRPC* channel = g_pServiceChannel;
    g_pServiceChannel = nullptr;
    delete channel;
}

int32_t ReplyOk(int32_t result, uint32_t expectedReplyLength) {
    return ((result == 0 && expectedReplyLength == 0) || (result > 0 && expectedReplyLength > 0)) ? 1 : 0;
}

int32_t SendRequest(uint32_t code, void* replyBuffer, int32_t* ok, const void* payload, uint8_t payloadLength,
                    uint32_t expectedReplyLength) {
    int32_t ignored = 0;
    if (!ok) ok = &ignored;
    *ok = 0;
    VexoRPC* channel = g_pServiceChannel;
    if (!channel || channel->Role() != VexoRPC::kRoleClient || !channel->Connection() ||
        channel->Connection()->connected == 0)
        return 0;

    uint8_t request[sizeof(RequestHead) + kMaxRequestPayload];
    RequestHead head{};
    {
        boost::lock_guard<boost::mutex> g(g_SelectorLock);
        head.selector = DeviceSelector;
    }
    head.code = code;
    head.expectedReplyLength = expectedReplyLength;
    head.reserved = 0;
    std::memcpy(request, &head, sizeof head);
    if (payloadLength > 0) {
        if (payload)
            std::memcpy(request + sizeof head, payload, payloadLength);
        else
            std::memset(request + sizeof head, 0, payloadLength);
    }
    const int32_t result = channel->Call(kServiceChannelName, request, int32_t(sizeof head) + payloadLength,
                                         replyBuffer, expectedReplyLength, -1);
    *ok = ReplyOk(result, expectedReplyLength);
    return result;
}

bool DeviceSelectorFromIdentifier(const std::string& id, uint32_t& selector) {
    // Longer than 16 digits (a 17th character is tolerated) produces no byte at all.
    if (id.size() > 17) return false;
    const size_t count = id.size() / 2;
    uint32_t sum = 0;
    for (size_t k = 0; k < count; ++k) {
        const char pair[3] = {id[2 * k], id[2 * k + 1], 0};
        unsigned int value = 0;
        if (std::sscanf(pair, "%x", &value) != 1) value = 0;
        sum += value & 0xFFu;
    }
    if (count != 8) return false;
    selector = sum;
    return true;
}

// ---------------------------------------------------------------------------------------------
// The fuzz entry of the receive side (declared in VexoRPC.h).
//
// Input: a u32 expected reply length (any value, as SendRequest passes it as the capacity), then
// frames, each a u16 length (taken modulo 2049: one receive brings at most 2048 bytes) and that
// many bytes (fewer when the input ends). Frames are dispatched as the receive thread does while a
// call waits; the first reply frame wakes the call, which clears its slot; the frames after it
// arrive with no call waiting, as late replies do.

namespace {

constexpr size_t kCanaryBytes = 64;
constexpr uint8_t kCanary = 0xCD;
constexpr uint8_t kStaleFrameByte = 0x5A;
constexpr uint8_t kAnswerByte = 0xA5;

uint32_t TakeU32(const unsigned char*& p, size_t& left) {
    uint32_t v = 0;
    const size_t n = left < 4 ? left : 4;
    std::memcpy(&v, p, n);
    p += n;
    left -= n;
    return v;
}

// A call from the service: checks what the channel hands over and answers with a length taken
// from the call's first two bytes, which may be negative or beyond the frame.
int32_t CheckingHandler(const uint8_t* payload, int32_t length, uint8_t* output, int32_t outputCapacity,
                        const char* name, uintptr_t) {
    if (length < 0 || length > kFramePayloadCapacity || !payload || !output) std::abort();
    if (outputCapacity != kFramePayloadCapacity || !name || std::strlen(name) >= size_t(kFrameNameSize + 1))
        std::abort();
    int16_t wanted = int16_t(length);
    if (length >= 2) std::memcpy(&wanted, payload, sizeof wanted);
    const int32_t fill = wanted < 0 ? 0 : (wanted > outputCapacity ? outputCapacity : wanted);
    std::memset(output, kAnswerByte, size_t(fill));
    return wanted;
}

}  // namespace

int VexoRPCFuzzOneInput(const unsigned char* data, size_t size) {
    // One channel for the whole run: its waitable object and registry entry are not per input. It
    // has a connection object that was never connected, so answers to calls go nowhere.
    static VexoRPC* rpc = [] {
        auto* channel = new VexoRPC;
        channel->m_connection = new VexoTCPManager;
        channel->RegisterHandler(0, kServiceChannelName, CheckingHandler, 0);
        return channel;
    }();
    if (!data) return 0;

    const unsigned char* p = data;
    size_t left = size;
    const uint32_t expected = TakeU32(p, left);

    // No reply can be longer than one frame's payload, so a larger capacity needs no larger buffer.
    const size_t usable = expected < uint32_t(kFramePayloadCapacity) ? expected : size_t(kFramePayloadCapacity);
    std::vector<uint8_t> reply(usable + kCanaryBytes, kCanary);

    std::memset(rpc->m_receiveFrame, kStaleFrameByte, sizeof rpc->m_receiveFrame);
    GuardedReset(rpc->m_event);

    // Takes the next frame into the receive frame, as one receive does: its first n bytes are
    // overwritten and the rest keeps what it held. False when the input has no frame left.
    auto receive = [&](size_t& n) {
        if (left < 2) return false;
        uint16_t length;
        std::memcpy(&length, p, 2);
        p += 2;
        left -= 2;
        n = std::min(size_t(length) % size_t(kFrameSize + 1), left);
        if (n > 0) std::memcpy(rpc->m_receiveFrame, p, n);
        p += n;
        left -= n;
        return true;
    };

    int32_t result = -1;
    bool woken = false;
    std::vector<uint8_t> wakingPayload;
    size_t n = 0;
    {
        VexoRPC::ReplySlotGuard slot(*rpc, reply.data(), &result, expected);
        while (!woken && receive(n)) {
            rpc->Dispatch(int32_t(n));
            if (rpc->m_event->IsSignalled()) {
                woken = true;
                if (n >= size_t(kFrameHeadSize))
                    wakingPayload.assign(rpc->m_receiveFrame + kFrameHeadSize, rpc->m_receiveFrame + n);
                if (GuardedWait(rpc->m_event) != 1) std::abort();
            }
        }
    }
    const int32_t settled = result;

    // Late frames: no call is waiting, nothing of theirs may reach the buffer or the result.
    while (receive(n)) rpc->Dispatch(int32_t(n));
    if (result != settled) std::abort();

    // Only a reply frame wakes the caller; without one the call times out with -1.
    if (!woken && result != -1) std::abort();
    if (result < -1 || result > int32_t(usable)) std::abort();
    if (result >= 0) {
        // The result is the waking reply's whole payload, copied as it came.
        if (size_t(result) != wakingPayload.size()) std::abort();
        if (result > 0 && std::memcmp(reply.data(), wakingPayload.data(), size_t(result)) != 0) std::abort();
    } else if (woken && wakingPayload.size() <= expected) {
        // A reply that fit must have been stored.
        std::abort();
    }
    for (size_t k = result > 0 ? size_t(result) : 0; k < reply.size(); ++k)
        if (reply[k] != kCanary) std::abort();

    // Success means a stored reply that the caller's buffer holds, empty only when none was expected.
    if (ReplyOk(result, expected) == 1 && (result < 0 || uint32_t(result) > expected || (result == 0) != (expected == 0)))
        std::abort();
    return 0;
}

}  // namespace VexoSource
