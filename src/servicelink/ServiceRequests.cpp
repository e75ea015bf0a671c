#include "servicelink/ServiceRequests.h"

#include <cstring>

#include "foundation/VexoLog.h"
#include "servicelink/VexoRPC.h"

namespace VexoSource {

MultiConfigRecord g_MultiConfigRecord = {};

MultiConfigRecord* BuildMultiConfigRecord(uint32_t itemId, const void* data, uint32_t dataLength) {
    g_MultiConfigRecord.itemId = itemId;
    if (data) {
        g_MultiConfigRecord.length = uint32_t(sizeof g_MultiConfigRecord - 8);  // 40
        g_MultiConfigRecord.mark = kMultiConfigMark;
        // The record has room for 36 data bytes; a longer request must not run past it.
        const uint32_t n = dataLength < sizeof g_MultiConfigRecord.data ? dataLength : uint32_t(sizeof g_MultiConfigRecord.data);
        std::memcpy(g_MultiConfigRecord.data, data, n);
    }
    return &g_MultiConfigRecord;
}

namespace {

// The request of RequestWholeRecord, with the payload given; `record` is cleared by the caller.
int32_t RequestWhole(uint32_t code, void* record, uint32_t size, const void* payload, uint8_t payloadLength) {
    int32_t ok = 0;
    const int32_t got = SendRequest(code, record, &ok, payload, payloadLength, size);
    if (!ok) return 0;
    if (got != int32_t(size)) {
        VexoLogException(L"Short reply to request %u: %i of %u bytes", code, got, size);
        return 0;
    }
    return 1;
}

}  // namespace

int32_t RequestWholeRecord(uint32_t code, void* record, uint32_t size) {
    std::memset(record, 0, size);
    const int32_t whole = RequestWhole(code, record, size, nullptr, 0);
    if (!whole) std::memset(record, 0, size);
    return whole;
}

int32_t RequestMultiConfigItem(uint32_t itemId) {
    MultiConfigRecord& record = g_MultiConfigRecord;
    std::memset(&record, 0, sizeof record);
    record.itemId = itemId;
    const int32_t whole = RequestWhole(GetMultiConfig, &record, sizeof record, &record, uint8_t(sizeof record));
    if (!whole) {
        std::memset(&record, 0, sizeof record);
        record.itemId = itemId;
    }
    return whole;
}

void SendResetDevice() {
    uint8_t reply = 0;
    int32_t ok = 0;
    SendRequest(ResetDevice, &reply, &ok, nullptr, 0, 1);
}

}  // namespace VexoSource
