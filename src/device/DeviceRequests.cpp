#include "device/DeviceRequests.h"

#include <cstring>

#include "foundation/VexoLog.h"
#include "servicelink/VexoRPC.h"

namespace VexoSource {

bool ReadWholeRecord(const DeviceHandle& device, uint32_t code, void* record, uint32_t size, const void* payload, uint8_t payloadLength) {
    // The payload may be the record itself (GetMultiConfig asks with the record it gets back).
    uint8_t ask[kMaxRequestPayload];
    if (payloadLength > 0) std::memcpy(ask, payload, payloadLength);
    std::memset(record, 0, size);
    int32_t ok = 0;
    const int32_t length = SendRequest(device, code, record, &ok, payloadLength > 0 ? ask : nullptr, payloadLength, size);
    if (!ok) return false;
    if (length != int32_t(size)) {
        VexoLogException(L"Short reply to request %u: %i of %u bytes", code, length, size);
        std::memset(record, 0, size);
        return false;
    }
    return true;
}

bool ReadRecord(const DeviceHandle& device, uint32_t code, void* record, uint32_t size, ReadRule rule) {
    if (rule == ReadRule::Whole) return ReadWholeRecord(device, code, record, size);
    int32_t ok = 0;
    SendRequest(device, code, record, &ok, nullptr, 0, size);
    return ok != 0;
}

bool ReadMultiConfigItem(const DeviceHandle& device, uint32_t itemId, MultiConfigRecord& record) {
    std::memset(&record, 0, sizeof record);
    record.itemId = itemId;
    const bool whole = ReadWholeRecord(device, GetMultiConfig, &record, sizeof record, &record, uint8_t(sizeof record));
    if (!whole) record.itemId = itemId;  // the failed read cleared it
    return whole;
}

bool WriteRecordBytes(const DeviceHandle& device, uint32_t code, const void* record, uint8_t size) {
    uint8_t answer = 0;
    int32_t ok = 0;
    SendRequest(device, code, &answer, &ok, record, size, 1);
    return ok != 0;
}

AccessState QueryAccess(const DeviceHandle& device) {
    uint8_t state = 0;
    int32_t ok = 0;
    SendRequest(device, GetAccessState, &state, &ok, nullptr, 0, 1);
    if (!ok) return AccessState::NoAnswer;
    if (state != 0) return AccessState::Ready;
    VexoLogDebug(L"Current multi-access not available");
    return AccessState::Busy;
}

bool RequestDeviceReset(const DeviceHandle& device) {
    uint8_t reply = 0;
    int32_t ok = 0;
    SendRequest(device, ResetDevice, &reply, &ok, nullptr, 0, 1);
    return ok != 0;
}

}  // namespace VexoSource
