#include "cli/CliReport.h"

#include <nlohmann/json.hpp>

#include "device/AdvSettingRules.h"
#include "device/MainFrameRules.h"
#include "device/ProfileDocument.h"
#include "device/TouchMode.h"
#include "foundation/VexoWString.h"

namespace QlnCli {

using namespace VexoSource;
// Keys in the order a person reads them.
using json = nlohmann::ordered_json;

namespace {

std::string RunModeName(uint8_t mode) {
    const std::string key = ServiceModeKey(mode);
    if (key == "Running") return "running";
    if (key == "Hardware_Mode") return "hardware";
    return "unknown";
}

std::string Narrow(const std::u16string& text) { return ToNarrow(text); }

// The information fields as the window shows them.
struct Fields {
    std::string touches, inches, firmware, runMode, mode;
};

Fields FieldsOf(const StatusReport& r) {
    Fields f;
    f.touches = Narrow(TouchPointsText(r.state.runtimeStatus));
    f.inches = Narrow(ScreenSizeNumber(r.state.info, r.series));
    f.firmware = Narrow(FirmwareText(r.state.info.VersionByte(), r.state.info.VersionByte()));
    f.runMode = RunModeName(RuntimeRunMode(r.state.runtimeStatus));
    f.mode = ModeName(r.state.config);
    return f;
}

std::string Line(const char* name, const std::string& value) {
    std::string line = name;
    line += ':';
    line.append(line.size() < 14 ? 14 - line.size() : 1, ' ');
    return line + value + "\n";
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& i : items) text += (text.empty() ? "" : " ") + i;
    return text;
}

std::string OnOff(bool on) { return on ? "on" : "off"; }

AdvSettingPositions Shown(const AdvancedSettings& s) { return ClampToSliders(s.positions); }

}  // namespace

std::string StatusText(const StatusReport& r) {
    std::string text = Line("devices", Joined(r.devices)) + Line("device", r.device);
    if (r.busy) return text + Line("status", "busy (the device is being reset)");
    const Fields f = FieldsOf(r);
    text += Line("type", r.series);
    text += Line("touches", f.touches);
    text += Line("screen size", f.inches + " inches");
    text += Line("firmware", f.firmware);
    text += Line("status", "ready");
    text += Line("run mode", f.runMode);
    text += Line("mode", f.mode + " (mouse flag " + std::to_string(uint32_t{r.state.config.mouseMode}) +
                             ", multi-touch flag " + std::to_string(uint32_t{r.state.config.multiTouchMode}) + ")");
    return text;
}

std::string StatusJson(const StatusReport& r) {
    json j;
    j["devices"] = r.devices;
    j["device"] = r.device;
    j["status"] = r.busy ? "busy" : "ready";
    if (!r.busy) {
        const Fields f = FieldsOf(r);
        j["type"] = r.series;
        j["required_configuration_version"] = r.requiredConfigVersion;
        j["touches"] = RuntimeTouches(r.state.runtimeStatus);
        j["screen_inches"] = std::stoi(f.inches);
        j["firmware"] = f.firmware;
        j["run_mode"] = f.runMode;
        j["mode"] = f.mode;
        j["mode_flags"] = {{"mouse", uint32_t{r.state.config.mouseMode}},
                           {"multitouch", uint32_t{r.state.config.multiTouchMode}}};
    }
    return j.dump(2) + "\n";
}

std::string DevicesText(const std::vector<std::string>& devices) {
    std::string text;
    for (const std::string& d : devices) text += d + "\n";
    return text;
}

std::string DevicesJson(const std::vector<std::string>& devices) { return json(devices).dump(2) + "\n"; }

std::string AdvancedText(const AdvancedSettings& s) {
    const AdvSettingPositions p = Shown(s);
    std::string text;
    text += "right-click simulation: " + OnOff(p.rightClick) + "\n";
    text += "pen simulation:         " + OnOff(s.pen != 0) +
            (s.penState == PenItemState::Stored ? "" : " (not stored on the device)") + "\n";
    text += "right-click duration:   " + std::to_string(p.rClickDelay) + " (" +
            std::to_string(uint32_t{s.effects.msRClickDelay}) + " ms)\n";
    text += "double-click speed:     " + std::to_string(p.dClickDelay) + " (" +
            std::to_string(uint32_t{s.effects.msDClickDelay}) + " ms)\n";
    text += "click range:            " + std::to_string(p.clickRange) + "\n";
    text += "smoothing:              " + std::to_string(p.smooth) + "\n";
    return text;
}

namespace {

// The settings whose stored value is not what their shown position writes (outside the slider,
// between two positions, a flag other than 0 or 1): writing the shown value would change them.
json OffPosition(const EffectsRecord& e) {
    const AdvSettingPositions p = ClampToSliders(PositionsFromEffects(e));
    const float range = e.msRDClickRange;
    json names = json::array();
    if (uint32_t{e.rightClick} != (p.rightClick ? 1u : 0u)) names.push_back("right_click");
    if (uint32_t{e.msRClickDelay} != PositionToRClickDelay(p.rClickDelay)) names.push_back("right_click_duration");
    if (uint32_t{e.msDClickDelay} != PositionToDClickDelay(p.dClickDelay)) names.push_back("double_click_speed");
    if (!(range == PositionToClickRange(p.clickRange))) names.push_back("click_range");
    if (uint32_t{e.smoothValue} != PositionToSmooth(p.smooth)) names.push_back("smoothing");
    return names;
}

// The settings in advanced set's units, with the mode.
json SettingsObject(const DeviceConfigRecord& config, const EffectsRecord& effects, bool pen) {
    const AdvSettingPositions p = ClampToSliders(PositionsFromEffects(effects));
    json j;
    j["mode"] = ModeName(config);
    j["right_click"] = p.rightClick;
    j["right_click_duration"] = p.rClickDelay;
    j["double_click_speed"] = p.dClickDelay;
    j["click_range"] = p.clickRange;
    j["smoothing"] = p.smooth;
    j["pen"] = pen;
    return j;
}

json DifferingRecords(const ProfileSettingsComparison& c) {
    json names = json::array();
    if (c.modeDiffers) names.push_back("touch mode");
    if (c.effectsDiffer) names.push_back("effects");
    if (c.penDiffers) names.push_back("pen simulation item");
    return names;
}

}  // namespace

std::string AdvancedJson(const AdvancedSettings& s) {
    const AdvSettingPositions p = Shown(s);
    json j;
    j["right_click"] = p.rightClick;
    j["pen"] = s.pen != 0;
    j["pen_stored"] = s.penState == PenItemState::Stored;
    j["right_click_duration"] = p.rClickDelay;
    j["right_click_duration_ms"] = uint32_t{s.effects.msRClickDelay};
    j["double_click_speed"] = p.dClickDelay;
    j["double_click_speed_ms"] = uint32_t{s.effects.msDClickDelay};
    j["click_range"] = p.clickRange;
    j["smoothing"] = p.smooth;
    j["off_position"] = OffPosition(s.effects);
    return j.dump(2) + "\n";
}

std::string SettingsComparisonJson(const std::string& device, const DeviceProfile& profile,
                                   const ProfileSettingsComparison& c) {
    const bool penBefore = c.penStored && c.penItem.DataWord(0) != 0;
    const auto item = profile.items.find(kPenItemId);
    const bool penAfter = item != profile.items.end() ? item->second.DataWord(0) != 0 : penBefore;
    DeviceConfigRecord after = c.config;
    after.mouseMode = profile.config.mouseMode;
    after.multiTouchMode = profile.config.multiTouchMode;
    json j;
    j["device"] = device;
    j["profile_device"] = profile.device;
    j["differs"] = c.Differs();
    j["differing"] = DifferingRecords(c);
    j["before"] = SettingsObject(c.config, c.effects, penBefore);
    j["after"] = SettingsObject(after, profile.effects, penAfter);
    return j.dump(2) + "\n";
}

std::string SettingsComparisonText(const std::string& device, const DeviceProfile& profile,
                                   const ProfileSettingsComparison& c) {
    if (!c.Differs())
        return "device " + device + ": holds the settings of device " + profile.device +
               "'s profile already; nothing to write\n";
    std::string names;
    for (const auto& n : DifferingRecords(c)) names += (names.empty() ? "" : ", ") + n.get<std::string>();
    return "device " + device + ": differs from device " + profile.device + "'s profile in " + names +
           "; nothing written (--dry-run)\n";
}

namespace {

struct NamedPoint {
    const char* name;  // JSON
    const char* label;  // text
    const CalibrationPoint* point;
};

std::vector<NamedPoint> RecordPoints(const CalibrationRecord& r) {
    return {{"top_left", "top-left", &r.topLeft},
            {"top_right", "top-right", &r.topRight},
            {"bottom_left", "bottom-left", &r.bottomLeft},
            {"bottom_right", "bottom-right", &r.bottomRight}};
}

}  // namespace

std::string CalibrationText(const std::string& device, const CalibrationRecord& r) {
    const uint32_t flag = r.enabled;
    std::string text = Line("device", device);
    text += Line("calibration", std::string(flag ? "in force" : "off") + " (enabled flag " + std::to_string(flag) + ")");
    for (const NamedPoint& p : RecordPoints(r)) {
        const CalibrationPoint c = *p.point;
        text += Line(p.label, "touch " + std::to_string(c.touchX) + "," + std::to_string(c.touchY) + "  screen " +
                                  std::to_string(c.screenX) + "," + std::to_string(c.screenY));
    }
    return text;
}

std::string CalibrationJson(const std::string& device, const CalibrationRecord& r) {
    const uint32_t flag = r.enabled;
    json j;
    j["device"] = device;
    j["enabled"] = flag != 0;
    j["enabled_flag"] = flag;
    json points = json::array();
    for (const NamedPoint& p : RecordPoints(r)) {
        const CalibrationPoint c = *p.point;
        points.push_back({{"corner", p.name},
                          {"touch_x", uint16_t{c.touchX}},
                          {"touch_y", uint16_t{c.touchY}},
                          {"screen_x", uint16_t{c.screenX}},
                          {"screen_y", uint16_t{c.screenY}}});
    }
    j["points"] = points;
    j["record"] = ToHex(&r, sizeof r);
    return j.dump(2) + "\n";
}

std::string ErrorJson(const std::string& message, int exitCode) {
    json j;
    j["error"] = message;
    j["exit"] = exitCode;
    return j.dump() + "\n";
}

}  // namespace QlnCli
