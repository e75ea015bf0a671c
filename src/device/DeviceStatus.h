// Reading what the main window shows: the device list, the chosen device's state and, at start,
// its version and product series.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/DeviceRequests.h"
#include "foundation/VexoWString.h"
#include "servicelink/ServiceContract.h"
#include "servicelink/DeviceHandle.h"

namespace VexoSource {

// GetDeviceList. 1 with list replaced; 0 (list untouched) when the request failed or the reply
// does not end in NUL. answered (optional) tells whether the service answered at all.
int32_t ReadDeviceList(const DeviceHandle& device, std::vector<VexoWString>& list, bool* answered = nullptr);

// The records of one status reading.
struct DeviceState {
    DeviceInfoRecord info{};
    uint8_t runtimeStatus[kRuntimeStatusLength] = {};
    DeviceConfigRecord config{};
};

// GetDeviceInfo, GetRuntimeStatus and GetDeviceConfig, stopping at the first that fails; 1 when all
// three were read under rule. Logs "Get response failed" (first request) or "Get response failed! ".
// Records read before the failing request keep their new content. The window reads as answered
// into the records it shows (a short reply leaves the rest of the last reading); a report that
// others act on (the command-line status) takes whole records only.
int32_t ReadDeviceState(const DeviceHandle& device, DeviceInfoRecord& info, uint8_t (&runtimeStatus)[kRuntimeStatusLength],
                        DeviceConfigRecord& config, ReadRule rule);
int32_t ReadDeviceState(const DeviceHandle& device, DeviceState& state, ReadRule rule = ReadRule::Whole);

// GetProductSeries, sent only for a version byte of 26 or more (older devices do not know it).
// True when it was sent and answered; series and required are then updated as the reply says.
bool ReadProductSeries(const DeviceHandle& device, uint8_t versionByte, std::string& series, uint32_t& required);

enum class StartInfoResult {
    Ready,     // the device is one the program works with
    NotRead,   // GetDeviceInfo was not answered (logged "Get response failed! ")
    TooOld,    // its version byte is below kLowestVersionByte
};

// The check at start: GetDeviceInfo into info (as answered), the version byte against
// kLowestVersionByte, then ReadProductSeries into series and required.
StartInfoResult ReadStartInfo(const DeviceHandle& device, DeviceInfoRecord& info, std::string& series, uint32_t& required);

// The version byte below which the program does not work with a device (2.0).
constexpr uint8_t kLowestVersionByte = 20;
// The version byte from which a device reports its product series (2.6).
constexpr uint8_t kProductSeriesVersionByte = 26;

}  // namespace VexoSource
