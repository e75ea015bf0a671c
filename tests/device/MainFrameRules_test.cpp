#include "device/MainFrameRules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace VexoSource;

namespace {

std::vector<std::u16string> Texts(const std::vector<VexoWString>& list) {
    std::vector<std::u16string> out;
    for (const VexoWString& w : list) out.push_back(w.str);
    return out;
}

std::vector<VexoWString> Ids(std::initializer_list<const char16_t*> ids) {
    std::vector<VexoWString> out;
    for (const char16_t* id : ids) out.emplace_back(id);
    return out;
}

}  // namespace

TEST(MainFrameRules, ConfigVersionFromText) {
    struct Row {
        const char* text;
        uint32_t version;
    } rows[] = {
        {"2.0.0.0", 20}, {"2.6", 26}, {"3", 0}, {"", 0}, {"2", 0}, {"..2..6..", 26}, {"2x.7", 27}, {"abc.def", 0},
        {"1.12", 22},  // units are not bounded to one digit: 10 * 1 + 12
        {"-1.0", 4294967286u},  // what the signed sum gives as unsigned
        // Beyond the arithmetic's range (atol saturates, and ten times that overflows): the
        // newest version there can be, or the oldest for a negative one.
        {"999999999999999999999.0", 0xFFFFFFFFu}, {"922337203685477581.0", 0xFFFFFFFFu},
        {"922337203685477580.9", 0xFFFFFFFFu}, {"-999999999999999999999.5", 0},
    };
    for (const Row& r : rows) EXPECT_EQ(ParseConfigVersion(r.text), r.version) << r.text;
}

TEST(MainFrameRules, DeviceListReply) {
    struct Row {
        std::string bytes;  // the reply as delivered
        bool ok;
        std::vector<std::u16string> ids;
    } rows[] = {
        {std::string("AAAA:BBBB::CCCC\0", 16), true, {u"AAAA", u"BBBB", u"CCCC"}},
        {std::string("0102030405060708\0", 17), true, {u"0102030405060708"}},
        {std::string("\0", 1), true, {}},
        {std::string("A:B\0junk\0", 9), true, {u"A", u"B"}},  // text ends at the first NUL
        {std::string("A:B", 3), false, {}},                    // not NUL-terminated
        {std::string("A:B\0x", 5), false, {}},
    };
    for (const Row& r : rows) {
        std::vector<VexoWString> list = Ids({u"keep"});
        const bool ok = ParseDeviceList(reinterpret_cast<const uint8_t*>(r.bytes.data()),
                                        static_cast<int32_t>(r.bytes.size()), list);
        EXPECT_EQ(ok, r.ok) << r.bytes;
        if (r.ok) EXPECT_EQ(Texts(list), r.ids) << r.bytes;
        else EXPECT_EQ(Texts(list), std::vector<std::u16string>{u"keep"}) << "list untouched on failure";
    }
    std::vector<VexoWString> list;
    EXPECT_FALSE(ParseDeviceList(nullptr, 0, list));
}

TEST(MainFrameRules, ChoiceEditKeepsDeletesAndAppends) {
    struct Row {
        const char* name;
        std::vector<std::u16string> items;
        std::u16string current;
        std::vector<VexoWString> devices;
        std::vector<size_t> deletions;
        std::vector<std::u16string> appends;
        bool currentGone;
    } rows[] = {
        {"case ignored, shown item gone", {u"abc", u"DEF"}, u"DEF", Ids({u"ABC", u"XYZ"}), {1}, {u"XYZ"}, true},
        {"other item gone", {u"abc", u"DEF"}, u"abc", Ids({u"ABC", u"XYZ"}), {1}, {u"XYZ"}, false},
        {"no change", {u"A", u"B"}, u"A", Ids({u"A", u"B"}), {}, {}, false},
        {"indices shift as items go", {u"A", u"B", u"C", u"D"}, u"D", Ids({u"B", u"D"}), {0, 1}, {}, false},
        {"all replaced", {u"A", u"B"}, u"B", Ids({u"C"}), {0, 0}, {u"C"}, true},
        {"duplicate items each use one id", {u"A", u"A"}, u"x", Ids({u"A"}), {1}, {}, false},
        {"shown text compared exactly", {u"abc"}, u"ABC", Ids({u"XYZ"}), {0}, {u"XYZ"}, false},
    };
    for (const Row& r : rows) {
        const ChoiceEdit e = PlanChoiceEdit(r.items, r.current, r.devices);
        EXPECT_EQ(e.deletions, r.deletions) << r.name;
        EXPECT_EQ(e.appends, r.appends) << r.name;
        EXPECT_EQ(e.currentGone, r.currentGone) << r.name;
    }
}

TEST(MainFrameRules, InformationTexts) {
    uint8_t status[kRuntimeStatusLength] = {};
    status[9] = 10;
    EXPECT_EQ(TouchPointsText(status), u"10");
    status[9] = 255;
    EXPECT_EQ(TouchPointsText(status), u"255");

    DeviceInfoRecord info{};
    info.bytes[35] = 65;
    EXPECT_EQ(ScreenSizeNumber(info, "Infrared"), u"65");
    EXPECT_EQ(ScreenSizeNumber(info, "Camera"), u"65") << "the series comparison is case-sensitive";
    EXPECT_EQ(ScreenSizeNumber(info, "camera"), u"55");
    EXPECT_EQ(info.bytes[35], 65) << "the record stays as the device sent it";

    struct Row {
        uint8_t start, current;
        const char16_t* text;
    } rows[] = {{0, 26, u"1.0"}, {1, 26, u"1.0"}, {2, 26, u"2.6"}, {26, 26, u"2.6"}, {26, 20, u"2.0"},
                {26, 0, u"0.0"}, {26, 255, u"25.5"}};
    for (const Row& r : rows) EXPECT_EQ(FirmwareText(r.start, r.current), r.text) << int(r.start) << " " << int(r.current);

    EXPECT_EQ(ServiceModeKey(3), "Running");
    EXPECT_EQ(ServiceModeKey(2), "Hardware_Mode");
    EXPECT_EQ(ServiceModeKey(0), "");
    EXPECT_EQ(ServiceModeKey(4), "");
}

TEST(MainFrameRules, ProductSeriesReply) {
    struct Row {
        const char* name;
        uint32_t value;
        std::string text;  // bytes from offset 4
        size_t length;     // reply length delivered
        bool ok;
        std::string series;
        uint32_t required;
    } rows[] = {
        {"series and version", 30, std::string("camera:X1:2\0", 12), 42, true, "camera", 30},
        {"empty leading fields skipped", 20, std::string("::IR65\0", 7), 42, true, "IR65", 20},
        {"no field keeps the series", 25, std::string("::\0", 3), 42, true, "Infrared", 25},
        {"no NUL within the reply", 21, std::string(38, 'a'), 42, true, std::string(38, 'a'), 21},
        {"short reply: version only", 22, "", 4, true, "Infrared", 22},
        {"too short", 0, "", 3, false, "Infrared", 7},
    };
    for (const Row& r : rows) {
        uint8_t reply[kProductSeriesLength] = {};
        std::memcpy(reply, &r.value, 4);
        std::memcpy(reply + 4, r.text.data(), std::min<size_t>(r.text.size(), 38));
        std::string series = "Infrared";
        uint32_t required = 7;
        EXPECT_EQ(ParseProductSeries(reply, r.length, series, required), r.ok) << r.name;
        EXPECT_EQ(series, r.series) << r.name;
        EXPECT_EQ(required, r.required) << r.name;
    }
}

TEST(MainFrameRules, WatchTiming) {
    struct Row {
        uint32_t now, start;
        bool first;
        uint32_t wait;
    } rows[] = {
        {5, 0, true, 0},                    // the first pass starts at once
        {1000, 1000, false, 3001},          // passes start more than 3000 ms apart
        {4000, 1000, false, 1},
        {4001, 1000, false, 0},
        {10, 0xFFFFFF00u, false, 3001 - 0x10A},  // across the tick count's wrap
    };
    for (const Row& r : rows) EXPECT_EQ(WatchWaitMs(r.now, r.start, r.first), r.wait) << r.now << " " << r.start;

    EXPECT_TRUE(OrientationCheckDue(100, 0, true));
    EXPECT_FALSE(OrientationCheckDue(4999, 0, false));
    EXPECT_TRUE(OrientationCheckDue(5000, 0, false));
    EXPECT_FALSE(OrientationCheckDue(3000 + 3001, 3000, false)) << "the pass after a check skips it";
    EXPECT_TRUE(OrientationCheckDue(3000 + 2 * 3001, 3000, false)) << "every second pass checks";
    EXPECT_TRUE(OrientationCheckDue(100, 0xFFFFE000u, false)) << "wrap";
}

TEST(MainFrameRules, OrientationItem) {
    auto stored = [](uint32_t mark, uint32_t itemLength, uint32_t orientation) {
        MultiConfigRecord r{};
        r.itemId = 13;
        r.length = 40;
        r.mark = mark;
        std::memcpy(r.data, &itemLength, 4);
        std::memcpy(r.data + 4, &orientation, 4);
        for (int i = 8; i < 36; ++i) r.data[i] = static_cast<uint8_t>(0xA0 + i);  // further data
        return r;
    };
    auto word = [](const MultiConfigRecord& r, size_t offset) {
        uint32_t v = 0;
        std::memcpy(&v, reinterpret_cast<const uint8_t*>(&r) + offset, 4);
        return v;
    };
    MultiConfigRecord out{};

    EXPECT_EQ(PlanOrientation(stored(kMultiConfigMark, 28, 1), 1, out), OrientationAction::None);

    const MultiConfigRecord valid = stored(kMultiConfigMark, 28, 0);
    ASSERT_EQ(PlanOrientation(valid, 1, out), OrientationAction::WriteDisplay);
    EXPECT_EQ(word(out, 0), 13u);
    EXPECT_EQ(word(out, 4), 40u);
    EXPECT_EQ(word(out, 8), kMultiConfigMark);
    EXPECT_EQ(word(out, 12), 28u);
    EXPECT_EQ(word(out, 16), 1u);
    EXPECT_EQ(0, std::memcmp(out.data + 8, valid.data + 8, 28)) << "further item data kept as read";

    for (const MultiConfigRecord& invalid : {stored(0, 28, 3), stored(kMultiConfigMark, 27, 3)}) {
        ASSERT_EQ(PlanOrientation(invalid, 3, out), OrientationAction::WriteDefault);
        EXPECT_EQ(word(out, 0), 13u);
        EXPECT_EQ(word(out, 4), 40u);
        EXPECT_EQ(word(out, 8), kMultiConfigMark);
        EXPECT_EQ(word(out, 12), 28u);
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&out);
        for (size_t i = 16; i < 40; ++i) EXPECT_EQ(bytes[i], 0) << "offset " << i;
        EXPECT_EQ(0, std::memcmp(bytes + 40, reinterpret_cast<const uint8_t*>(&invalid) + 40, 8)) << "last 8 bytes as read";
    }
}
