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

#pragma pack(push, 1)

struct MultiConfigRecord {
    uint32_t itemId;
    uint32_t length;  // 40: the bytes that follow
    uint32_t mark;    // kMultiConfigMark when the record holds data
    uint8_t data[36];
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
    uint8_t bytes[38];  // [1] version x 10, [35] screen size in inches
};

#pragma pack(pop)

static_assert(sizeof(MultiConfigRecord) == 48, "MultiConfigRecord is 48 bytes on the wire");
static_assert(sizeof(EffectsRecord) == 36, "EffectsRecord is 36 bytes on the wire");
static_assert(sizeof(DeviceConfigRecord) == 31, "DeviceConfigRecord is 31 bytes on the wire");
static_assert(sizeof(CalibrationRecord) == 36, "CalibrationRecord is 36 bytes on the wire");
static_assert(sizeof(DeviceInfoRecord) == 38, "DeviceInfoRecord is 38 bytes on the wire");
static_assert(offsetof(DeviceConfigRecord, mouseMode) == 23 && offsetof(DeviceConfigRecord, multiTouchMode) == 27,
              "mode flags at 23 and 27");
static_assert(offsetof(CalibrationRecord, bottomLeft) == 20 && offsetof(CalibrationRecord, bottomRight) == 28,
              "calibration slots at 4, 12, 20, 28");

// This program runs on little-endian machines only; the records are used as they lie in memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the wire format is little-endian");

}  // namespace VexoSource
