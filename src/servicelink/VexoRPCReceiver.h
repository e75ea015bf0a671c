// The receive side of the RPC channel, apart from any socket: the frame one receive fills, the
// reply slot of the one call that waits, the waitable object it sleeps on, the handlers of calls
// from the service, and what a received frame does to them.
//
// Threads: the channel's receive thread fills Frame() and calls Dispatch; the requesting thread
// opens a reply slot (SlotGuard) and waits on Event(). The slot is filled and cleared under a lock
// of its own, so a reply is stored whole or not at all.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "servicelink/VexoSyncobj.h"

namespace VexoSource {

class VexoTCPManager;

// A frame as it lies on the wire.
constexpr int32_t kFrameNameSize = 16;
constexpr int32_t kFrameHeadSize = 20;  // name + kind
constexpr int32_t kFrameSize = 2048;
constexpr int32_t kFramePayloadCapacity = kFrameSize - kFrameHeadSize;  // 2028
constexpr uint32_t kFrameCall = 1;
constexpr uint32_t kFrameReply = 2;

// A call handler: (call payload, its length, output area, output capacity, call name, context)
// -> length of the answer placed in the output area.
using VexoRPCHandler = int32_t (*)(const uint8_t* payload, int32_t length, uint8_t* output, int32_t outputCapacity,
                                   const char* name, uintptr_t context);

class VexoRPCReceiver {
public:
    static constexpr int32_t kHandlerCount = 15;

    // Creates the waitable object (none when it cannot be created: waits then return at once).
    VexoRPCReceiver();
    ~VexoRPCReceiver();
    VexoRPCReceiver(const VexoRPCReceiver&) = delete;
    VexoRPCReceiver& operator=(const VexoRPCReceiver&) = delete;

    // Fills the reply slot before the call is sent (a prompt reply must find it) and clears it
    // however the caller leaves, including a forced thread end that unwinds the caller's stack:
    // the slot points into that stack.
    class SlotGuard {
    public:
        // name: the channel name of the waiting call, which its reply carries back (null: none).
        SlotGuard(VexoRPCReceiver& receiver, void* buffer, int32_t* result, uint32_t capacity,
                  const char* name = nullptr);
        ~SlotGuard();
        SlotGuard(const SlotGuard&) = delete;
        SlotGuard& operator=(const SlotGuard&) = delete;

    private:
        VexoRPCReceiver& m_receiver;
    };

    // The frame a receive fills: its first n bytes are the new frame, the rest keeps what it held.
    uint8_t* Frame() { return m_frame; }
    VexoSyncobj* Event() { return m_event; }

    // How many reply frames have arrived, stored or not (any thread).
    uint32_t RepliesSeen() const { return m_repliesSeen.load(); }

    // Fills handler entry index (0-14); returns index, or -1 outside that range.
    int32_t RegisterHandler(int32_t index, const char* name, VexoRPCHandler handler, uintptr_t context);

    // What the `received` bytes of one receive in Frame() do. Frames carry no length, so a service
    // that writes them faster than they are read hands over several in one receive: a new frame is
    // taken to begin wherever the waiting call's name field and a call or reply kind stand behind
    // a complete frame head. For each frame: the first reply no longer than the slot's capacity is
    // copied into it, and any reply wakes the waiter; a call from the service goes to its handler,
    // whose answer is sent on `connection`; anything else is ignored.
    void Dispatch(int32_t received, VexoTCPManager& connection);

private:
    struct HandlerEntry {
        char name[kFrameNameSize] = {};
        VexoRPCHandler handler = nullptr;
        int32_t active = 0;
        uintptr_t context = 0;
    };
    struct ReplySlot {
        void* buffer = nullptr;
        int32_t* result = nullptr;
        uint32_t capacity = 0;
        char name[kFrameNameSize] = {};  // the waiting call's name field, as sent
        bool answered = false;           // a reply was stored: one call takes one reply
    };

    void DispatchFrame(const uint8_t* frame, int32_t length, VexoTCPManager& connection);
    void StoreReply(const uint8_t* frame, int32_t length);
    void HandleCall(const uint8_t* frame, int32_t length, VexoTCPManager& connection);

    uint8_t m_frame[kFrameSize] = {};        // receive thread
    uint8_t m_answerFrame[kFrameSize] = {};  // receive thread: answers to calls from the service
    std::mutex m_handlerLock;
    HandlerEntry m_handlers[kHandlerCount];
    std::mutex m_slotLock;                   // the receive thread's check-and-store vs fill/clear
    ReplySlot m_slot;
    VexoSyncobj* m_event = nullptr;          // owned
    std::atomic<uint32_t> m_repliesSeen{0};  // written by the receive thread
};

}  // namespace VexoSource
