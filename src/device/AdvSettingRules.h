// Conversions between the service's effects values and the advanced settings dialog's controls.
// Pure: no wx, no I/O.
#pragma once

#include <cstdint>

#include "servicelink/ServiceContract.h"

namespace VexoSource {

struct SliderRange {
    int32_t minimum;
    int32_t maximum;
};
constexpr SliderRange kRClickDelaySlider{8, 32};  // x 100 ms
constexpr SliderRange kDClickDelaySlider{3, 7};   // x 100 ms
constexpr SliderRange kClickRangeSlider{1, 5};    // x 0.1
constexpr SliderRange kSmoothSlider{0, 6};

// Positions computed as the service's units demand (truncated toward zero). They may lie outside
// the slider's range; the slider shows such a value at its nearest end.
int32_t RClickDelayToPosition(uint32_t ms);
int32_t DClickDelayToPosition(uint32_t ms);
// NaN reads as 0 and values beyond int32 saturate: a corrupt float must not reach an undefined
// float-to-int conversion.
int32_t ClickRangeToPosition(float range);
// Saturates at INT32_MAX so that a huge stored value lands on the slider's upper end.
int32_t SmoothToPosition(uint32_t value);

uint32_t PositionToRClickDelay(int32_t position);
uint32_t PositionToDClickDelay(int32_t position);
float PositionToClickRange(int32_t position);
uint32_t PositionToSmooth(int32_t position);

int32_t ClampToSlider(int32_t position, SliderRange range);

// What the dialog's controls hold.
struct AdvSettingPositions {
    bool rightClick = false;
    int32_t rClickDelay = 0;
    int32_t dClickDelay = 0;
    int32_t clickRange = 0;
    int32_t smooth = 0;
};

AdvSettingPositions PositionsFromEffects(const EffectsRecord& effects);

// The positions as the sliders show them: each at the nearest end of its slider.
AdvSettingPositions ClampToSliders(const AdvSettingPositions& positions);

// Writes the five shown fields from the controls and forces the four hidden ones; the rest of
// the record keeps what the service last answered.
void WritePositionsToEffects(EffectsRecord& effects, const AdvSettingPositions& positions);

// The pen-simulation item after a GetMultiConfig of item 2.
enum class PenItemState { NotAnswered, Stored, Missing };
PenItemState ReadPenItem(bool answered, const MultiConfigRecord& reply, uint32_t& pen);

// Item 2 with the pen flag as first data word; the other data bytes stay as they are.
void FillPenItem(MultiConfigRecord& buffer, uint32_t pen);

}  // namespace VexoSource
