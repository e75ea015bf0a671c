// The reset to manufacturer settings as the simulated service sees it, whichever face asks for it
// (the window's Factory Settings button or `qlncfg-cli factory-reset`): the device it starts from,
// the calls of a whole run, and the bytes each write must carry.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "servicelink/ServiceContract.h"
#include "support/PackedValue.h"
#include "support/TraceRecords.h"
#include "touchsim/Simulator.h"

namespace factorytest {

// Every call of a reset that went through, from the access check on.
inline std::vector<std::string> WholeRun() {
    return {"GetAccessState", "GetDeviceConfig", "GetEffects",    "GetCalibration", "SetMultiConfig",
            "SetDeviceConfig", "SetEffects",     "SetCalibration", "ResetDevice"};
}

// A device with settings of its own in every record (so that a byte the reset should keep, or
// should set, shows), its mode flags as given and the pen item on.
inline void SeedDevice(touchsim::DeviceModel& m, uint32_t readMouse, uint32_t readMulti) {
    std::memset(&m.deviceConfig, 0x5A, sizeof m.deviceConfig);
    m.deviceConfig.mouseMode = readMouse;
    m.deviceConfig.multiTouchMode = readMulti;
    std::memset(&m.effects, 0x33, sizeof m.effects);
    std::memset(&m.calibration, 0x44, sizeof m.calibration);
    m.calibration.enabled = 1;
    m.multiConfig[2] = touchsim::DeviceModel::StoredItem(2, 1);
}

// Checks the payload of each write present in trace, for a device seeded with SeedDevice: every
// byte of each record, the pen item's included (its data behind the flag are 0, whatever item the
// program read before).
inline void ExpectManufacturerWrites(const std::vector<touchsim::TraceEntry>& trace, uint32_t readMouse,
                                     uint32_t readMulti) {
    using namespace VexoSource;
    if (const auto* item = tracetest::Find(trace, "SetMultiConfig")) {
        EXPECT_EQ(item->payload, BytesOf(touchsim::DeviceModel::StoredItem(2, 0))) << "pen simulation off";
    }
    if (const auto* set = tracetest::Find(trace, "SetDeviceConfig")) {
        DeviceConfigRecord expected;
        std::memset(&expected, 0x5A, sizeof expected);  // unnamed bytes as read
        expected.byte0 = 1;
        const uint8_t head[4] = {127, 0, 0, 0};
        std::memcpy(expected.bytes1to4, head, 4);
        expected.value7 = 3333;
        expected.value11 = 3000;
        expected.value15 = 1;
        expected.value19 = 1;
        expected.mouseMode = readMouse;
        // A device with neither mode gets multi-touch; otherwise the flags stay as read.
        expected.multiTouchMode = (readMouse == 0 && readMulti == 0) ? 1 : readMulti;
        EXPECT_EQ(set->payload, BytesOf(expected));
    }
    if (const auto* set = tracetest::Find(trace, "SetEffects")) {
        const uint32_t expected[9] = {0, 0, 0, 0x3D4CCCCD, 1, 2000, 0x3E99999A, 500, 1};
        ASSERT_EQ(set->payload.size(), sizeof expected);
        EXPECT_EQ(std::memcmp(set->payload.data(), expected, sizeof expected), 0);
    }
    if (const auto* set = tracetest::Find(trace, "SetCalibration")) {
        CalibrationRecord expected;
        std::memset(&expected, 0x44, sizeof expected);  // the points as read, switched off
        expected.enabled = 0;
        EXPECT_EQ(set->payload, BytesOf(expected));
    }
}

}  // namespace factorytest
