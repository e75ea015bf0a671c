#include "device/PendingRestore.h"

#include <map>
#include <mutex>

#include "device/DeviceRequests.h"
#include "foundation/VexoLog.h"

namespace VexoSource {

namespace {

std::mutex g_PendingLock;
std::map<uint32_t, CalibrationRecord> g_Pending;  // by selector, under g_PendingLock

}  // namespace

void KeepPendingRestore(const DeviceHandle& device, const CalibrationRecord& record) {
    std::lock_guard<std::mutex> hold(g_PendingLock);
    g_Pending[device.Selector()] = record;
    VexoLogInfo(L"Calibration of device %u kept to be put back once the service answers", device.Selector());
}

bool RestorePending() {
    std::map<uint32_t, CalibrationRecord> pending;
    {
        std::lock_guard<std::mutex> hold(g_PendingLock);
        pending = g_Pending;
    }
    for (const auto& entry : pending) {
        const DeviceHandle device(entry.first);
        if (!WriteWhole(device, SetCalibration, entry.second) || !RequestDeviceReset(device)) continue;
        VexoLogInfo(L"Calibration of device %u put back", entry.first);
        std::lock_guard<std::mutex> hold(g_PendingLock);
        g_Pending.erase(entry.first);
    }
    std::lock_guard<std::mutex> hold(g_PendingLock);
    return g_Pending.empty();
}

bool RestorePendingExists() {
    std::lock_guard<std::mutex> hold(g_PendingLock);
    return !g_Pending.empty();
}

}  // namespace VexoSource
