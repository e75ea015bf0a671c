// The values of a device profile checked before any of it is written. A profile's shape (lengths,
// item ids, marks) says nothing of its values, and a profile travels by mail, USB sticks and fleet
// tools: a hand-edited or damaged one must not put on a device what no face of the program would
// ever write. The rules are those the window and the companion keep when they write: one of the
// two mode flags, the sliders' ranges, the calibration's plausibility, the orientations a display
// has.
#pragma once

#include <string>

#include "device/DeviceProfile.h"
#include "device/ProfileDocument.h"

namespace VexoSource {

// Whether text is a device identifier that addresses a device: exactly 16 hexadecimal digits.
bool IsDeviceIdentifier(const std::string& text);

// Checks every record of profile. False with problem naming the record and why ("records.effects:
// the click range ... "); problem never carries a control character of the file's.
bool ValidateProfile(const DeviceProfile& profile, std::string& problem);

// A document as import takes it: read (ProfileFromJson), then its values checked. A profile that
// fails the check comes back as BadRecord; profile is then left untouched.
ProfileProblem ProfileForImport(const std::string& text, DeviceProfile& profile, std::string& problem);

}  // namespace VexoSource
