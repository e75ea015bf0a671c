#include "device/AdvSettingRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include "support/PackedValue.h"

using namespace VexoSource;

TEST(AdvSettingRules, StoredValuesBecomeTruncatedPositions) {
    struct Row {
        uint32_t ms;
        int32_t position;
    } delays[] = {{2000, 20}, {2550, 25}, {2599, 25}, {800, 8}, {99, 0}, {0, 0}, {0xFFFFFFFFu, 42949672}};
    for (const Row& r : delays) {
        EXPECT_EQ(RClickDelayToPosition(r.ms), r.position) << r.ms;
        EXPECT_EQ(DClickDelayToPosition(r.ms), r.position) << r.ms;
    }

    struct RangeRow {
        float stored;
        int32_t position;
    } ranges[] = {
        {0.3f, 3}, {0.1f, 1}, {0.2f, 2}, {0.4f, 4}, {0.5f, 5}, {0.29f, 2}, {0.0f, 0}, {-0.35f, -3},
        {std::numeric_limits<float>::quiet_NaN(), 0},
        {std::numeric_limits<float>::infinity(), std::numeric_limits<int32_t>::max()},
        {-1e30f, std::numeric_limits<int32_t>::min()},
    };
    for (const RangeRow& r : ranges) EXPECT_EQ(ClickRangeToPosition(r.stored), r.position) << r.stored;

    EXPECT_EQ(SmoothToPosition(4), 4);
    EXPECT_EQ(SmoothToPosition(0xFFFFFFFFu), std::numeric_limits<int32_t>::max());  // upper end, not negative
}

TEST(AdvSettingRules, PositionsBecomeStoredValues) {
    EXPECT_EQ(PositionToRClickDelay(25), 2500u);
    EXPECT_EQ(PositionToRClickDelay(8), 800u);
    EXPECT_EQ(PositionToDClickDelay(7), 700u);
    EXPECT_EQ(PositionToRClickDelay(-3), 0u);
    EXPECT_EQ(PositionToSmooth(6), 6u);
    EXPECT_EQ(PositionToSmooth(-1), 0u);
    // Position 3 is stored as the f32 nearest 0.3, the manufacturer's bit pattern.
    EXPECT_EQ(BitsOf(PositionToClickRange(3)), 0x3E99999Au);
    for (int32_t p = kClickRangeSlider.minimum; p <= kClickRangeSlider.maximum; ++p)
        EXPECT_EQ(ClickRangeToPosition(PositionToClickRange(p)), p) << "round trip of " << p;
}

TEST(AdvSettingRules, ClampPutsOutsideValuesAtTheNearestEnd) {
    EXPECT_EQ(ClampToSlider(42949672, kRClickDelaySlider), 32);
    EXPECT_EQ(ClampToSlider(0, kRClickDelaySlider), 8);
    EXPECT_EQ(ClampToSlider(5, kDClickDelaySlider), 5);
    EXPECT_EQ(ClampToSlider(std::numeric_limits<int32_t>::min(), kSmoothSlider), 0);
}

TEST(AdvSettingRules, ManufacturerRecordShowsItsPositionsAndWritesBackUnchanged) {
    EffectsRecord effects{};
    effects.reserved12 = 0.05f;
    effects.rightClick = 1;
    effects.msRClickDelay = 2000;
    effects.msRDClickRange = 0.3f;
    effects.msDClickDelay = 500;
    effects.smoothValue = 1;
    const AdvSettingPositions p = PositionsFromEffects(effects);
    EXPECT_TRUE(Value(p.rightClick));
    EXPECT_EQ(p.rClickDelay, 20);
    EXPECT_EQ(p.dClickDelay, 5);
    EXPECT_EQ(p.clickRange, 3);
    EXPECT_EQ(p.smooth, 1);

    EffectsRecord written = effects;
    WritePositionsToEffects(written, p);
    EXPECT_EQ(std::memcmp(&written, &effects, sizeof effects), 0);
}

TEST(AdvSettingRules, WriteForcesHiddenFieldsAndTakesTheControls) {
    EffectsRecord effects;
    std::memset(&effects, 0xAA, sizeof effects);
    AdvSettingPositions p;
    p.rightClick = false;
    p.rClickDelay = 25;
    p.dClickDelay = 7;
    p.clickRange = 1;
    p.smooth = 6;
    WritePositionsToEffects(effects, p);
    EXPECT_EQ(Value(effects.reserved0), 0u);
    EXPECT_EQ(BitsOf(Value(effects.reserved4)), 0u);
    EXPECT_EQ(BitsOf(Value(effects.reserved8)), 0u);
    EXPECT_EQ(BitsOf(Value(effects.reserved12)), 0x3D4CCCCDu);
    EXPECT_EQ(Value(effects.rightClick), 0u);
    EXPECT_EQ(Value(effects.msRClickDelay), 2500u);
    EXPECT_EQ(Value(effects.msDClickDelay), 700u);
    EXPECT_EQ(BitsOf(Value(effects.msRDClickRange)), BitsOf(0.1f));
    EXPECT_EQ(Value(effects.smoothValue), 6u);
}

TEST(AdvSettingRules, PenItemIsReadOrCreated) {
    MultiConfigRecord reply;
    std::memset(&reply, 0x11, sizeof reply);
    uint32_t pen = 99;

    EXPECT_EQ(ReadPenItem(false, reply, pen), PenItemState::NotAnswered);
    EXPECT_EQ(pen, 0u);

    EXPECT_EQ(ReadPenItem(true, reply, pen), PenItemState::Missing);  // no mark: not stored yet
    EXPECT_EQ(pen, 0u);

    reply.mark = kMultiConfigMark;
    const uint32_t stored = 1;
    std::memcpy(reply.data, &stored, 4);
    EXPECT_EQ(ReadPenItem(true, reply, pen), PenItemState::Stored);
    EXPECT_EQ(pen, 1u);

    MultiConfigRecord buffer;
    std::memset(&buffer, 0x22, sizeof buffer);
    FillPenItem(buffer, 0);
    EXPECT_EQ(Value(buffer.itemId), 2u);
    EXPECT_EQ(Value(buffer.length), 40u);
    EXPECT_EQ(Value(buffer.mark), kMultiConfigMark);
    uint32_t word;
    std::memcpy(&word, buffer.data, 4);
    EXPECT_EQ(word, 0u);
    EXPECT_EQ(buffer.data[4], 0x22);  // the other data bytes stay
    EXPECT_EQ(buffer.data[35], 0x22);
}
