// Loading and writing the advanced settings: the effects record and the pen simulation item.
#pragma once

#include <cstdint>

#include "device/AdvSettingRules.h"
#include "servicelink/ServiceContract.h"
#include "servicelink/DeviceHandle.h"

namespace VexoSource {

// What a load found.
struct AdvancedSettings {
    EffectsRecord effects{};
    AdvSettingPositions positions;  // as computed from the record; may lie outside the sliders
    PenItemState penState = PenItemState::NotAnswered;
    uint32_t pen = 0;
};

// As the dialog opens: GetDeviceConfig (into configCheck as answered, only to see that the service
// answers), GetEffects (whole), then item 2 read into penItem (ReadMultiConfigItem). With
// createMissingPen, an item that the service does not hold yet is written with the flag 0 (the
// dialog does this); without it nothing is written. False (logged "Get response failed! ") when
// one of the first two requests failed; an unanswered pen item only leaves the flag 0.
bool LoadAdvancedSettings(const DeviceHandle& device, AdvancedSettings& out, DeviceConfigRecord& configCheck, MultiConfigRecord& penItem,
                          bool createMissingPen);

enum class AdvancedWriteResult { Done, ReadFailed, EffectsFailed, PenFailed };

// Which shown fields a write takes from the positions. A field not taken keeps the value the
// service answers, to the millisecond: a position is a whole 100 ms, so writing an unchanged
// 850 ms through its position would make it 800 ms.
struct AdvSettingFields {
    bool rightClick = true, rClickDelay = true, dClickDelay = true, clickRange = true, smooth = true;
};

// As the dialog's Done writes: GetEffects afresh into effects (so fields not shown keep the
// service's values), the five shown fields from positions and the four forced ones, SetEffects,
// then penItem as item 2 with the pen flag (its other data bytes as the last read left them),
// SetMultiConfig. Stops at the first failure with its log line ("Get effects failed! ",
// "Set effections failed! ", "Set multi-config failed! "). The reset is the caller's. fields: the
// shown fields to take from positions (the dialog takes all five).
AdvancedWriteResult WriteAdvancedSettings(const DeviceHandle& device, const AdvSettingPositions& positions, bool pen, EffectsRecord& effects,
                                          MultiConfigRecord& penItem, const AdvSettingFields& fields = {});

}  // namespace VexoSource
