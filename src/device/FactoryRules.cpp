#include "device/FactoryRules.h"

#include <cstring>

namespace VexoSource {

namespace {
float FloatFromBits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
}  // namespace

void ForceHiddenEffects(EffectsRecord& effects) {
    effects.reserved0 = 0;
    effects.reserved4 = 0.0f;
    effects.reserved8 = 0.0f;
    effects.reserved12 = FloatFromBits(kFactoryEffects12Bits);
}

void ApplyFactoryDeviceConfig(DeviceConfigRecord& config) {
    config.byte0 = 1;
    config.bytes1to4[0] = 127;
    config.bytes1to4[1] = 0;
    config.bytes1to4[2] = 0;
    config.bytes1to4[3] = 0;
    config.value7 = 3333;
    config.value11 = 3000;
    config.value15 = 1;
    config.value19 = 1;
    if (config.mouseMode == 0 && config.multiTouchMode == 0) config.multiTouchMode = 1;
}

void ApplyFactoryEffects(EffectsRecord& effects) {
    ForceHiddenEffects(effects);
    effects.rightClick = 1;
    effects.msRClickDelay = 2000;
    effects.msRDClickRange = FloatFromBits(kFactoryEffects24Bits);
    effects.msDClickDelay = 500;
    effects.smoothValue = 1;
}

void ApplyFactoryCalibration(CalibrationRecord& calibration) { calibration.enabled = 0; }

void SetTouchMode(DeviceConfigRecord& config, bool multiTouch) {
    config.multiTouchMode = multiTouch ? 1 : 0;
    config.mouseMode = multiTouch ? 0 : 1;
}

}  // namespace VexoSource
