// The simulated touch device: what the service knows about it, and how it answers one call.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "servicelink/ServiceContract.h"
#include "touchsim/FrameMounting.h"

namespace touchsim {

// What the service stores and reports for one device.
struct DeviceRecords {
    uint8_t versionByte = 26;         // version x 10
    uint8_t inches = 65;
    uint8_t touches = 10;
    uint8_t runMode = 3;              // 3 running, 2 hardware mode
    VexoSource::DeviceConfigRecord deviceConfig;
    VexoSource::EffectsRecord effects;
    VexoSource::CalibrationRecord calibration;
    // The record the device works with: a written calibration takes effect at the next ResetDevice,
    // as the device re-initialises with it.
    VexoSource::CalibrationRecord calibrationInForce;
    std::map<uint32_t, VexoSource::MultiConfigRecord> multiConfig;  // by item id

    DeviceRecords();  // factory state of a sensible device
};

// The service: its device list and, as its own fields, the records that the devices without
// records of their own share (all of them unless some were given their own).
struct DeviceModel : DeviceRecords {
    std::vector<std::string> deviceIds{"0102030405060708"};  // 16 hex digits each
    uint32_t requiredConfigVersion = 20;
    std::string seriesText = "Infrared:IR65:10";  // at most 37 characters fit behind the version word
    uint32_t resetCount = 0;          // ResetDevice calls seen
    // How the one frame whose touches the stream carries sits on the display.
    FrameMounting mounting;
    // Devices with records of their own, by identifier. A call uses the records of the listed
    // device that its selector names (the first such when two sum alike) if that device has its
    // own; otherwise (selector 0, an unlisted device, one without its own) the shared ones.
    std::map<std::string, DeviceRecords> ownRecords;

    // The records a call with this selector reads and writes.
    DeviceRecords& RecordsFor(uint32_t selector);
    // Gives the device records of its own, a copy of the shared ones, unless it has them already;
    // lists it when it is not listed. Returns its records.
    DeviceRecords& OwnRecords(const std::string& id);

    // The records of the frame the touch stream reports: the first listed device's (the shared
    // ones when it has none of its own or nothing is listed).
    const DeviceRecords& StreamDevice() const;
    // What the stream reports for a touch at display position (u, v, on 0..1): the mounting's raw
    // position, mapped through that device's calibration in force (FrameMounting.h).
    StreamPosition ReportedAtDisplay(double u, double v) const;

    static VexoSource::DeviceConfigRecord FactoryDeviceConfig();
    static VexoSource::EffectsRecord FactoryEffects();
    static VexoSource::CalibrationRecord FactoryCalibration();
    // A stored item: id, 40, mark, first data word = value, rest zero.
    static VexoSource::MultiConfigRecord StoredItem(uint32_t itemId, uint32_t firstWord, uint32_t secondWord = 0);
};

// The selector a program puts in front of its requests for a device: the sum of the bytes of the
// identifier's hexadecimal pairs (0102030405060708 -> 36).
uint32_t SelectorOf(const std::string& id);

// Answer of the model to one call; `reply` never exceeds the call's expected length.
struct CallOutcome {
    std::vector<uint8_t> reply;
    std::string decoded;   // the call's record fields as text, for the trace
    bool wasReset = false; // the call was ResetDevice (the simulator starts its busy time)
};

// Applies one call to the model. `accessible` is what GetAccessState answers; `selector` (the
// request head's first field) chooses the device's records.
CallOutcome HandleCall(DeviceModel& model, uint32_t code, const uint8_t* payload, size_t payloadLength,
                       uint32_t expectedLength, bool accessible, uint32_t selector = 0);

// Name of a request code ("GetDeviceList", ...), "Unknown" for others.
const char* RequestName(uint32_t code);

// Field texts used by the trace.
std::string DescribeDeviceConfig(const VexoSource::DeviceConfigRecord& r);
std::string DescribeEffects(const VexoSource::EffectsRecord& r);
std::string DescribeCalibration(const VexoSource::CalibrationRecord& r);
std::string DescribeMultiConfig(const VexoSource::MultiConfigRecord& r);

}  // namespace touchsim
