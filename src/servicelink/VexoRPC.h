// The RPC channel to the touch service and the single request entry point, SendRequest.
//
// A frame is a 16-byte zero-terminated channel name, a little-endian u32 kind (1 call, 2 reply)
// and up to 2028 payload bytes, written with one send and taken as whatever one receive returns.
// Calls carry no identifier: a reply belongs to the one call that is waiting when it arrives.
// A call that got no reply in time leaves that reply owed on the connection, where it could only
// be taken for the next call's answer; unless it has come meanwhile (and was dropped), the next
// call therefore opens a fresh connection first.
//
// Threads: the requesting thread (GUI or the main window's watch thread) sends and waits on the
// channel's VexoSyncobj; the channel's own receive thread (Run) sleeps in poll() on the socket and
// its stop event, stores each reply in the waiting caller's reply slot and signals. At most one request is in flight; calls are serialised here too.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "foundation/VexoThread.h"
#include "servicelink/DeviceHandle.h"
#include "servicelink/ServiceContract.h"
#include "servicelink/VexoRPCReceiver.h"
#include "servicelink/VexoSyncobj.h"
#include "foundation/VexoTCPManager.h"

namespace VexoSource {

constexpr const char* kServiceHost = "127.0.0.1";
constexpr int kServicePort = 28875;
constexpr const char* kServiceChannelName = "FendrelRPC";

#pragma pack(push, 1)
// Heads the payload of every call made through SendRequest.
struct RequestHead {
    uint32_t selector;             // the sequence's DeviceHandle
    uint32_t code;                 // request code
    uint32_t expectedReplyLength;  // the reply must not be longer
    uint32_t reserved;             // always 0
};
#pragma pack(pop)
static_assert(sizeof(RequestHead) == 16, "RequestHead is 16 bytes on the wire");
constexpr int32_t kMaxRequestPayload = 255;

class VexoRPC : public VexoThread {
public:
    static constexpr int32_t kRoleNone = 0;
    static constexpr int32_t kRoleClient = 2;
    static constexpr int32_t kHandlerCount = VexoRPCReceiver::kHandlerCount;
    // Pause after a receive or poll that failed without a reset, so that a broken socket is not
    // spun on; also the wait's time-out should the stop event be missing.
    static constexpr uint32_t kReceivePollMs = 8;
    static constexpr uint32_t kPauseAfterReplyMs = 8;

    VexoRPC();
    ~VexoRPC() override;

    // Connects (non-blocking after connect), sets role 2 and starts the receive thread.
    bool Connect(const char* host, int32_t port);

    // The receive loop, on the channel's thread.
    void Run() override;

    // Sends one call frame and waits up to 3000 ms for its reply. Returns the reply length
    // (copied into replyBuffer) or -1. peer is unused by the client role.
    virtual int32_t Call(const char* name, const void* data, int32_t length, void* replyBuffer,
                         uint32_t replyCapacity, int32_t peer);

    // Fills handler entry index (0-14); returns index, or -1 outside that range.
    virtual int32_t RegisterHandler(int32_t index, const char* name, VexoRPCHandler handler, uintptr_t context);

    // Connects again to the same peer after the connection was lost (the service closed or reset
    // it, or went away): replaces the socket as the reconnect after a late reply does. True when
    // connected (with the receive thread running); false, still disconnected, otherwise. Quiet
    // about a service that does not take the connection: it is tried every few hundred
    // milliseconds while it restarts, and the caller says how the reconnecting ended.
    bool Reconnect();

    VexoTCPManager* Connection() { return m_connection; }
    int32_t Role() const { return m_role.load(); }

private:
    // Replaces the connection by a fresh one to the same peer (requesting thread, m_callLock held).
    bool Reopen();
    bool ReplaceConnection(bool reportUnreachable);

    VexoTCPManager* m_connection = nullptr;  // owned; replaced only while the receive thread is stopped
    std::atomic<int32_t> m_role{kRoleNone};
    int32_t m_payloadCapacity = kFramePayloadCapacity;
    std::mutex m_callLock;                   // one call at a time: send frame, reply slot, waitable
    bool m_replyOwed = false;                // under m_callLock: the last call's reply may still come
    uint32_t m_repliesBeforeOwed = 0;        // under m_callLock: replies seen when it became owed
    uint8_t m_sendFrame[kFrameSize] = {};    // requesting thread, under m_callLock
    VexoRPCReceiver m_receiver;              // receive frame, reply slot, handlers, waitable object
};

// Process-wide service link state.
extern VexoRPC* g_pServiceChannel;

// Creates the channel to 127.0.0.1:28875. False, doing nothing, when a channel exists already;
// false when the service does not answer (the channel is then destroyed again).
bool OpenServiceChannel();
// As OpenServiceChannel with another address (tests, tools).
bool OpenServiceChannelAt(const char* host, int port);
// Stops the receive thread and destroys the channel (program exit, tests).
void CloseServiceChannel();
// True when the channel exists and its connection is up (a lost service shows here at once: a
// closed or reset connection, a refused reconnect).
bool ServiceChannelConnected();
// Tries once to connect the channel again to its service (VexoRPC::Reconnect, quiet about a
// refused connection); false without a
// channel or when the service does not take the connection.
bool ReconnectServiceChannel();

// The one way to talk to the service: sends code with the device's selector and
// expectedReplyLength in the head, then payloadLength bytes of payload, and waits for the reply. ok is 1 when a reply of
// at least one byte arrived (or none was expected and none came). Returns the reply length, 0
// when there is no connection (nothing sent), or -1.
int32_t SendRequest(const DeviceHandle& device, uint32_t code, void* replyBuffer, int32_t* ok, const void* payload, uint8_t payloadLength,
                    uint32_t expectedReplyLength);

// SendRequest's ok for a call's result: 1 when a reply of at least one byte came, or none was
// expected and none came.
int32_t ReplyOk(int32_t result, uint32_t expectedReplyLength);

// The selector of a device identifier: the sum of the bytes read from its hexadecimal pairs.
// True, with selector set, when exactly 8 bytes were produced; selector untouched otherwise.
bool DeviceSelectorFromIdentifier(const std::string& id, uint32_t& selector);

}  // namespace VexoSource
