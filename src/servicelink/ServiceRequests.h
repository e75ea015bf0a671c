// Small helpers around the requests of the touch service.
#pragma once

#include <cstdint>

#include "servicelink/ServiceContract.h"

namespace VexoSource {

// The one process-wide record: payload of SetMultiConfig, payload and reply of GetMultiConfig.
extern MultiConfigRecord g_MultiConfigRecord;

// Sets the item id; with data also the length 40, the mark and the data (at most 36 bytes) at
// offset 12. Everything else keeps what it held. Returns &g_MultiConfigRecord.
MultiConfigRecord* BuildMultiConfigRecord(uint32_t itemId, const void* data, uint32_t dataLength);

// Asks the service to re-initialise the device with its stored settings; the outcome is ignored.
void SendResetDevice();

}  // namespace VexoSource
