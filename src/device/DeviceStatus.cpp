#include "device/DeviceStatus.h"

#include "device/DeviceRequests.h"
#include "device/MainFrameRules.h"
#include "foundation/VexoLog.h"
#include "servicelink/VexoRPC.h"

namespace VexoSource {

int32_t ReadDeviceList(std::vector<VexoWString>& list, bool* answered) {
    uint8_t reply[kDeviceListReplyLength] = {};
    int32_t ok = 0;
    const int32_t length = SendRequest(GetDeviceList, reply, &ok, nullptr, 0, sizeof(reply));
    if (answered) *answered = ok != 0;
    if (!ok || length <= 0) return 0;
    return ParseDeviceList(reply, length, list) ? 1 : 0;
}

int32_t ReadDeviceState(DeviceState& state) {
    if (!ReadWhole(GetDeviceInfo, state.info)) {
        VexoLogException(L"Get response failed");
        return 0;
    }
    if (ReadWholeRecord(GetRuntimeStatus, state.runtimeStatus, sizeof state.runtimeStatus) &&
        ReadWhole(GetDeviceConfig, state.config))
        return 1;
    VexoLogException(L"Get response failed! ");
    return 0;
}

bool ReadProductSeries(uint8_t versionByte, std::string& series, uint32_t& required) {
    if (versionByte < kProductSeriesVersionByte) return false;
    uint8_t reply[kProductSeriesLength] = {};
    int32_t ok = 0;
    const int32_t length = SendRequest(GetProductSeries, reply, &ok, nullptr, 0, sizeof(reply));
    if (!ok || length <= 0) return false;
    return ParseProductSeries(reply, size_t(length), series, required);
}

}  // namespace VexoSource
