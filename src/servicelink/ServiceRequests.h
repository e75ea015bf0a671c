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

// Reads a record that is written back later or whose fields are trusted. The record is cleared
// first, and a reply shorter than the record counts as no reply (logged at Exception): its bytes
// would otherwise sit beside what an earlier request left there and be sent back to the device.
// The record is cleared again after a short reply. 1 when the whole record arrived, else 0.
int32_t RequestWholeRecord(uint32_t code, void* record, uint32_t size);

// GetMultiConfig of one item into g_MultiConfigRecord, under the same rule: the record is cleared
// but for the item id (the request's payload), and only a whole 48-byte reply counts.
int32_t RequestMultiConfigItem(uint32_t itemId);

// Asks the service to re-initialise the device with its stored settings; the outcome is ignored.
void SendResetDevice();

}  // namespace VexoSource
