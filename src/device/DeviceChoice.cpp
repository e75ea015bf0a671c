#include "device/DeviceChoice.h"

#include "servicelink/VexoRPC.h"

namespace VexoSource {

bool AdoptDevice(const std::string& identifier, std::string* chosen) {
    if (chosen) *chosen = identifier;
    uint32_t selector = 0;
    if (!DeviceSelectorFromIdentifier(identifier, selector)) return false;
    ChooseDevice(selector);
    return true;
}

DeviceHandle DeviceOf(const std::string& identifier) {
    uint32_t selector = 0;
    if (!DeviceSelectorFromIdentifier(identifier, selector)) selector = 0;
    return DeviceHandle(selector);
}

int FindDevice(const std::vector<VexoWString>& devices, const std::string& wanted) {
    if (devices.empty()) return -1;
    if (wanted.empty()) return 0;
    for (size_t i = 0; i < devices.size(); ++i) {
        VexoWString probe(devices[i]);
        probe.ignoreCase = 1;
        if (probe == Widen(wanted)) return int(i);
    }
    return -1;
}

std::vector<std::string> DeviceNames(const std::vector<VexoWString>& devices) {
    std::vector<std::string> names;
    for (const VexoWString& d : devices) names.push_back(ToNarrow(d.str));
    return names;
}

bool SameDevice(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ToLower(Widen(a)) == ToLower(Widen(b));
}

}  // namespace VexoSource
