// The device profile as a file: a versioned JSON document. The records travel as hexadecimal
// bytes, exactly as the service holds them; a summary of the settings is added for people and is
// not read back.
//
//   { "format": "qlncfg-device-profile", "version": 1, "device": "0102030405060708",
//     "written_by": "qlncfg-cli 1.0.0",
//     "records": { "device_config": "<31 bytes>", "effects": "<36 bytes>", "calibration": "<36 bytes>",
//                  "multi_config": { "2": "<48 bytes>", "13": "<48 bytes>" } },
//     "summary": { ... } }
#pragma once

#include <string>

#include "device/DeviceProfile.h"

namespace VexoSource {

constexpr const char* kProfileFormat = "qlncfg-device-profile";
// Raised when a record or its meaning changes; a reader refuses a document newer than itself.
constexpr int kProfileVersion = 1;
// A profile is a few hundred bytes; anything far larger is not one.
constexpr size_t kProfileMaxBytes = 64 * 1024;

// A record's bytes as a profile carries them: two lower-case hexadecimal digits a byte, in order.
std::string ToHex(const void* data, size_t size);

std::string ProfileToJson(const DeviceProfile& profile, const std::string& writtenBy);

enum class ProfileProblem { None, NotJson, NotAProfile, NewerVersion, BadRecord };

// Reads a document; on any problem profile is left untouched and problem says what is wrong in
// one line.
ProfileProblem ProfileFromJson(const std::string& text, DeviceProfile& profile, std::string& problem);

}  // namespace VexoSource
