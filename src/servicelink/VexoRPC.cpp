#include "servicelink/VexoRPC.h"

#include <cstdio>
#include <cstring>

#include "foundation/VexoLog.h"

namespace VexoSource {

VexoRPC* g_pServiceChannel = nullptr;

namespace {

// The device choice: read only where a sequence takes its handle, so that a choice made while a
// sequence runs never reaches that sequence's requests. 0 until a device has been chosen.
uint32_t g_ChosenSelector = 0;
std::mutex g_SelectorLock;

void WriteU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

// Name field: at most 15 characters and the terminator; the rest of the field is zeroed.
void WriteName(uint8_t* field, const char* name) {
    std::memset(field, 0, kFrameNameSize);
    if (name) std::strncpy(reinterpret_cast<char*>(field), name, kFrameNameSize - 1);
}

}  // namespace

VexoRPC::VexoRPC() { SetThreadName("rpc-receive"); }

VexoRPC::~VexoRPC() {
    Stop();
    m_role = kRoleNone;
    delete m_connection;
    m_connection = nullptr;
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
    if (!Start()) {
        // Without the receive thread no reply would ever be taken: every call would wait out its
        // bound. No channel is better than one that cannot hear.
        VexoLogException(L"RPC client not created: no receive thread");
        m_role = kRoleNone;
        m_connection->Disconnect();
        return false;
    }
    VexoLogDebug(L"RPC client was created");
    return true;
}

int32_t VexoRPC::RegisterHandler(int32_t index, const char* name, VexoRPCHandler handler, uintptr_t context) {
    return m_receiver.RegisterHandler(index, name, handler, context);
}

int32_t VexoRPC::Call(const char* name, const void* data, int32_t length, void* replyBuffer, uint32_t replyCapacity,
                      int32_t peer) {
    (void)peer;  // only a serving side would address a peer
    int32_t result = -1;
    if (length < 0 || length > m_payloadCapacity) return -1;
    if (length > 0 && !data) return -1;

    // Another thread's call may be in flight for up to its whole bound: a thread that must not
    // block that long (the GUI thread) waits its own way.
    std::unique_lock<std::mutex> callGuard(m_callLock, std::defer_lock);
    WaitForTurn([&callGuard] { return callGuard.try_lock(); }, [&callGuard] { callGuard.lock(); });
    WriteName(m_sendFrame, name);
    WriteU32(m_sendFrame + kFrameNameSize, kFrameCall);
    if (length > 0) std::memcpy(m_sendFrame + kFrameHeadSize, data, size_t(length));
    if (m_role != kRoleClient || !m_connection) return -1;
    // A worker whose stop was requested sends nothing more: its owner is closing (the window, the
    // program), and what it would ask can no longer matter. Nor does it reconnect for it.
    if (VexoThread::CurrentStopRequested()) return -1;
    if (m_replyOwed) {
        m_replyOwed = false;
        // The service answers each call once: a reply that came with nobody waiting was the owed
        // one, and the connection is clear again.
        if (m_receiver.RepliesSeen() == m_repliesBeforeOwed && !Reopen()) return -1;
    }

    GuardedReset(m_receiver.Event());
    int32_t waited;
    {
        // The name lets the receive side tell this reply from other frames that share its receive.
        VexoRPCReceiver::SlotGuard slot(m_receiver, replyBuffer, &result, replyCapacity, name);
        // Anything short of the whole frame (0 after the peer went, -1 on a closed socket, a part
        // sent) can bring no reply: fail now rather than wait out the reply bound.
        if (m_connection->Send(m_sendFrame, length + kFrameHeadSize) != length + kFrameHeadSize) {
            m_connection->Disconnect();
            return -1;
        }
        waited = GuardedWait(m_receiver.Event());
    }
    // The slot is clear now: a stray reply during the pause can no longer overwrite this one.
    if (waited != 0 && result == -1 && m_connection->connected == 0) {
        // Woken by the end of the connection (the service went away): the reply cannot come.
        VexoLogInfo(L"RPC %hs: the connection ended before the reply", name ? name : "");
    } else if (waited != 0) {
        VexoThread::SleepCurrent(kPauseAfterReplyMs);
    } else {
        // The reply may still come, on this connection: the next call must not take it for its own.
        // (Counted after the slot was cleared: what arrives from now on finds nobody waiting.)
        m_replyOwed = true;
        m_repliesBeforeOwed = m_receiver.RepliesSeen();
        // A wait ended by the caller's stop request is no failure of the service.
        if (!VexoThread::CurrentStopRequested()) VexoLogException(L"RPC %hs failed", name ? name : "");
    }
    return result;
}

bool VexoRPC::Reopen() {
    // A reply that comes late lands on the old socket, which nobody reads any more.
    VexoLogInfo(L"RPC connection reopened: the last call's reply is still owed");
    return ReplaceConnection(true);
}

bool VexoRPC::Reconnect() {
    std::lock_guard<std::mutex> callGuard(m_callLock);
    if (m_role != kRoleClient || !m_connection) return false;
    if (m_connection->connected != 0) return true;
    // Whatever was owed went with the old connection.
    m_replyOwed = false;
    if (!ReplaceConnection(false)) return false;
    // The caller says that the service is back once it answers: one line for the whole
    // reconnecting.
    VexoLogDebug(L"RPC connection to the service made again");
    return true;
}

bool VexoRPC::ReplaceConnection(bool reportUnreachable) {
    const std::string host = m_connection->PeerHost();
    const int32_t port = m_connection->Port();
    // The receive thread reads the connection: hold it while the socket is replaced.
    Stop();
    m_connection->Disconnect();
    if (m_connection->IsOpen()) m_connection->Close();
    const bool connected = m_connection->Connect(host.c_str(), port, false, reportUnreachable);
    if (!Start()) {
        // Logged by Start. Deaf, the channel could only make the next calls wait out their bounds.
        m_connection->Disconnect();
        return false;
    }
    return connected;
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
        const int32_t n = m_connection->ReceiveMessage(m_receiver.Frame());
        if (m_connection->connected == 0) {
            // The service closed or reset the connection: a call waiting for its reply learns it
            // now rather than when its bound runs out (a sent request raced the end).
            GuardedSignal(m_receiver.Event());
            continue;
        }
        if (n == -1) {
            // Readable, yet nothing came (a socket error other than a reset): pause rather than spin.
            SleepFor(kReceivePollMs);
            continue;
        }
        m_receiver.Dispatch(n, *m_connection);
    }
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

bool ServiceChannelConnected() {
    VexoRPC* channel = g_pServiceChannel;
    return channel && channel->Role() == VexoRPC::kRoleClient && channel->Connection() &&
           channel->Connection()->connected != 0;
}

bool ReconnectServiceChannel() {
    VexoRPC* channel = g_pServiceChannel;
    return channel && channel->Reconnect();
}

void CloseServiceChannel() {
    VexoRPC* channel = g_pServiceChannel;
    g_pServiceChannel = nullptr;
    delete channel;
}

int32_t ReplyOk(int32_t result, uint32_t expectedReplyLength) {
    return ((result == 0 && expectedReplyLength == 0) || (result > 0 && expectedReplyLength > 0)) ? 1 : 0;
}

DeviceHandle ChosenDevice() {
    std::lock_guard<std::mutex> hold(g_SelectorLock);
    return DeviceHandle(g_ChosenSelector);
}

void ChooseDevice(uint32_t selector) {
    std::lock_guard<std::mutex> hold(g_SelectorLock);
    g_ChosenSelector = selector;
}

int32_t SendRequest(const DeviceHandle& device, uint32_t code, void* replyBuffer, int32_t* ok, const void* payload, uint8_t payloadLength,
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
    head.selector = device.Selector();
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

}  // namespace VexoSource
