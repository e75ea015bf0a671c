#include "device/FactoryRules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>
#include "support/PackedValue.h"

using namespace VexoSource;

namespace {
template <typename R>
R FilledWith(uint8_t byte) {
    R record;
    std::memset(&record, byte, sizeof record);
    return record;
}

void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = uint8_t(value >> (8 * i));
}
}  // namespace

// The service reads these records byte for byte: check every offset, and that unnamed bytes
// keep what was read.
TEST(FactoryRules, RecordsCarryTheManufacturerBytesAndKeepTheRest) {
    auto config = FilledWith<DeviceConfigRecord>(0xAA);
    config.mouseMode = 1;
    config.multiTouchMode = 0;
    ApplyFactoryDeviceConfig(config);
    std::vector<uint8_t> expected(31, 0xAA);
    expected[0] = 1;
    expected[1] = 127, expected[2] = 0, expected[3] = 0, expected[4] = 0;
    PutU32(expected, 7, 3333);
    PutU32(expected, 11, 3000);
    PutU32(expected, 15, 1);
    PutU32(expected, 19, 1);
    PutU32(expected, 23, 1);
    PutU32(expected, 27, 0);
    EXPECT_EQ(BytesOf(config), expected);

    auto effects = FilledWith<EffectsRecord>(0xAA);
    ApplyFactoryEffects(effects);
    std::vector<uint8_t> fx(36, 0);
    PutU32(fx, 0, 0);
    PutU32(fx, 4, 0);
    PutU32(fx, 8, 0);
    PutU32(fx, 12, 0x3D4CCCCD);
    PutU32(fx, 16, 1);
    PutU32(fx, 20, 2000);
    PutU32(fx, 24, 0x3E99999A);
    PutU32(fx, 28, 500);
    PutU32(fx, 32, 1);
    EXPECT_EQ(BytesOf(effects), fx);

    auto calibration = FilledWith<CalibrationRecord>(0x5C);
    ApplyFactoryCalibration(calibration);
    std::vector<uint8_t> cal(36, 0x5C);
    PutU32(cal, 0, 0);
    EXPECT_EQ(BytesOf(calibration), cal);
}

TEST(FactoryRules, ModeFlagsKeepTheReadValuesUnlessBothAreZero) {
    struct Row {
        uint32_t mouse, multi, expectMouse, expectMulti;
    } rows[] = {
        {0, 0, 0, 1},  // no mode at all: multi-touch
        {1, 0, 1, 0},
        {0, 1, 0, 1},
        {1, 1, 1, 1},  // kept as read
        {7, 0, 7, 0},
    };
    for (const Row& r : rows) {
        DeviceConfigRecord config{};
        config.mouseMode = r.mouse;
        config.multiTouchMode = r.multi;
        ApplyFactoryDeviceConfig(config);
        EXPECT_EQ(Value(config.mouseMode), r.expectMouse) << r.mouse << "/" << r.multi;
        EXPECT_EQ(Value(config.multiTouchMode), r.expectMulti) << r.mouse << "/" << r.multi;
    }
}

TEST(FactoryRules, TouchModeSetsExactlyOneFlag) {
    auto config = FilledWith<DeviceConfigRecord>(0x77);
    SetTouchMode(config, false);
    EXPECT_EQ(Value(config.mouseMode), 1u);
    EXPECT_EQ(Value(config.multiTouchMode), 0u);
    SetTouchMode(config, true);
    EXPECT_EQ(Value(config.mouseMode), 0u);
    EXPECT_EQ(Value(config.multiTouchMode), 1u);
    EXPECT_EQ(Value(config.value19), 0x77777777u);  // the rest of the record is untouched
}
