// What qlncfg-cli prints: the status and the advanced settings, as text or as JSON.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/AdvancedSettings.h"
#include "device/DeviceStatus.h"
#include "device/ProfileSettings.h"
#include "servicelink/ServiceContract.h"

namespace QlnCli {

struct StatusReport {
    std::vector<std::string> devices;
    std::string device;
    bool busy = false;  // the device is being reset: nothing more was read
    std::string series = "Infrared";  // until the device reports its product series
    uint32_t requiredConfigVersion = 0;
    VexoSource::DeviceState state;
};

std::string StatusText(const StatusReport& report);
std::string StatusJson(const StatusReport& report);

std::string DevicesText(const std::vector<std::string>& devices);
std::string DevicesJson(const std::vector<std::string>& devices);

// The settings as the advanced settings dialog shows them (slider positions at their ends when a
// stored value lies outside).
std::string AdvancedText(const VexoSource::AdvancedSettings& settings);
std::string AdvancedJson(const VexoSource::AdvancedSettings& settings);

// What import --settings-only --dry-run found: whether anything differs, which records, and the
// settings before and after in the units of advanced set's options.
std::string SettingsComparisonText(const std::string& device, const VexoSource::DeviceProfile& profile,
                                   const VexoSource::ProfileSettingsComparison& comparison);
std::string SettingsComparisonJson(const std::string& device, const VexoSource::DeviceProfile& profile,
                                   const VexoSource::ProfileSettingsComparison& comparison);

// The calibration on record: whether it is in force (the enabled flag) and its four points in the
// record's order (top-left, top-right, bottom-left, bottom-right), touch and screen values.
std::string CalibrationText(const std::string& device, const VexoSource::CalibrationRecord& record);
std::string CalibrationJson(const std::string& device, const VexoSource::CalibrationRecord& record);

// What a failed command prints on standard output with --json: {"error": message, "exit": code}.
std::string ErrorJson(const std::string& message, int exitCode);

}  // namespace QlnCli
