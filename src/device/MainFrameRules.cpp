#include "device/MainFrameRules.h"

#include <cstdlib>
#include <cstring>

namespace VexoSource {

uint32_t ParseConfigVersion(const std::string& text) {
    const std::vector<std::string> fields = Split(text, ".", true, "");
    if (fields.size() < 2) return 0;
    const long major = std::atol(fields[0].c_str());
    const long minor = std::atol(fields[1].c_str());
    long version = 0;
    // An absurd version text must not overflow: past the range it counts as the newest (or, below
    // it, the oldest) version there can be.
    if (__builtin_mul_overflow(major, 10L, &version) || __builtin_add_overflow(version, minor, &version))
        return major < 0 ? 0u : 0xFFFFFFFFu;
    return static_cast<uint32_t>(version);
}

bool ParseDeviceList(const uint8_t* reply, int32_t length, std::vector<VexoWString>& list) {
    if (!reply || length <= 0 || reply[length - 1] != 0) return false;
    const std::string text(reinterpret_cast<const char*>(reply));  // ends at the first NUL, within length
    list = Split(Widen(text), u":", true, u"");
    return true;
}

ChoiceEdit PlanChoiceEdit(const std::vector<std::u16string>& items, const std::u16string& current,
                          const std::vector<VexoWString>& devices) {
    ChoiceEdit edit;
    std::vector<VexoWString> fresh = devices;
    size_t removed = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const std::u16string& t = items[i];
        bool kept = false;
        for (auto it = fresh.begin(); it != fresh.end(); ++it) {
            VexoWString probe(*it);
            probe.ignoreCase = 1;
            if (probe == t) {
                fresh.erase(it);
                kept = true;
                break;
            }
        }
        if (kept) continue;
        if (t == current) edit.currentGone = true;
        edit.deletions.push_back(i - removed);
        ++removed;
    }
    for (const VexoWString& id : fresh) edit.appends.push_back(id.str);
    return edit;
}

std::u16string TouchPointsText(const RuntimeStatusReply& runtimeStatus) {
    return FormatText(L"%d", static_cast<int32_t>(RuntimeTouches(runtimeStatus)));
}

std::u16string ScreenSizeNumber(const DeviceInfoRecord& info, const std::string& productSeries) {
    // A camera frame reports no size of its own: it is shown as 55 inches, without changing the
    // record the device sent.
    const int32_t inches = productSeries == "camera" ? 55 : static_cast<int32_t>(info.ScreenInches());
    return FormatText(L"%d", inches);
}

std::u16string FirmwareText(uint8_t startVersionByte, uint8_t currentVersionByte) {
    if (startVersionByte < 2) return u"1.0";
    return FormatText(L"%d.%d", currentVersionByte / 10, currentVersionByte % 10);
}

std::string ServiceModeKey(uint8_t mode) {
    if (mode == kRunModeRunning) return "Running";
    if (mode == kRunModeHardware) return "Hardware_Mode";
    return std::string();
}

bool ParseProductSeries(const uint8_t* reply, size_t length, std::string& series, uint32_t& required) {
    if (!reply || length < 4) return false;
    uint32_t value = 0;
    std::memcpy(&value, reply, 4);
    const char* text = reinterpret_cast<const char*>(reply + 4);
    const size_t textLength = strnlen(text, length - 4);  // the reply need not hold a NUL
    // The first field that is not empty.
    const std::vector<std::string> fields = Split(std::string(text, textLength), ":", true, "");
    if (!fields.empty()) series = fields.front();
    required = value;
    return true;
}

uint32_t WatchWaitMs(uint32_t now, uint32_t passStart, bool firstPass) {
    if (firstPass) return 0;
    const uint32_t elapsed = now - passStart;
    return elapsed > kWatchPassMs ? 0 : kWatchPassMs + 1 - elapsed;
}

bool OrientationCheckDue(uint32_t now, uint32_t lastCheck, bool firstCheck) {
    return firstCheck || now - lastCheck >= kOrientationCheckMs;
}

OrientationAction PlanOrientation(const MultiConfigRecord& read, uint32_t displayOrientation,
                                  MultiConfigRecord& out) {
    out = read;
    const uint32_t itemLength = read.DataWord(kOrientationLengthWord);
    const uint32_t stored = read.DataWord(kOrientationValueWord);
    out.itemId = kOrientationItem;
    out.length = kMultiConfigFollowing;
    out.mark = kMultiConfigMark;
    out.SetDataWord(kOrientationLengthWord, kOrientationItemLength);
    if (read.Stored() && itemLength == kOrientationItemLength) {
        if (stored == displayOrientation) return OrientationAction::None;
        out.SetDataWord(kOrientationValueWord, displayOrientation);
        return OrientationAction::WriteDisplay;
    }
    // No valid item yet: write orientation 0 with zeroed data (offsets 16 to 39); the last eight
    // bytes stay as read. The display's value follows at the next check.
    std::memset(out.data + 4 * kOrientationValueWord, 0, 24);
    return OrientationAction::WriteDefault;
}

}  // namespace VexoSource
