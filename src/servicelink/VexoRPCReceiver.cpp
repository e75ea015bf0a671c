#include "servicelink/VexoRPCReceiver.h"

#include <cstring>

#include "foundation/VexoTCPManager.h"

namespace VexoSource {

namespace {

uint32_t ReadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void WriteU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

}  // namespace

VexoRPCReceiver::VexoRPCReceiver() { m_event = CreateSyncobj(); }

VexoRPCReceiver::~VexoRPCReceiver() {
    if (m_event) {
        m_event->Close();
        delete m_event;
        m_event = nullptr;
    }
}

VexoRPCReceiver::SlotGuard::SlotGuard(VexoRPCReceiver& receiver, void* buffer, int32_t* result, uint32_t capacity,
                                      const char* name)
    : m_receiver(receiver) {
    std::lock_guard<std::mutex> g(m_receiver.m_slotLock);
    ReplySlot& slot = m_receiver.m_slot;
    slot.buffer = buffer;
    slot.result = result;
    slot.capacity = capacity;
    // As the call's frame carries it: at most 15 characters and the terminator.
    std::memset(slot.name, 0, sizeof slot.name);
    if (name) std::strncpy(slot.name, name, kFrameNameSize - 1);
    slot.answered = false;
}

VexoRPCReceiver::SlotGuard::~SlotGuard() {
    std::lock_guard<std::mutex> g(m_receiver.m_slotLock);
    m_receiver.m_slot = ReplySlot{};
}

int32_t VexoRPCReceiver::RegisterHandler(int32_t index, const char* name, VexoRPCHandler handler,
                                         uintptr_t context) {
    if (index < 0 || index >= kHandlerCount) return -1;
    std::lock_guard<std::mutex> g(m_handlerLock);
    HandlerEntry& entry = m_handlers[index];
    // Name field: at most 15 characters and the terminator; the rest of the field is zeroed.
    std::memset(entry.name, 0, sizeof entry.name);
    if (name) std::strncpy(entry.name, name, kFrameNameSize - 1);
    entry.handler = handler;
    entry.context = context;
    entry.active = 1;
    return index;
}

void VexoRPCReceiver::Dispatch(int32_t received, VexoTCPManager& connection) {
    if (received < kFrameHeadSize || received > kFrameSize) return;
    // The head of a frame that follows another in the same receive: the waiting call's name with
    // its terminator (what the reply carries back), then a call or reply kind. Payloads are
    // records, numbers and device identifiers, which never hold that name and terminator.
    char name[kFrameNameSize] = {};
    {
        std::lock_guard<std::mutex> g(m_slotLock);
        std::memcpy(name, m_slot.name, sizeof name);
    }
    const size_t nameBytes = std::strlen(name) + 1;
    auto startsFrame = [&](int32_t at) {
        if (nameBytes < 2 || std::memcmp(m_frame + at, name, nameBytes) != 0) return false;
        const uint32_t kind = ReadU32(m_frame + at + kFrameNameSize);
        return kind == kFrameCall || kind == kFrameReply;
    };
    int32_t start = 0;
    for (int32_t at = kFrameHeadSize; at + kFrameHeadSize <= received; ++at) {
        if (!startsFrame(at)) continue;
        DispatchFrame(m_frame + start, at - start, connection);
        start = at;
        at += kFrameHeadSize - 1;
    }
    DispatchFrame(m_frame + start, received - start, connection);
}

void VexoRPCReceiver::DispatchFrame(const uint8_t* frame, int32_t length, VexoTCPManager& connection) {
    const uint32_t kind = ReadU32(frame + kFrameNameSize);
    if (kind == kFrameCall)
        HandleCall(frame, length, connection);
    else if (kind == kFrameReply)
        StoreReply(frame, length);
}

void VexoRPCReceiver::StoreReply(const uint8_t* frame, int32_t received) {
    const int32_t length = received - kFrameHeadSize;
    {
        std::lock_guard<std::mutex> g(m_slotLock);
        // Only the first reply: a second one must not change what the woken caller is reading.
        if (m_slot.buffer && m_slot.result && !m_slot.answered && uint32_t(length) <= m_slot.capacity) {
            *m_slot.result = length;
            if (length > 0) std::memcpy(m_slot.buffer, frame + kFrameHeadSize, size_t(length));
            m_slot.answered = true;
        }
    }
    ++m_repliesSeen;
    // Stored (or refused) before the waiter is woken, so it reads a settled result.
    GuardedSignal(m_event);
}

void VexoRPCReceiver::HandleCall(const uint8_t* frame, int32_t received, VexoTCPManager& connection) {
    HandlerEntry entry;
    bool found = false;
    {
        std::lock_guard<std::mutex> g(m_handlerLock);
        for (const HandlerEntry& candidate : m_handlers) {
            if (candidate.active &&
                std::strncmp(candidate.name, reinterpret_cast<const char*>(frame), kFrameNameSize) == 0) {
                entry = candidate;
                found = true;
                break;
            }
        }
    }
    if (!found || !entry.handler) return;
    char callName[kFrameNameSize + 1] = {};
    std::memcpy(callName, frame, kFrameNameSize);
    // Answers use a frame of their own: the send frame belongs to the requesting thread.
    std::memcpy(m_answerFrame, frame, kFrameNameSize);
    WriteU32(m_answerFrame + kFrameNameSize, kFrameReply);
    const int32_t r = entry.handler(frame + kFrameHeadSize, received - kFrameHeadSize,
                                    m_answerFrame + kFrameHeadSize, kFramePayloadCapacity, callName, entry.context);
    if (r >= 0 && r <= kFramePayloadCapacity) connection.SendOrDisconnect(m_answerFrame, r + kFrameHeadSize);
}

}  // namespace VexoSource
