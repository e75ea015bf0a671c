#include "device/ProfileDocument.h"

#include <nlohmann/json.hpp>

#include <cstring>

#include "device/AdvSettingRules.h"
#include "device/TouchMode.h"

namespace VexoSource {

std::string ToHex(const void* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    const uint8_t* p = static_cast<const uint8_t*>(data);
    std::string text;
    text.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        text += digits[p[i] >> 4];
        text += digits[p[i] & 15];
    }
    return text;
}

namespace {

using nlohmann::json;
// Written in the order of this file's description, for people reading a profile.
using ordered = nlohmann::ordered_json;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Exactly size bytes of hexadecimal digits, else false (out untouched).
bool FromHex(const std::string& text, void* out, size_t size) {
    if (text.size() != size * 2) return false;
    uint8_t bytes[256];
    if (size > sizeof bytes) return false;
    for (size_t i = 0; i < size; ++i) {
        const int hi = HexDigit(text[2 * i]), lo = HexDigit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes[i] = uint8_t(hi * 16 + lo);
    }
    std::memcpy(out, bytes, size);
    return true;
}

ordered Summary(const DeviceProfile& p) {
    const AdvSettingPositions positions = PositionsFromEffects(p.effects);
    ordered s;
    s["mode"] = ModeName(p.config);
    s["right_click"] = positions.rightClick;
    s["right_click_duration_ms"] = uint32_t{p.effects.msRClickDelay};
    s["double_click_speed_ms"] = uint32_t{p.effects.msDClickDelay};
    s["click_range"] = positions.clickRange;
    s["smoothing"] = uint32_t{p.effects.smoothValue};
    const auto pen = p.items.find(kPenItemId);
    if (pen != p.items.end()) {
        s["pen"] = pen->second.DataWord(kPenFlagWord) != 0;
    }
    s["calibration_enabled"] = p.calibration.enabled != 0;
    const auto orientation = p.items.find(kOrientationItem);
    if (orientation != p.items.end()) {
        s["display_orientation"] = orientation->second.DataWord(kOrientationValueWord);
    }
    return s;
}

template <typename R>
bool TakeRecord(const json& records, const char* name, R& out, std::string& problem) {
    const auto it = records.find(name);
    if (it == records.end() || !it->is_string()) {
        problem = std::string("records.") + name + " is missing";
        return false;
    }
    if (!FromHex(it->get<std::string>(), &out, sizeof out)) {
        problem = std::string("records.") + name + " is not " + std::to_string(sizeof out) + " bytes of hexadecimal digits";
        return false;
    }
    return true;
}

}  // namespace

std::string ProfileToJson(const DeviceProfile& profile, const std::string& writtenBy) {
    ordered records;
    records["device_config"] = ToHex(&profile.config, sizeof profile.config);
    records["effects"] = ToHex(&profile.effects, sizeof profile.effects);
    records["calibration"] = ToHex(&profile.calibration, sizeof profile.calibration);
    ordered items = ordered::object();
    for (const auto& entry : profile.items) items[std::to_string(entry.first)] = ToHex(&entry.second, sizeof entry.second);
    records["multi_config"] = items;

    ordered document;
    document["format"] = kProfileFormat;
    document["version"] = kProfileVersion;
    document["device"] = profile.device;
    document["written_by"] = writtenBy;
    document["records"] = records;
    document["summary"] = Summary(profile);
    return document.dump(2) + "\n";
}

ProfileProblem ProfileFromJson(const std::string& text, DeviceProfile& profile, std::string& problem) {
    if (text.size() > kProfileMaxBytes) {
        problem = "the file is larger than any profile (" + std::to_string(text.size()) + " bytes)";
        return ProfileProblem::NotAProfile;
    }
    // No exceptions: a document that does not parse comes back as "discarded".
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded()) {
        problem = "the file is not JSON";
        return ProfileProblem::NotJson;
    }
    if (!document.is_object() || !document.contains("format") || document["format"] != kProfileFormat) {
        problem = std::string("the file is not a device profile (no \"format\": \"") + kProfileFormat + "\")";
        return ProfileProblem::NotAProfile;
    }
    const auto version = document.find("version");
    if (version == document.end() || !version->is_number_integer()) {
        problem = "the profile has no version number";
        return ProfileProblem::NotAProfile;
    }
    const long long v = version->get<long long>();
    if (v > kProfileVersion) {
        problem = "the profile is of version " + std::to_string(v) + ", newer than this program reads (" +
                  std::to_string(kProfileVersion) + ")";
        return ProfileProblem::NewerVersion;
    }
    if (v < 1) {
        problem = "the profile's version " + std::to_string(v) + " does not exist";
        return ProfileProblem::NotAProfile;
    }
    const auto device = document.find("device");
    if (device == document.end() || !device->is_string() || device->get<std::string>().empty()) {
        problem = "the profile names no device";
        return ProfileProblem::BadRecord;
    }
    const auto records = document.find("records");
    if (records == document.end() || !records->is_object()) {
        problem = "the profile has no records";
        return ProfileProblem::BadRecord;
    }

    DeviceProfile read;
    read.device = device->get<std::string>();
    if (!TakeRecord(*records, "device_config", read.config, problem) ||
        !TakeRecord(*records, "effects", read.effects, problem) ||
        !TakeRecord(*records, "calibration", read.calibration, problem))
        return ProfileProblem::BadRecord;
    const auto items = records->find("multi_config");
    if (items != records->end()) {
        if (!items->is_object()) {
            problem = "records.multi_config is not an object";
            return ProfileProblem::BadRecord;
        }
        for (const auto& entry : items->items()) {
            const std::string& key = entry.key();
            uint32_t id = 0;
            const bool numeric = !key.empty() && key.size() <= 3 && key.find_first_not_of("0123456789") == std::string::npos;
            if (numeric) id = uint32_t(std::stoul(key));
            if (!numeric || !IsProfileItem(id)) {
                problem = "records.multi_config." + key + " is not an item this program knows";
                return ProfileProblem::BadRecord;
            }
            MultiConfigRecord item{};
            if (!entry.value().is_string() || !FromHex(entry.value().get<std::string>(), &item, sizeof item)) {
                problem = "records.multi_config." + key + " is not 48 bytes of hexadecimal digits";
                return ProfileProblem::BadRecord;
            }
            if (item.itemId != id || item.mark != kMultiConfigMark) {
                problem = "records.multi_config." + key + " is not a stored item " + key;
                return ProfileProblem::BadRecord;
            }
            read.items[id] = item;
        }
    }
    profile = read;
    problem.clear();
    return ProfileProblem::None;
}

}  // namespace VexoSource
