// What the touch service answers: request codes and the packed little-endian records.
#pragma once

#include <cstdint>
#include <cstddef>
#include <cstring>

namespace VexoSource {

enum RequestCode : uint32_t {
    GetDeviceList = 1,
    GetAccessState = 5,
    ResetDevice = 6,
    GetDeviceInfo = 16,
    GetRuntimeStatus = 18,
    SetRunMode = 21,
    GetRunMode = 22,
    SetCalibration = 23,
    GetCalibration = 24,
    SetEffects = 25,
    GetEffects = 26,
    SetDeviceConfig = 27,
    GetDeviceConfig = 28,
    GetMultiConfig = 49,
    SetMultiConfig = 50,
    GetProductSeries = 56,
};

constexpr uint32_t kMultiConfigMark = 0xFCFC9900u;
constexpr uint32_t kDeviceListReplyLength = 1024;
constexpr uint32_t kRuntimeStatusLength = 18;
constexpr uint32_t kProductSeriesLength = 42;
// The bytes a MultiConfigRecord carries after its item id and length: the mark and the data.
constexpr uint32_t kMultiConfigFollowing = 40;

// The multi-configuration items this program knows, and where their values lie (data words).
// Pen simulation: its flag in the first word.
constexpr uint32_t kPenItemId = 2;
constexpr size_t kPenFlagWord = 0;
// The stored display orientation: the item's own length (kOrientationItemLength) in the first
// word, the orientation in the second.
constexpr uint32_t kOrientationItem = 13;
constexpr uint32_t kOrientationItemLength = 28;
constexpr size_t kOrientationLengthWord = 0;
constexpr size_t kOrientationValueWord = 1;

#pragma pack(push, 1)

struct MultiConfigRecord {
    uint32_t itemId;
    uint32_t length;  // kMultiConfigFollowing: the bytes that follow
    uint32_t mark;    // kMultiConfigMark when the record holds data
    uint8_t data[36];

    bool Stored() const { return mark == kMultiConfigMark; }
    // The index-th u32 of the data (offset 12 + 4 * index of the record); index below 9.
    uint32_t DataWord(size_t index) const {
        uint32_t value;
        std::memcpy(&value, data + 4 * index, sizeof value);
        return value;
    }
    void SetDataWord(size_t index, uint32_t value) { std::memcpy(data + 4 * index, &value, sizeof value); }
};

struct EffectsRecord {
    uint32_t reserved0;       // 0
    float reserved4;          // 0.0
    float reserved8;          // 0.0
    float reserved12;         // 0.05
    uint32_t rightClick;      // right-click simulation on/off
    uint32_t msRClickDelay;   // right-click duration, ms
    float msRDClickRange;     // right/double click range
    uint32_t msDClickDelay;   // double-click speed, ms
    uint32_t smoothValue;     // smoothing 0..6
};

struct DeviceConfigRecord {
    uint8_t byte0;
    uint8_t bytes1to4[4];
    uint8_t bytes5to6[2];
    uint32_t value7;
    uint32_t value11;
    uint32_t value15;
    uint32_t value19;
    uint32_t mouseMode;       // offset 23
    uint32_t multiTouchMode;  // offset 27
};

struct CalibrationPoint {
    uint16_t touchX, touchY, screenX, screenY;
};

struct CalibrationRecord {
    uint32_t enabled;
    CalibrationPoint topLeft;      // offset 4
    CalibrationPoint topRight;     // offset 12
    CalibrationPoint bottomLeft;   // offset 20
    CalibrationPoint bottomRight;  // offset 28
};

struct DeviceInfoRecord {
    uint8_t bytes[38];

    static constexpr size_t kVersionOffset = 1;
    static constexpr size_t kScreenInchesOffset = 35;
    // The version times ten: 20 is 2.0, 26 is 2.6.
    uint8_t VersionByte() const { return bytes[kVersionOffset]; }
    uint8_t ScreenInches() const { return bytes[kScreenInchesOffset]; }
};

#pragma pack(pop)

// The GetRuntimeStatus reply, of which this program reads two bytes.
using RuntimeStatusReply = uint8_t[kRuntimeStatusLength];
constexpr size_t kRuntimeTouchesOffset = 9;
constexpr size_t kRuntimeRunModeOffset = 15;
// Run modes of the service.
constexpr uint8_t kRunModeHardware = 2;
constexpr uint8_t kRunModeRunning = 3;
// The number of touch points as the device runs.
inline uint8_t RuntimeTouches(const RuntimeStatusReply& status) { return status[kRuntimeTouchesOffset]; }
// kRunModeRunning, kRunModeHardware, or a value this program does not know.
inline uint8_t RuntimeRunMode(const RuntimeStatusReply& status) { return status[kRuntimeRunModeOffset]; }

static_assert(sizeof(MultiConfigRecord) == 48, "MultiConfigRecord is 48 bytes on the wire");
static_assert(sizeof(EffectsRecord) == 36, "EffectsRecord is 36 bytes on the wire");
static_assert(sizeof(DeviceConfigRecord) == 31, "DeviceConfigRecord is 31 bytes on the wire");
static_assert(sizeof(CalibrationRecord) == 36, "CalibrationRecord is 36 bytes on the wire");
static_assert(sizeof(DeviceInfoRecord) == 38, "DeviceInfoRecord is 38 bytes on the wire");
static_assert(offsetof(MultiConfigRecord, data) + sizeof(MultiConfigRecord::data) - offsetof(MultiConfigRecord, mark) ==
                  kMultiConfigFollowing,
              "the length field counts the mark and the data");
static_assert(offsetof(DeviceConfigRecord, mouseMode) == 23 && offsetof(DeviceConfigRecord, multiTouchMode) == 27,
              "mode flags at 23 and 27");
static_assert(offsetof(CalibrationRecord, bottomLeft) == 20 && offsetof(CalibrationRecord, bottomRight) == 28,
              "calibration slots at 4, 12, 20, 28");

// This program runs on little-endian machines only; the records are used as they lie in memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the wire format is little-endian");

}  // namespace VexoSource
