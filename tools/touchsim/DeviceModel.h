// The simulated touch device: what the service knows about it, and how it answers one call.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "servicelink/ServiceContract.h"

namespace touchsim {

struct DeviceModel {
    std::vector<std::string> deviceIds{"0102030405060708"};  // 16 hex digits each
    uint8_t versionByte = 26;         // version x 10
    uint8_t inches = 65;
    uint8_t touches = 10;
    uint8_t runMode = 3;              // 3 running, 2 hardware mode
    uint32_t requiredConfigVersion = 20;
    std::string seriesText = "Infrared:IR65:10";  // at most 37 characters fit behind the version word
    VexoSource::DeviceConfigRecord deviceConfig;
    VexoSource::EffectsRecord effects;
    VexoSource::CalibrationRecord calibration;
    std::map<uint32_t, VexoSource::MultiConfigRecord> multiConfig;  // by item id
    uint32_t resetCount = 0;          // ResetDevice calls seen

    DeviceModel();  // factory state of a sensible device

    static VexoSource::DeviceConfigRecord FactoryDeviceConfig();
    static VexoSource::EffectsRecord FactoryEffects();
    static VexoSource::CalibrationRecord FactoryCalibration();
    // A stored item: id, 40, mark, first data word = value, rest zero.
    static VexoSource::MultiConfigRecord StoredItem(uint32_t itemId, uint32_t firstWord, uint32_t secondWord = 0);
};

// Answer of the model to one call; `reply` never exceeds the call's expected length.
struct CallOutcome {
    std::vector<uint8_t> reply;
    std::string decoded;   // the call's record fields as text, for the trace
    bool wasReset = false; // the call was ResetDevice (the simulator starts its busy time)
};

// Applies one call to the model. `accessible` is what GetAccessState answers.
CallOutcome HandleCall(DeviceModel& model, uint32_t code, const uint8_t* payload, size_t payloadLength,
                       uint32_t expectedLength, bool accessible);

// Name of a request code ("GetDeviceList", ...), "Unknown" for others.
const char* RequestName(uint32_t code);

// Field texts used by the trace.
std::string DescribeDeviceConfig(const VexoSource::DeviceConfigRecord& r);
std::string DescribeEffects(const VexoSource::EffectsRecord& r);
std::string DescribeCalibration(const VexoSource::CalibrationRecord& r);
std::string DescribeMultiConfig(const VexoSource::MultiConfigRecord& r);

}  // namespace touchsim
