// The device profile file: what is written reads back byte for byte, and every document that
// cannot be trusted is refused with the profile left untouched.
#include "device/ProfileDocument.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstring>
#include <functional>
#include <string>

using namespace VexoSource;
using nlohmann::json;

namespace {

// Every byte different, so that a shifted or swapped record shows.
DeviceProfile Sample() {
    DeviceProfile p;
    p.device = "0102030405060708";
    auto fill = [](void* record, size_t size, uint8_t first) {
        auto* b = static_cast<uint8_t*>(record);
        for (size_t i = 0; i < size; ++i) b[i] = uint8_t(first + i);
    };
    fill(&p.config, sizeof p.config, 0x10);
    fill(&p.effects, sizeof p.effects, 0x40);
    fill(&p.calibration, sizeof p.calibration, 0x80);
    for (uint32_t id : {2u, 13u}) {
        MultiConfigRecord item{};
        fill(&item, sizeof item, uint8_t(0xC0 + id));
        item.itemId = id;
        item.length = 40;
        item.mark = kMultiConfigMark;
        p.items[id] = item;
    }
    return p;
}

bool SameBytes(const DeviceProfile& a, const DeviceProfile& b) {
    if (a.device != b.device || a.items.size() != b.items.size()) return false;
    if (std::memcmp(&a.config, &b.config, sizeof a.config) || std::memcmp(&a.effects, &b.effects, sizeof a.effects) ||
        std::memcmp(&a.calibration, &b.calibration, sizeof a.calibration))
        return false;
    for (const auto& entry : a.items) {
        const auto other = b.items.find(entry.first);
        if (other == b.items.end() || std::memcmp(&entry.second, &other->second, sizeof entry.second)) return false;
    }
    return true;
}

}  // namespace

TEST(ProfileDocument, WrittenProfileReadsBackByteForByteAndSaysWhatItIs) {
    const DeviceProfile original = Sample();
    const std::string text = ProfileToJson(original, "qlncfg-cli 9.9.9");
    DeviceProfile read;
    std::string problem;
    ASSERT_EQ(ProfileFromJson(text, read, problem), ProfileProblem::None) << problem;
    EXPECT_TRUE(SameBytes(original, read));

    const json doc = json::parse(text);
    EXPECT_EQ(doc["format"], "qlncfg-device-profile");
    EXPECT_EQ(doc["version"], 1);
    EXPECT_EQ(doc["device"], "0102030405060708");
    EXPECT_EQ(doc["written_by"], "qlncfg-cli 9.9.9");
    EXPECT_EQ(doc["records"]["device_config"].get<std::string>().substr(0, 6), "101112");
    EXPECT_EQ(doc["records"]["multi_config"].size(), 2u);
    EXPECT_TRUE(doc["summary"].is_object());

    // A device without the orientation item: the item is left out, and stays out.
    DeviceProfile fewer = original;
    fewer.items.erase(13);
    ASSERT_EQ(ProfileFromJson(ProfileToJson(fewer, "x"), read, problem), ProfileProblem::None);
    EXPECT_EQ(read.items.count(13), 0u);
    EXPECT_TRUE(SameBytes(fewer, read));
}

TEST(ProfileDocument, DocumentsThatCannotBeTrustedAreRefusedAndChangeNothing) {
    const json good = json::parse(ProfileToJson(Sample(), "x"));
    auto edited = [&](const std::function<void(json&)>& change) {
        json doc = good;
        change(doc);
        return doc.dump();
    };
    const std::string badItem = std::string(96, '0');
    struct Row {
        const char* name;
        std::string text;
        ProfileProblem expected;
        const char* says;
    } rows[] = {
        {"empty file", "", ProfileProblem::NotJson, "not JSON"},
        {"cut short", good.dump().substr(0, 120), ProfileProblem::NotJson, "not JSON"},
        {"another document", R"({"name": "something else"})", ProfileProblem::NotAProfile, "not a device profile"},
        {"an array", "[1, 2]", ProfileProblem::NotAProfile, "not a device profile"},
        {"no version", edited([](json& d) { d.erase("version"); }), ProfileProblem::NotAProfile, "no version"},
        {"version as text", edited([](json& d) { d["version"] = "1"; }), ProfileProblem::NotAProfile, "no version"},
        {"future version", edited([](json& d) { d["version"] = 2; }), ProfileProblem::NewerVersion, "version 2, newer"},
        {"version 0", edited([](json& d) { d["version"] = 0; }), ProfileProblem::NotAProfile, "does not exist"},
        {"no device", edited([](json& d) { d.erase("device"); }), ProfileProblem::BadRecord, "names no device"},
        {"no records", edited([](json& d) { d.erase("records"); }), ProfileProblem::BadRecord, "no records"},
        {"record missing", edited([](json& d) { d["records"].erase("effects"); }), ProfileProblem::BadRecord,
         "records.effects is missing"},
        {"record one byte short", edited([](json& d) { d["records"]["calibration"] = std::string(70, 'a'); }),
         ProfileProblem::BadRecord, "records.calibration is not 36 bytes"},
        {"record not hexadecimal",
         edited([](json& d) { d["records"]["device_config"] = "zz" + std::string(60, '0'); }),
         ProfileProblem::BadRecord, "records.device_config is not 31 bytes"},
        {"unknown item", edited([&](json& d) { d["records"]["multi_config"]["7"] = badItem; }),
         ProfileProblem::BadRecord, "multi_config.7 is not an item"},
        {"item without its mark", edited([&](json& d) { d["records"]["multi_config"]["2"] = badItem; }),
         ProfileProblem::BadRecord, "not a stored item 2"},
        {"item under another id",
         edited([&](json& d) { d["records"]["multi_config"]["2"] = d["records"]["multi_config"]["13"]; }),
         ProfileProblem::BadRecord, "not a stored item 2"},
        {"far too large", std::string(kProfileMaxBytes + 1, ' '), ProfileProblem::NotAProfile, "larger than"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        DeviceProfile untouched;
        untouched.device = "unchanged";
        std::string problem;
        EXPECT_EQ(ProfileFromJson(r.text, untouched, problem), r.expected);
        EXPECT_NE(problem.find(r.says), std::string::npos) << problem;
        EXPECT_EQ(untouched.device, "unchanged");
        EXPECT_TRUE(untouched.items.empty());
    }
}
