// Choosing the device that every request addresses.
#pragma once

#include <string>
#include <vector>

#include "foundation/VexoWString.h"

namespace VexoSource {

// Makes identifier the device of every following request: under the selector lock, the selector
// becomes the sum of its eight hexadecimal byte pairs. True when it did; an identifier that does
// not give eight bytes leaves the selector as it was (requests keep addressing the previous device).
// chosen (optional) takes the identifier under the same lock in either case: the window's record
// of what its device choice shows.
bool AdoptDevice(const std::string& identifier, std::string* chosen = nullptr);

// The selector that requests carry now (read under the selector lock).
uint32_t ChosenSelector();

// The position of wanted in the device list, letters compared without regard to case (as the
// device choice does); with wanted empty, the first device. -1 when it is not listed.
int FindDevice(const std::vector<VexoWString>& devices, const std::string& wanted);

// The identifiers as narrow text, in order.
std::vector<std::string> DeviceNames(const std::vector<VexoWString>& devices);

// Whether two identifiers name the same device (letter case ignored).
bool SameDevice(const std::string& a, const std::string& b);

}  // namespace VexoSource
