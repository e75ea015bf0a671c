// Display-free decisions of the main window: the version texts, the device list and the device
// choice's item changes, the information texts, the product series reply, the watch's timing and
// the orientation item.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/VexoWString.h"
#include "servicelink/ServiceContract.h"

namespace VexoSource {

// "Configuration:Version" as tens and units: the first two non-empty "."-separated fields read
// with atol rules; 0 with fewer than two fields. "2.0.0.0" -> 20, "2.6" -> 26, "3" -> 0. A value
// beyond the range of the arithmetic gives 0xFFFFFFFF (or 0 when it is negative).
uint32_t ParseConfigVersion(const std::string& text);

// The GetDeviceList reply: false (list untouched) unless the last delivered byte is 0; otherwise
// the non-empty ":"-separated identifiers up to the first NUL, in order.
bool ParseDeviceList(const uint8_t* reply, int32_t length, std::vector<VexoWString>& list);

// What the device choice must do to match a new device list: delete items (each index as it is at
// the moment of its deletion), then append identifiers. currentGone is set when the shown item
// was deleted, in which case item 0 is selected afterwards.
struct ChoiceEdit {
    std::vector<size_t> deletions;
    std::vector<std::u16string> appends;
    bool currentGone = false;
};
// items: the choice's texts before the change; current: its shown text.
ChoiceEdit PlanChoiceEdit(const std::vector<std::u16string>& items, const std::u16string& current,
                          const std::vector<VexoWString>& devices);

// Texts of the information fields.
std::u16string TouchPointsText(const RuntimeStatusReply& runtimeStatus);
// The number of the screen size field: 55 for the "camera" series, otherwise the record's screen
// size in inches; the record is left as the device sent it.
std::u16string ScreenSizeNumber(const DeviceInfoRecord& info, const std::string& productSeries);
// "1.0" for a start-up version byte below 2, otherwise the current version byte as "w/10.w%10".
std::u16string FirmwareText(uint8_t startVersionByte, uint8_t currentVersionByte);
// Language key of the service's run mode: "Running" (kRunModeRunning), "Hardware_Mode"
// (kRunModeHardware), empty otherwise.
std::string ServiceModeKey(uint8_t mode);

// The GetProductSeries reply: the u32 required version at offset 0 and the text from offset 4 up
// to its first NUL (or the reply's end). series becomes the first non-empty ":" field when there
// is one; required always becomes the reply's value. False, both untouched, for a reply shorter
// than 4 bytes.
bool ParseProductSeries(const uint8_t* reply, size_t length, std::string& series, uint32_t& required);

// Watch timing. Passes start more than kWatchPassMs apart; the orientation check runs when at
// least kOrientationCheckMs have passed since the previous one (and on the first pass).
constexpr uint32_t kWatchPassMs = 3000;
constexpr uint32_t kOrientationCheckMs = 5000;
constexpr uint32_t kWatchAfterRefreshMs = 100;
// A lost connection to the service (it stopped, or restarts after an upgrade or a crash): the watch
// connects again every kServiceRetryMs for up to kServiceReturnMs before it gives the service up.
constexpr uint32_t kServiceReturnMs = 5000;
constexpr uint32_t kServiceRetryMs = 200;
// Milliseconds the watch still has to wait before the next pass (0: start it now). Tick counts
// wrap at 32 bits; differences are unsigned.
uint32_t WatchWaitMs(uint32_t now, uint32_t passStart, bool firstPass);
bool OrientationCheckDue(uint32_t now, uint32_t lastCheck, bool firstCheck);

// The orientation item (kOrientationItem, its words as the service contract places them).
enum class OrientationAction { None, WriteDisplay, WriteDefault };
// Decides from the record the service returned and the display orientation; for a write, fills
// out with the record to send.
OrientationAction PlanOrientation(const MultiConfigRecord& read, uint32_t displayOrientation,
                                  MultiConfigRecord& out);

}  // namespace VexoSource
