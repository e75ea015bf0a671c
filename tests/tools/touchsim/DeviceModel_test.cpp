// The simulated device's answers, without sockets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "touchsim/DeviceModel.h"
#include "support/PackedValue.h"

using namespace touchsim;
using namespace VexoSource;

namespace {

template <class T>
T As(const std::vector<uint8_t>& bytes) {
    T out;
    EXPECT_EQ(bytes.size(), sizeof(T));
    std::memset(&out, 0, sizeof out);
    std::memcpy(&out, bytes.data(), std::min(bytes.size(), sizeof(T)));
    return out;
}

template <class T>
CallOutcome Set(DeviceModel& m, uint32_t code, const T& record) {
    return HandleCall(m, code, reinterpret_cast<const uint8_t*>(&record), sizeof record, 1, true);
}

CallOutcome Get(DeviceModel& m, uint32_t code, uint32_t expected) {
    return HandleCall(m, code, nullptr, 0, expected, true);
}

uint32_t Word(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

TEST(TouchsimModel, InitialStateHoldsTheFactoryRecordsAndASensibleDevice) {
    DeviceModel m;

    // Packed record: members are copied out before comparing (odd offsets).
    auto config = As<DeviceConfigRecord>(Get(m, GetDeviceConfig, 31).reply);
    EXPECT_EQ(config.byte0, 1);
    EXPECT_EQ(std::vector<uint8_t>(config.bytes1to4, config.bytes1to4 + 4), (std::vector<uint8_t>{127, 0, 0, 0}));
    EXPECT_EQ(uint32_t{Value(config.value7)}, 3333u);
    EXPECT_EQ(uint32_t{Value(config.value11)}, 3000u);
    EXPECT_EQ(uint32_t{Value(config.value15)}, 1u);
    EXPECT_EQ(uint32_t{Value(config.value19)}, 1u);
    EXPECT_EQ(uint32_t{Value(config.mouseMode)}, 0u);
    EXPECT_EQ(uint32_t{Value(config.multiTouchMode)}, 1u);

    std::vector<uint8_t> effects = Get(m, GetEffects, 36).reply;
    const uint32_t expectedWords[9] = {0, 0, 0, 0x3D4CCCCD, 1, 2000, 0x3E99999A, 500, 1};
    ASSERT_EQ(effects.size(), 36u);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(Word(effects.data() + 4 * i), expectedWords[i]) << "word " << i;

    EXPECT_EQ(Get(m, GetCalibration, 36).reply, std::vector<uint8_t>(36, 0));

    std::vector<uint8_t> info = Get(m, GetDeviceInfo, 38).reply;
    ASSERT_EQ(info.size(), 38u);
    EXPECT_EQ(info[1], 26);
    EXPECT_EQ(info[35], 65);

    std::vector<uint8_t> status = Get(m, GetRuntimeStatus, 18).reply;
    ASSERT_EQ(status.size(), 18u);
    EXPECT_EQ(status[9], 10);
    EXPECT_EQ(status[15], 3);

    std::vector<uint8_t> series = Get(m, GetProductSeries, 42).reply;
    ASSERT_EQ(series.size(), 42u);
    EXPECT_EQ(Word(series.data()), 20u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(series.data() + 4)).rfind("Infrared:", 0), 0u);

    std::string list(reinterpret_cast<const char*>(Get(m, GetDeviceList, 1024).reply.data()));
    EXPECT_EQ(list, "0102030405060708");
}

TEST(TouchsimModel, MultiConfigItemsCarryTheMarkOnlyOnceStored) {
    DeviceModel m;
    auto getItem = [&](uint32_t id) {
        MultiConfigRecord ask;
        std::memset(&ask, 0xCC, sizeof ask);  // whatever the caller's buffer held
        ask.itemId = id;
        return HandleCall(m, GetMultiConfig, reinterpret_cast<const uint8_t*>(&ask), sizeof ask, 48, true).reply;
    };

    auto item2 = As<MultiConfigRecord>(getItem(2));  // stored from the start, first data word 0
    EXPECT_EQ(Value(item2.itemId), 2u);
    EXPECT_EQ(Value(item2.length), 40u);
    EXPECT_EQ(Value(item2.mark), kMultiConfigMark);
    EXPECT_EQ(Word(item2.data), 0u);

    auto item13 = As<MultiConfigRecord>(getItem(13));  // no orientation item yet: id back, no mark
    EXPECT_EQ(Value(item13.itemId), 13u);
    EXPECT_NE(Value(item13.mark), kMultiConfigMark);

    MultiConfigRecord orientation = DeviceModel::StoredItem(13, 28, 1);
    EXPECT_EQ(Set(m, SetMultiConfig, orientation).reply, std::vector<uint8_t>{1});
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&orientation);
    EXPECT_EQ(getItem(13), std::vector<uint8_t>(raw, raw + 48));
    EXPECT_EQ(Value(As<MultiConfigRecord>(getItem(2)).mark), kMultiConfigMark) << "other items untouched";

    // Only the whole record names an item: the id alone (4 bytes) gets an empty record.
    const uint32_t idOnly = 13;
    CallOutcome shortCall = HandleCall(m, GetMultiConfig, reinterpret_cast<const uint8_t*>(&idOnly), 4, 48, true);
    EXPECT_EQ(shortCall.reply, std::vector<uint8_t>(48, 0));
    EXPECT_EQ(shortCall.decoded, "short payload (4 of 48 bytes), not stored");
}

TEST(TouchsimModel, WrittenRecordsAreReadBackAndDecodedForTheTrace) {
    DeviceModel m;
    DeviceConfigRecord config = DeviceModel::FactoryDeviceConfig();
    config.mouseMode = 1;
    config.multiTouchMode = 0;
    CallOutcome set = Set(m, SetDeviceConfig, config);
    EXPECT_EQ(set.reply, std::vector<uint8_t>{1});
    EXPECT_NE(set.decoded.find("mouse=1 multitouch=0"), std::string::npos) << set.decoded;
    EXPECT_EQ(uint32_t{Value(As<DeviceConfigRecord>(Get(m, GetDeviceConfig, 31).reply).mouseMode)}, 1u);

    EffectsRecord effects = DeviceModel::FactoryEffects();
    effects.smoothValue = 6;
    Set(m, SetEffects, effects);
    EXPECT_EQ(Value(As<EffectsRecord>(Get(m, GetEffects, 36).reply).smoothValue), 6u);

    CalibrationRecord calibration = DeviceModel::FactoryCalibration();
    calibration.enabled = 1;
    calibration.bottomRight = {4000, 3000, 1900, 1060};
    Set(m, SetCalibration, calibration);
    auto back = As<CalibrationRecord>(Get(m, GetCalibration, 36).reply);
    EXPECT_EQ(Value(back.enabled), 1u);
    EXPECT_EQ(Value(back.bottomRight.touchX), 4000);
    EXPECT_EQ(Value(back.bottomRight.screenY), 1060);

    uint8_t mode = 2;
    EXPECT_EQ(HandleCall(m, SetRunMode, &mode, 1, 1, true).reply, std::vector<uint8_t>{1});
    EXPECT_EQ(Get(m, GetRunMode, 1).reply, std::vector<uint8_t>{2});
    EXPECT_EQ(Get(m, GetRuntimeStatus, 18).reply[15], 2);
}

TEST(TouchsimModel, BadCallsLeaveTheModelAloneAndStillGetAnAnswer) {
    struct Case {
        const char* what;
        uint32_t code;
        size_t payloadLength;
        uint8_t firstByte;
    } cases[] = {
        {"short device configuration", SetDeviceConfig, 30, 0},
        {"short effects", SetEffects, 20, 0},
        {"short calibration", SetCalibration, 35, 0},
        {"short multi-configuration", SetMultiConfig, 47, 0},
        {"run mode outside 2 and 3", SetRunMode, 1, 7},
        {"run mode without payload", SetRunMode, 0, 0},
        {"unknown code", 77, 0, 0},
    };
    for (const Case& c : cases) {
        DeviceModel m;
        const DeviceModel before = m;
        std::vector<uint8_t> payload(c.payloadLength, 0x55);
        if (!payload.empty()) payload[0] = c.firstByte;
        CallOutcome out = HandleCall(m, c.code, payload.data(), payload.size(), 1, true);
        EXPECT_EQ(out.reply, std::vector<uint8_t>{0}) << c.what;
        EXPECT_EQ(std::memcmp(&m.deviceConfig, &before.deviceConfig, sizeof m.deviceConfig), 0) << c.what;
        EXPECT_EQ(std::memcmp(&m.effects, &before.effects, sizeof m.effects), 0) << c.what;
        EXPECT_EQ(std::memcmp(&m.calibration, &before.calibration, sizeof m.calibration), 0) << c.what;
        EXPECT_EQ(m.multiConfig.size(), before.multiConfig.size()) << c.what;
        EXPECT_EQ(m.runMode, before.runMode) << c.what;
        EXPECT_FALSE(out.decoded.empty()) << c.what;
    }
}

TEST(TouchsimModel, RepliesNeverExceedTheExpectedLength) {
    struct Case {
        uint32_t code;
        uint32_t expected;
        size_t length;
    } cases[] = {
        {GetDeviceInfo, 38, 38}, {GetDeviceInfo, 10, 10}, {GetDeviceInfo, 100, 38},
        {GetRuntimeStatus, 4, 4}, {GetProductSeries, 42, 42}, {GetEffects, 0, 0},
        {GetDeviceList, 1024, 17}, {GetDeviceList, 8, 8}, {GetAccessState, 1, 1},
        {ResetDevice, 0, 0}, {99, 0, 0},
    };
    for (const auto& c : cases) {
        DeviceModel m;
        EXPECT_EQ(Get(m, c.code, c.expected).reply.size(), c.length) << RequestName(c.code) << " " << c.expected;
    }
}

TEST(TouchsimModel, DeviceListJoinsIdsWithColonsAndEndsWithNul) {
    DeviceModel m;
    m.deviceIds = {"0102030405060708", "A1B2C3D4E5F60718"};
    std::vector<uint8_t> reply = Get(m, GetDeviceList, 1024).reply;
    std::string text = "0102030405060708:A1B2C3D4E5F60718";
    ASSERT_EQ(reply.size(), text.size() + 1);
    EXPECT_EQ(std::string(reply.begin(), reply.end() - 1), text);
    EXPECT_EQ(reply.back(), 0);

    m.deviceIds.clear();
    EXPECT_EQ(Get(m, GetDeviceList, 1024).reply, std::vector<uint8_t>{0});
}

TEST(TouchsimModel, AccessStateFollowsTheCallerAndResetIsCounted) {
    DeviceModel m;
    EXPECT_EQ(HandleCall(m, GetAccessState, nullptr, 0, 1, false).reply, std::vector<uint8_t>{0});
    EXPECT_EQ(HandleCall(m, GetAccessState, nullptr, 0, 1, true).reply, std::vector<uint8_t>{1});
    CallOutcome reset = Get(m, ResetDevice, 1);
    EXPECT_TRUE(reset.wasReset);
    EXPECT_EQ(m.resetCount, 1u);
}

TEST(TouchsimModel, EachDeviceWithRecordsOfItsOwnIsReadAndWrittenByItsSelector) {
    DeviceModel m;
    m.deviceIds = {"0102030405060708", "1111111111111111", "2222222222222222"};
    DeviceRecords& second = m.OwnRecords("1111111111111111");  // selector 8 x 0x11 = 136
    second.inches = 32;
    second.deviceConfig.mouseMode = 1;
    second.deviceConfig.multiTouchMode = 0;
    second.multiConfig[2] = DeviceModel::StoredItem(2, 1);
    ASSERT_EQ(SelectorOf("1111111111111111"), 136u);
    ASSERT_EQ(SelectorOf("0102030405060708"), 36u);

    auto info = [&m](uint32_t selector) {
        return HandleCall(m, GetDeviceInfo, nullptr, 0, 38, true, selector).reply.at(35);
    };
    auto pen = [&m](uint32_t selector) {
        MultiConfigRecord ask{};
        ask.itemId = 2;
        const auto reply = HandleCall(m, GetMultiConfig, reinterpret_cast<const uint8_t*>(&ask), sizeof ask, 48,
                                      true, selector).reply;
        return Word(reply.data() + 12);
    };
    struct Row {
        const char* name;
        uint32_t selector;
        uint8_t inches;
        uint32_t pen;
    } rows[] = {
        {"the device with its own records", 136, 32, 1},
        {"a listed device without its own", 36, 65, 0},
        {"another listed device without its own", SelectorOf("2222222222222222"), 65, 0},
        {"no device chosen yet", 0, 65, 0},
        {"a device that is not listed", 999, 65, 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(info(r.selector), r.inches) << r.name;
        EXPECT_EQ(pen(r.selector), r.pen) << r.name;
    }

    // A write goes to the records its selector names, and to no others.
    EffectsRecord effects = DeviceModel::FactoryEffects();
    effects.smoothValue = 6;
    EXPECT_EQ(HandleCall(m, SetEffects, reinterpret_cast<const uint8_t*>(&effects), sizeof effects, 1, true, 136).reply,
              std::vector<uint8_t>{1});
    EXPECT_EQ(uint32_t{Value(m.ownRecords.at("1111111111111111").effects.smoothValue)}, 6u);
    EXPECT_EQ(uint32_t{Value(m.effects.smoothValue)}, 1u);
    const auto config = As<DeviceConfigRecord>(HandleCall(m, GetDeviceConfig, nullptr, 0, 31, true, 136).reply);
    EXPECT_EQ(uint32_t{Value(config.mouseMode)}, 1u);

    // Giving records of its own copies the shared ones and lists the device once.
    m.inches = 40;
    EXPECT_EQ(m.OwnRecords("3333333333333333").inches, 40);
    EXPECT_EQ(m.OwnRecords("3333333333333333").inches, 40);
    EXPECT_EQ(std::count(m.deviceIds.begin(), m.deviceIds.end(), "3333333333333333"), 1);
}
