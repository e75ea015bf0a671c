#include "touchstream/TuioDecoder.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "support/LogCapture.h"
#include "touchstream/TuioText.h"

using VexoSource::TuioDecodeResult;
using VexoSource::TuioDecoder;
using VexoSource::VexoGroup;
using VexoSource::VexoTUIOTouch_Ele;
using namespace tuiotext;

namespace {

std::vector<int32_t> Ids(const VexoGroup<VexoTUIOTouch_Ele>& set) {
    std::vector<int32_t> ids;
    for (int32_t i = 0; i < set.Count(); ++i) ids.push_back(set.Get(i)->id);
    return ids;
}

VexoTUIOTouch_Ele Touch(int32_t id) {
    VexoTUIOTouch_Ele t;
    t.id = id;
    return t;
}

}  // namespace

TEST(TuioDecoder, ReadsNumbersLikeAWideStream) {
    TuioDecoder decoder;
    const struct {
        const char* text;
        int32_t expected;
    } ints[] = {
        {"12abc", 12}, {"abc", 0}, {"  7", 7}, {"-3", -3}, {"+4", 4}, {"", 0}, {nullptr, 0},
        {"0x1F", 0},   {"1.9", 1}, {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN},
    };
    for (const auto& row : ints) EXPECT_EQ(decoder.ReadInt(row.text), row.expected) << (row.text ? row.text : "(none)");

    const struct {
        const char* text;
        float expected;
    } floats[] = {
        {"0.25", 0.25f},   {"-8.195638E-5", -8.195638E-5f}, {"0.4981610", 0.498161f}, {" 0.5", 0.5f},
        {"1.5xyz", 1.5f}, {"abc", 0.0f}, {"", 0.0f}, {nullptr, 0.0f}, {"nan", 0.0f}, {"inf", 0.0f},
        {"169.4179993", 169.418f}, {"1e3", 1000.0f},
    };
    for (const auto& row : floats)
        EXPECT_FLOAT_EQ(decoder.ReadFloat(row.text), row.expected) << (row.text ? row.text : "(none)");
    // Out of range stays a finite number for the consumers' arithmetic.
    EXPECT_TRUE(std::isfinite(decoder.ReadFloat("1e999")));
    EXPECT_TRUE(std::isfinite(decoder.ReadFloat("-1e999")));
}

TEST(TuioDecoder, BuildsTheTouchSetFromCursorMessages) {
    struct Row {
        const char* name;
        std::string packet;
        TuioDecodeResult result;
        std::vector<int32_t> ids;  // the set afterwards; the set starts as {9}
    };
    const std::string obj = Message({"set", "4", "0.1", "0.1", "0", "0", "0", "0", "0", "0", "0"}, "/tuio/2Dobj");
    const std::vector<Row> rows = {
        {"two sets in order", Packet(Set(3, "0.1", "0.2") + Set(5, "0.3", "0.4")), TuioDecodeResult::Touches, {3, 5}},
        {"source alive set fseq",
         Packet(Message({"source", "driver@127.0.0.1"}) + Alive({7}) + Set(7, "0.5", "0.5") + Fseq(12)),
         TuioDecodeResult::Touches, {7}},
        {"another profile ends the walk", Packet(Set(3, "0.1", "0.2") + obj + Set(5, "0.3", "0.4")),
         TuioDecodeResult::Touches, {3}},
        {"no set empties the set", Packet(Alive({}) + Fseq(-1)), TuioDecodeResult::Touches, {}},
        {"lift: alive without the id", Packet(Alive({}) + Fseq(13)), TuioDecodeResult::Touches, {}},
        {"a cursor message without arguments ends the walk",
         Packet(Set(3, "0.1", "0.2") + "<MESSAGE NAME=\"/tuio/2Dcur\" />" + Set(5, "0.3", "0.4")),
         TuioDecodeResult::Touches, {3}},
        {"a message without a name ends the walk",
         Packet(Set(3, "0.1", "0.2") + "<MESSAGE>" + Arg("s", "set") + Arg("i", "6") + "</MESSAGE>"),
         TuioDecodeResult::Touches, {3}},
        {"unknown commands have no effect", Packet(Message({"frobnicate", "1"}) + Set(2, "0", "0")),
         TuioDecodeResult::Touches, {2}},
        {"other-profile packet leaves the set", Packet(obj + Message({"alive"}, "/tuio/2Dobj")),
         TuioDecodeResult::NoCursor, {9}},
        {"blob packet leaves the set", Packet(Message({"alive", "1"}, "/tuio/2Dblb")), TuioDecodeResult::NoCursor, {9}},
        {"profile names are case-sensitive", Packet(Message({"set", "1", "0", "0"}, "/TUIO/2Dcur")),
         TuioDecodeResult::NoCursor, {9}},
        {"a packet without messages leaves the set", Packet(""), TuioDecodeResult::NoCursor, {9}},
        {"element names are not examined",
         "<P><M NAME=\"/tuio/2Dcur\"><A VALUE=\"set\"/><A VALUE=\"8\"/></M></P>", TuioDecodeResult::Touches, {8}},
        {"a blank after the closing tag parses", Packet(Set(3, "0.1", "0.2")) + " ", TuioDecodeResult::Touches, {3}},
        {"no element at all", "<!-- nothing -->", TuioDecodeResult::NoRoot, {9}},
        {"malformed", Packet(Set(3, "0.1", "0.2")).substr(0, 80) + "</OSCPACKET>", TuioDecodeResult::Malformed, {9}},
        {"the next packet's '<' after the closing tag parses", Packet(Set(3, "0.1", "0.2")) + "<",
         TuioDecodeResult::Touches, {3}},
        // Producers send "set" only for the touches that changed; "alive" names every touch down.
        {"alive keeps a held touch that has no set", Packet(Alive({3, 9}) + Set(3, "0.1", "0.2") + Fseq(4)),
         TuioDecodeResult::Touches, {3, 9}},
        {"alive alone keeps a held touch", Packet(Alive({9}) + Fseq(-1)), TuioDecodeResult::Touches, {9}},
        {"alive names no touch seen before: nothing is made up", Packet(Alive({4}) + Fseq(5)),
         TuioDecodeResult::Touches, {}},
        {"alive after the set: no touch twice", Packet(Set(9, "0.1", "0.2") + Alive({9})), TuioDecodeResult::Touches,
         {9}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture log;
        TuioDecoder decoder;
        VexoGroup<VexoTUIOTouch_Ele> set;
        set.Add(Touch(9));
        const VexoTUIOTouch_Ele* before = set.Get(0);
        EXPECT_EQ(decoder.Decode(row.packet, set), row.result);
        EXPECT_EQ(Ids(set), row.ids);
        if (row.result != TuioDecodeResult::Touches) {
            EXPECT_EQ(set.Get(0), before);  // not rebuilt
        }
        // Only a parser failure is logged.
        EXPECT_EQ(log.Contains("Exception - "), row.result == TuioDecodeResult::Malformed) << ::testing::PrintToString(log.Lines());
    }
}

TEST(TuioDecoder, ReadsTheValuesOfASet) {
    struct Row {
        const char* name;
        std::vector<std::string> values;  // after "set"
        VexoTUIOTouch_Ele expected;
    };
    const std::vector<Row> rows = {
        {"TUIO 1.1 cursor: id and five values", {"4", "0.25", "-8.195638E-5", "0.5", "-0.5", "2.0"},
         {4, 0.25f, -8.195638E-5f, {0.5f, -0.5f, 2.0f, 0.0f, 0.0f}}},
        {"with width and height", {"6", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7"},
         {6, 0.1f, 0.2f, {0.3f, 0.4f, 0.5f, 0.6f, 0.7f}}},
        {"extra values beyond eight are ignored", {"6", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "9", "9"},
         {6, 0.1f, 0.2f, {0.3f, 0.4f, 0.5f, 0.6f, 0.7f}}},
        {"only the id", {"12abc"}, {12, 0.0f, 0.0f, {}}},
        {"nothing after set", {}, {0, 0.0f, 0.0f, {}}},
        {"texts that are not numbers", {"abc", "x", "0.75"}, {0, 0.0f, 0.75f, {}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> values{"set"};
        values.insert(values.end(), row.values.begin(), row.values.end());
        TuioDecoder decoder;
        VexoGroup<VexoTUIOTouch_Ele> set;
        ASSERT_EQ(decoder.Decode(Packet(Message(values)), set), TuioDecodeResult::Touches);
        ASSERT_EQ(set.Count(), 1);
        const VexoTUIOTouch_Ele& t = *set.Get(0);
        EXPECT_EQ(t.id, row.expected.id);
        EXPECT_FLOAT_EQ(t.x, row.expected.x);
        EXPECT_FLOAT_EQ(t.y, row.expected.y);
        for (int k = 0; k < 5; ++k) EXPECT_FLOAT_EQ(t.extra[k], row.expected.extra[k]) << k;
    }

    // An argument without a "VALUE" reads as 0, and the values that follow it keep their places.
    TuioDecoder decoder;
    VexoGroup<VexoTUIOTouch_Ele> set;
    const std::string message = "<MESSAGE NAME=\"/tuio/2Dcur\">" + Arg("s", "set") + Arg("i", "3") +
                                "<ARGUMENT TYPE=\"f\" />" + Arg("f", "0.5") + "</MESSAGE>";
    ASSERT_EQ(decoder.Decode(Packet(message), set), TuioDecodeResult::Touches);
    EXPECT_EQ(set.Get(0)->id, 3);
    EXPECT_FLOAT_EQ(set.Get(0)->x, 0.0f);
    EXPECT_FLOAT_EQ(set.Get(0)->y, 0.5f);
}

// Each packet replaces the whole set: a touch missing from the next packet is gone.
TEST(TuioDecoder, ReplacesTheSetPacketByPacket) {
    TuioDecoder decoder;
    VexoGroup<VexoTUIOTouch_Ele> set;
    ASSERT_EQ(decoder.Decode(Packet(Alive({3, 5}) + Set(3, "0.1", "0.2") + Set(5, "0.3", "0.4")), set),
              TuioDecodeResult::Touches);
    EXPECT_EQ(Ids(set), (std::vector<int32_t>{3, 5}));
    ASSERT_EQ(decoder.Decode(Packet(Alive({5}) + Set(5, "0.35", "0.45")), set), TuioDecodeResult::Touches);
    EXPECT_EQ(Ids(set), std::vector<int32_t>{5});
    EXPECT_FLOAT_EQ(set.Find(5)->x, 0.35f);
    EXPECT_EQ(set.Find(3), nullptr);

    // A touch that is still alive but did not move keeps the values of its last "set".
    ASSERT_EQ(decoder.Decode(Packet(Alive({5, 6}) + Set(6, "0.6", "0.7")), set), TuioDecodeResult::Touches);
    ASSERT_EQ(decoder.Decode(Packet(Alive({5, 6}) + Set(6, "0.65", "0.7")), set), TuioDecodeResult::Touches);
    EXPECT_EQ(Ids(set), (std::vector<int32_t>{6, 5}));
    EXPECT_FLOAT_EQ(set.Find(5)->x, 0.35f);
    EXPECT_FLOAT_EQ(set.Find(5)->y, 0.45f);
    EXPECT_FLOAT_EQ(set.Find(6)->x, 0.65f);

    // Many touches in one packet spill into further blocks.
    std::string many;
    for (int id = 0; id < 70; ++id) many += Set(id, "0.5", "0.5");
    ASSERT_EQ(decoder.Decode(Packet(many), set), TuioDecodeResult::Touches);
    EXPECT_EQ(set.Count(), 70);
    EXPECT_EQ(set.Get(69)->id, 69);
}
