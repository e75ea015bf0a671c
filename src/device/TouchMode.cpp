#include "device/TouchMode.h"

#include "device/DeviceRequests.h"
#include "device/FactoryRules.h"
#include "foundation/VexoLog.h"

namespace VexoSource {

bool WriteTouchMode(const DeviceHandle& device, bool multiTouch, DeviceConfigRecord& config) {
    if (!ReadWhole(device, GetDeviceConfig, config)) {
        VexoLogException(L"Get response failed! ");
        return false;
    }
    SetTouchMode(config, multiTouch);
    if (!WriteWhole(device, SetDeviceConfig, config)) {
        VexoLogException(L"Get response failed! ");
        return false;
    }
    return true;
}

TouchModeFlags ModeOf(const DeviceConfigRecord& config) {
    const bool multi = config.multiTouchMode != 0, mouse = config.mouseMode != 0;
    if (multi && mouse) return TouchModeFlags::Both;
    if (multi) return TouchModeFlags::MultiTouch;
    if (mouse) return TouchModeFlags::Mouse;
    return TouchModeFlags::None;
}

const char* ModeName(const DeviceConfigRecord& config) {
    switch (ModeOf(config)) {
        case TouchModeFlags::MultiTouch: return "multitouch";
        case TouchModeFlags::Mouse: return "mouse";
        case TouchModeFlags::Both: return "both";
        case TouchModeFlags::None: break;
    }
    return "none";
}

}  // namespace VexoSource
