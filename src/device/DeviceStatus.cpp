#include "device/DeviceStatus.h"

#include "device/DeviceRequests.h"
#include "device/MainFrameRules.h"
#include "foundation/VexoLog.h"
#include "servicelink/VexoRPC.h"

namespace VexoSource {

int32_t ReadDeviceList(const DeviceHandle& device, std::vector<VexoWString>& list, bool* answered) {
    uint8_t reply[kDeviceListReplyLength] = {};
    int32_t ok = 0;
    const int32_t length = SendRequest(device, GetDeviceList, reply, &ok, nullptr, 0, sizeof(reply));
    if (answered) *answered = ok != 0;
    if (!ok || length <= 0) return 0;
    return ParseDeviceList(reply, length, list) ? 1 : 0;
}

int32_t ReadDeviceState(const DeviceHandle& device, DeviceInfoRecord& info, uint8_t (&runtimeStatus)[kRuntimeStatusLength],
                        DeviceConfigRecord& config, ReadRule rule) {
    if (!ReadRecord(device, GetDeviceInfo, &info, sizeof info, rule)) {
        VexoLogException(L"Get response failed");
        return 0;
    }
    if (ReadRecord(device, GetRuntimeStatus, runtimeStatus, sizeof runtimeStatus, rule) &&
        ReadRecord(device, GetDeviceConfig, &config, sizeof config, rule))
        return 1;
    VexoLogException(L"Get response failed! ");
    return 0;
}

int32_t ReadDeviceState(const DeviceHandle& device, DeviceState& state, ReadRule rule) {
    return ReadDeviceState(device, state.info, state.runtimeStatus, state.config, rule);
}

bool ReadProductSeries(const DeviceHandle& device, uint8_t versionByte, std::string& series, uint32_t& required) {
    if (versionByte < kProductSeriesVersionByte) return false;
    uint8_t reply[kProductSeriesLength] = {};
    int32_t ok = 0;
    const int32_t length = SendRequest(device, GetProductSeries, reply, &ok, nullptr, 0, sizeof(reply));
    if (!ok || length <= 0) return false;
    return ParseProductSeries(reply, size_t(length), series, required);
}

StartInfoResult ReadStartInfo(const DeviceHandle& device, DeviceInfoRecord& info, std::string& series, uint32_t& required) {
    if (!ReadRecord(device, GetDeviceInfo, &info, sizeof info, ReadRule::AsAnswered)) {
        VexoLogException(L"Get response failed! ");
        return StartInfoResult::NotRead;
    }
    if (info.VersionByte() < kLowestVersionByte) return StartInfoResult::TooOld;
    ReadProductSeries(device, info.VersionByte(), series, required);
    return StartInfoResult::Ready;
}

}  // namespace VexoSource
