// The request steps that every device operation is made of: a whole read of a record, a write, the
// access question and the reset. No wx, no locks: the caller serialises requests (the window holds
// its request lock around a sequence; the command-line program has one thread). Every step takes
// the handle of the device its sequence began on.
#pragma once

#include <cstdint>

#include "servicelink/DeviceHandle.h"
#include "servicelink/ServiceContract.h"

namespace VexoSource {

// Reads a fixed-size record into `record` (size bytes, cleared first). Only a reply of exactly
// size bytes counts: a shorter one would leave bytes of an earlier request in a record that is
// later trusted or written back, so it is logged and taken as no reply. payload (optional) is
// sent behind the request head, as GetMultiConfig needs. False when the record was not read.
bool ReadWholeRecord(const DeviceHandle& device, uint32_t code, void* record, uint32_t size, const void* payload = nullptr,
                     uint8_t payloadLength = 0);

template <typename R>
bool ReadWhole(const DeviceHandle& device, uint32_t code, R& record) {
    return ReadWholeRecord(device, code, &record, sizeof record);
}

// How a sequence takes a reply shorter than its record.
enum class ReadRule {
    Whole,       // only the whole record counts (ReadWholeRecord): records written back or trusted
    AsAnswered,  // any answer counts, into the record as it stands: readings that are only shown
};

// A read without payload under rule: ReadWholeRecord, or one request straight into the record
// (what the reply does not cover keeps its content). True when it counted as answered.
bool ReadRecord(const DeviceHandle& device, uint32_t code, void* record, uint32_t size, ReadRule rule);

// GetMultiConfig of one item into record, asked with the record itself as payload: cleared but for
// the item id, so that no byte of another item is sent or taken for this one's. Only a whole
// 48-byte reply counts; after any other the record is cleared again but for the item id.
bool ReadMultiConfigItem(const DeviceHandle& device, uint32_t itemId, MultiConfigRecord& record);

// Sends a record with a one-byte reply; true when the service answered.
bool WriteRecordBytes(const DeviceHandle& device, uint32_t code, const void* record, uint8_t size);

template <typename R>
bool WriteWhole(const DeviceHandle& device, uint32_t code, const R& record) {
    static_assert(sizeof(R) <= 255, "a request payload fits in one byte's length");
    return WriteRecordBytes(device, code, &record, uint8_t(sizeof record));
}

// What GetAccessState says about the chosen device.
enum class AccessState {
    Ready,     // the device may be used now
    Busy,      // the service answered 0: the device is being reset ("Current multi-access not available")
    NoAnswer,  // the service did not answer
};
AccessState QueryAccess(const DeviceHandle& device);

// ResetDevice: the service re-initialises the device with its stored settings. True when it answered.
bool RequestDeviceReset(const DeviceHandle& device);

}  // namespace VexoSource
