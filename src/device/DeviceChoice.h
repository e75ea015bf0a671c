// Choosing the device that the next request sequences address.
#pragma once

#include <string>
#include <vector>

#include "foundation/VexoWString.h"
#include "servicelink/DeviceHandle.h"

namespace VexoSource {

// Makes identifier the device of every sequence that starts from now on: the chosen selector
// becomes the sum of its eight hexadecimal byte pairs. True when it did; an identifier that does
// not give eight bytes leaves the choice as it was (sequences keep addressing the previous device).
// chosen (optional) takes the identifier in either case: the window's record of what its device
// choice shows. A sequence under way keeps the handle it took.
bool AdoptDevice(const std::string& identifier, std::string* chosen = nullptr);

// The handle of identifier without choosing it (the command-line program addresses one device per
// run); selector 0 when the identifier gives no eight bytes.
DeviceHandle DeviceOf(const std::string& identifier);

// The position of wanted in the device list, letters compared without regard to case (as the
// device choice does); with wanted empty, the first device. -1 when it is not listed.
int FindDevice(const std::vector<VexoWString>& devices, const std::string& wanted);

// The identifiers as narrow text, in order.
std::vector<std::string> DeviceNames(const std::vector<VexoWString>& devices);

// Whether two identifiers name the same device (letter case ignored).
bool SameDevice(const std::string& a, const std::string& b);

}  // namespace VexoSource
