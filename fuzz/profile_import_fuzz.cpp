// A device profile as import takes it: arbitrary text read as a profile document and its values
// checked. Every profile accepted must be one the device layer's own rules accept (one mode flag,
// the sliders' ranges, a plausible calibration, a stored pen flag and an orientation a display
// has, an identifier that gives a selector) and must read back the same after being written
// again; a refused one leaves the profile untouched and names no control character.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "device/AdvSettingRules.h"
#include "device/MainFrameRules.h"
#include "device/ProfileValidation.h"
#include "device/TapJudge.h"
#include "device/TouchMode.h"
#include "servicelink/VexoRPC.h"

using namespace VexoSource;
using QlnFuzz::Check;

namespace {

bool SameAs(const AdvSettingPositions& a, const AdvSettingPositions& b) {
    return a.rightClick == b.rightClick && a.rClickDelay == b.rClickDelay && a.dClickDelay == b.dClickDelay &&
           a.clickRange == b.clickRange && a.smooth == b.smooth;
}

void CheckAccepted(const DeviceProfile& p) {
    uint32_t selector = 0;
    Check(DeviceSelectorFromIdentifier(p.device, selector));
    const TouchModeFlags mode = ModeOf(p.config);
    Check(mode == TouchModeFlags::MultiTouch || mode == TouchModeFlags::Mouse);
    // Every shown value sits on its slider as it is: the dialog would show it unchanged.
    const AdvSettingPositions positions = PositionsFromEffects(p.effects);
    Check(SameAs(positions, ClampToSliders(positions)));
    Check(p.effects.rightClick <= 1);
    Check(p.calibration.enabled <= 1);
    if (p.calibration.enabled) {
        const CalibrationPoint* slots[4] = {&p.calibration.topLeft, &p.calibration.bottomLeft,
                                            &p.calibration.bottomRight, &p.calibration.topRight};
        TapJudge::DevicePoint touch[4];
        for (int k = 0; k < 4; ++k) touch[k] = {slots[k]->touchX, slots[k]->touchY};
        Check(CalibShapePlausible(touch));
    }
    for (const auto& entry : p.items) {
        if (entry.first == kPenItemId) {
            uint32_t pen = 0;
            Check(ReadPenItem(true, entry.second, pen) == PenItemState::Stored && pen <= 1);
        } else {
            Check(entry.first == kOrientationItem);
            const uint32_t value = entry.second.DataWord(kOrientationValueWord);
            MultiConfigRecord out{};
            // The window, on a display of that orientation, would leave the item as it is.
            Check(value <= 3 && PlanOrientation(entry.second, value, out) == OrientationAction::None);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    QlnFuzz::QuietLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    DeviceProfile profile;
    profile.device = "untouched";
    std::string problem;
    if (ProfileForImport(text, profile, problem) != ProfileProblem::None) {
        Check(profile.device == "untouched" && profile.items.empty());
        for (char c : problem) Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
        return 0;
    }
    CheckAccepted(profile);
    // Written again, it reads back byte for byte.
    DeviceProfile again;
    Check(ProfileForImport(ProfileToJson(profile, "fuzz"), again, problem) == ProfileProblem::None);
    Check(again.device == profile.device && again.items.size() == profile.items.size());
    Check(std::memcmp(&again.config, &profile.config, sizeof profile.config) == 0);
    Check(std::memcmp(&again.effects, &profile.effects, sizeof profile.effects) == 0);
    Check(std::memcmp(&again.calibration, &profile.calibration, sizeof profile.calibration) == 0);
    return 0;
}
