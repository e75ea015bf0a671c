// Writing the touch mode: multi-touch or mouse.
#pragma once

#include "servicelink/ServiceContract.h"
#include "servicelink/DeviceHandle.h"

namespace VexoSource {

// GetDeviceConfig into config, exactly one of the two mode flags set, SetDeviceConfig. Logs
// "Get response failed! " and returns false at the first request that fails (a short read
// included); nothing is written after a failed read. The caller resets the device only after
// success.
bool WriteTouchMode(const DeviceHandle& device, bool multiTouch, DeviceConfigRecord& config);

// The mode a device configuration says it works in.
enum class TouchModeFlags { MultiTouch, Mouse, Both, None };
TouchModeFlags ModeOf(const DeviceConfigRecord& config);
// "multitouch", "mouse", "both" or "none".
const char* ModeName(const DeviceConfigRecord& config);

}  // namespace VexoSource
