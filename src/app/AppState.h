// Process-wide values of the application, owned by the GUI thread unless said otherwise.
#pragma once

#include <cstdint>
#include <string>

// The configuration file's version as tens and units (20 means 2.0); set at start-up.
extern uint32_t g_ConfigVersion;
// The lowest configuration version the attached device accepts; 0 until the device reports it.
extern uint32_t g_RequiredConfigVersion;
// First field of the device's product series text; "Infrared" until the device reports it.
extern std::string g_ProductSeries;
// Identifier of the device chosen in the device choice; written under g_SelectorLock.
extern std::string g_CurrentDeviceId;
// Set when a device is adopted: the next display refresh also sets the mode radio buttons.
extern int32_t g_FirstRefresh;
