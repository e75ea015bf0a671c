#include "servicelink/ServiceRequests.h"

#include <cstring>

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

void SendResetDevice() {
    uint8_t reply = 0;
    int32_t ok = 0;
    SendRequest(ResetDevice, &reply, &ok, nullptr, 0, 1);
}

}  // namespace VexoSource
