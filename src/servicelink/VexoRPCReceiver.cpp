#include "servicelink/VexoRPCReceiver.h"

#include <cstring>

#include "servicelink/VexoTCPManager.h"

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

VexoRPCReceiver::SlotGuard::SlotGuard(VexoRPCReceiver& receiver, void* buffer, int32_t* result, uint32_t capacity)
    : m_receiver(receiver) {
    std::lock_guard<std::mutex> g(m_receiver.m_slotLock);
    m_receiver.m_slot.buffer = buffer;
    m_receiver.m_slot.result = result;
    m_receiver.m_slot.capacity = capacity;
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
    const uint32_t kind = ReadU32(m_frame + kFrameNameSize);
    if (kind == kFrameCall)
        HandleCall(received, connection);
    else if (kind == kFrameReply)
        StoreReply(received);
}

void VexoRPCReceiver::StoreReply(int32_t received) {
    const int32_t length = received - kFrameHeadSize;
    {
        std::lock_guard<std::mutex> g(m_slotLock);
        if (m_slot.buffer && m_slot.result && uint32_t(length) <= m_slot.capacity) {
            *m_slot.result = length;
            if (length > 0) std::memcpy(m_slot.buffer, m_frame + kFrameHeadSize, size_t(length));
        }
    }
    // Stored (or refused) before the waiter is woken, so it reads a settled result.
    GuardedSignal(m_event);
}

void VexoRPCReceiver::HandleCall(int32_t received, VexoTCPManager& connection) {
    HandlerEntry entry;
    bool found = false;
    {
        std::lock_guard<std::mutex> g(m_handlerLock);
        for (const HandlerEntry& candidate : m_handlers) {
            if (candidate.active &&
                std::strncmp(candidate.name, reinterpret_cast<const char*>(m_frame), kFrameNameSize) == 0) {
                entry = candidate;
                found = true;
                break;
            }
        }
    }
    if (!found || !entry.handler) return;
    char callName[kFrameNameSize + 1] = {};
    std::memcpy(callName, m_frame, kFrameNameSize);
    // Answers use a frame of their own: the send frame belongs to the requesting thread.
    std::memcpy(m_answerFrame, m_frame, kFrameNameSize);
    WriteU32(m_answerFrame + kFrameNameSize, kFrameReply);
    const int32_t r = entry.handler(m_frame + kFrameHeadSize, received - kFrameHeadSize,
                                    m_answerFrame + kFrameHeadSize, kFramePayloadCapacity, callName, entry.context);
    if (r >= 0 && r <= kFramePayloadCapacity) connection.SendOrDisconnect(m_answerFrame, r + kFrameHeadSize);
}

}  // namespace VexoSource
