#include "device/AdvSettingRules.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "device/FactoryRules.h"

namespace VexoSource {

namespace {
int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

uint32_t NonNegative(double value) { return value <= 0.0 ? 0u : static_cast<uint32_t>(value); }
}  // namespace

int32_t RClickDelayToPosition(uint32_t ms) { return TruncateToInt32(ms / 100.0); }
int32_t DClickDelayToPosition(uint32_t ms) { return TruncateToInt32(ms / 100.0); }
int32_t ClickRangeToPosition(float range) { return TruncateToInt32(static_cast<double>(range) * 10.0); }
int32_t SmoothToPosition(uint32_t value) { return TruncateToInt32(static_cast<double>(value)); }

// Slider positions are small; a negative one (not possible from the sliders) writes 0 instead of
// wrapping to a huge unsigned value.
uint32_t PositionToRClickDelay(int32_t position) { return NonNegative(position * 100.0); }
uint32_t PositionToDClickDelay(int32_t position) { return NonNegative(position * 100.0); }
float PositionToClickRange(int32_t position) { return static_cast<float>(position / 10.0); }
uint32_t PositionToSmooth(int32_t position) { return NonNegative(position); }

int32_t ClampToSlider(int32_t position, SliderRange range) {
    if (position < range.minimum) return range.minimum;
    if (position > range.maximum) return range.maximum;
    return position;
}

AdvSettingPositions PositionsFromEffects(const EffectsRecord& effects) {
    AdvSettingPositions p;
    p.rightClick = effects.rightClick != 0;
    p.rClickDelay = RClickDelayToPosition(effects.msRClickDelay);
    p.dClickDelay = DClickDelayToPosition(effects.msDClickDelay);
    p.clickRange = ClickRangeToPosition(effects.msRDClickRange);
    p.smooth = SmoothToPosition(effects.smoothValue);
    return p;
}

AdvSettingPositions ClampToSliders(const AdvSettingPositions& positions) {
    AdvSettingPositions p = positions;
    p.rClickDelay = ClampToSlider(p.rClickDelay, kRClickDelaySlider);
    p.dClickDelay = ClampToSlider(p.dClickDelay, kDClickDelaySlider);
    p.clickRange = ClampToSlider(p.clickRange, kClickRangeSlider);
    p.smooth = ClampToSlider(p.smooth, kSmoothSlider);
    return p;
}

void WritePositionsToEffects(EffectsRecord& effects, const AdvSettingPositions& positions) {
    ForceHiddenEffects(effects);
    effects.rightClick = positions.rightClick ? 1 : 0;
    effects.msRClickDelay = PositionToRClickDelay(positions.rClickDelay);
    effects.msDClickDelay = PositionToDClickDelay(positions.dClickDelay);
    effects.msRDClickRange = PositionToClickRange(positions.clickRange);
    effects.smoothValue = PositionToSmooth(positions.smooth);
}

PenItemState ReadPenItem(bool answered, const MultiConfigRecord& reply, uint32_t& pen) {
    pen = 0;
    if (!answered) return PenItemState::NotAnswered;
    if (reply.mark != kMultiConfigMark) return PenItemState::Missing;
    pen = reply.DataWord(kPenFlagWord);
    return PenItemState::Stored;
}

void FillPenItem(MultiConfigRecord& buffer, uint32_t pen) {
    buffer.itemId = kPenItemId;
    buffer.length = kMultiConfigFollowing;
    buffer.mark = kMultiConfigMark;
    buffer.SetDataWord(kPenFlagWord, pen);
}

}  // namespace VexoSource
