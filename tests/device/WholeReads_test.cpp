// The device layer against a scripted service: where a record must be whole, a reply shorter than
// it counts as no reply, is logged, and stops the sequence before anything is written from it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "device/AdvancedSettings.h"
#include "device/DeviceProfile.h"
#include "device/DeviceRequests.h"
#include "device/DeviceStatus.h"
#include "device/FactoryReset.h"
#include "device/TouchMode.h"
#include "servicelink/LinkTestSupport.h"
#include "servicelink/VexoRPC.h"

using namespace VexoSource;
using linktest::Answer;
using linktest::Bytes;
using linktest::FakeService;
using linktest::Pattern;
using linktest::ReplyFrame;
using linktest::U32At;

namespace {

class WholeReads : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.Listening());
        ASSERT_TRUE(OpenServiceChannelAt("127.0.0.1", service.Port()));
        ASSERT_TRUE(service.WaitClient());
    }
    void TearDown() override { CloseServiceChannel(); }

    // The request codes received, in order.
    std::vector<uint32_t> Codes() const {
        std::vector<uint32_t> codes;
        for (const Bytes& frame : service.Received()) codes.push_back(U32At(frame, 24));
        return codes;
    }

    FakeService service;
};

}  // namespace

TEST_F(WholeReads, AShortReplyIsNoReplyAndTheRecordKeepsNothingOfIt) {
    LogCapture log;
    DeviceConfigRecord config;
    std::memset(&config, 0xEE, sizeof config);
    service.Script(Answer(ReplyFrame(Pattern(30))));
    EXPECT_FALSE(ReadWhole(DeviceHandle(0), GetDeviceConfig, config));
    const DeviceConfigRecord zero{};
    EXPECT_EQ(std::memcmp(&config, &zero, sizeof config), 0) << "neither the stale bytes nor half a reply";
    EXPECT_TRUE(log.Contains("Exception - Short reply to request 28: 30 of 31 bytes"));

    service.Script(Answer(ReplyFrame(Pattern(31))));
    EXPECT_TRUE(ReadWhole(DeviceHandle(0), GetDeviceConfig, config));
    EXPECT_EQ(std::memcmp(&config, Pattern(31).data(), sizeof config), 0);
}

// The window's status fields are only shown: there a short reply counts, over the last reading.
TEST_F(WholeReads, AReadingTakenAsAnsweredKeepsWhatAShortReplyDidNotCover) {
    struct Row {
        ReadRule rule;
        bool ok;
        uint8_t beyondReply;  // byte 30 of the record afterwards
        bool logged;
    } rows[] = {
        {ReadRule::Whole, false, 0x00, true},
        {ReadRule::AsAnswered, true, 0xEE, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.rule == ReadRule::Whole ? "whole" : "as answered");
        LogCapture log;
        DeviceConfigRecord config;
        std::memset(&config, 0xEE, sizeof config);
        service.Script(Answer(ReplyFrame(Pattern(30))));
        EXPECT_EQ(ReadRecord(DeviceHandle(0), GetDeviceConfig, &config, sizeof config, r.rule), r.ok);
        const auto* bytes = reinterpret_cast<const uint8_t*>(&config);
        EXPECT_EQ(bytes[0], r.ok ? 1 : 0);
        EXPECT_EQ(bytes[30], r.beyondReply);
        EXPECT_EQ(log.Contains("Short reply to request 28"), r.logged);
    }
}

TEST_F(WholeReads, EverySequenceStopsAtAShortReadBeforeWritingFromIt) {
    struct Row {
        const char* name;
        std::vector<size_t> replies;           // reply lengths, in order of the requests
        std::function<bool()> run;             // true when the operation reported success
        std::vector<uint32_t> codes;           // requests the service received
    } rows[] = {
        {"mode: configuration short", {30}, [] {
             DeviceConfigRecord c{};
             return WriteTouchMode(DeviceHandle(0), false, c);
         }, {GetDeviceConfig}},
        {"factory reset: calibration short", {31, 36, 35}, [] {
             FactoryRecords w;
             return ResetToFactory(DeviceHandle(0), w) == FactoryResetResult::Done;
         }, {GetDeviceConfig, GetEffects, GetCalibration}},
        {"advanced settings: effects short", {31, 20}, [] {
             AdvancedSettings s;
             DeviceConfigRecord c{};
             MultiConfigRecord pen{};
             return LoadAdvancedSettings(DeviceHandle(0), s, c, pen, true);
         }, {GetDeviceConfig, GetEffects}},
        {"advanced write: effects short", {35}, [] {
             EffectsRecord e{};
             MultiConfigRecord pen{};
             return WriteAdvancedSettings(DeviceHandle(0), AdvSettingPositions{}, true, e, pen) == AdvancedWriteResult::Done;
         }, {GetEffects}},
        {"profile: item short", {31, 36, 36, 47}, [] {
             DeviceProfile p;
             return ReadDeviceProfile(DeviceHandle(0), p);
         }, {GetDeviceConfig, GetEffects, GetCalibration, GetMultiConfig}},
        {"status: runtime status short", {38, 17}, [] {
             DeviceState s;
             return ReadDeviceState(DeviceHandle(0), s) == 1;
         }, {GetDeviceInfo, GetRuntimeStatus}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const size_t before = service.ReceivedCount();
        for (size_t n : r.replies) service.Script(Answer(ReplyFrame(Pattern(n))));
        LogCapture log;
        EXPECT_FALSE(r.run());
        EXPECT_TRUE(log.Contains("Short reply to request"));
        EXPECT_TRUE(log.Contains("Exception - Get "));
        std::vector<uint32_t> codes = Codes();
        codes.erase(codes.begin(), codes.begin() + long(before));
        EXPECT_EQ(codes, r.codes);
    }
}

TEST_F(WholeReads, APenItemReadShortIsNotTakenForTheMarkLeftInTheBuffer) {
    // The record still holds another item's mark and data from an earlier request.
    MultiConfigRecord buffer{};
    buffer.itemId = 13;
    buffer.length = 40;
    buffer.mark = kMultiConfigMark;
    buffer.data[0] = 1;
    service.Script(Answer(ReplyFrame(Pattern(31))));
    service.Script(Answer(ReplyFrame(Pattern(36))));
    service.Script(Answer(ReplyFrame(Pattern(12))));  // the item's head only
    AdvancedSettings s;
    DeviceConfigRecord c{};
    ASSERT_TRUE(LoadAdvancedSettings(DeviceHandle(0), s, c, buffer, true));
    EXPECT_EQ(s.penState, PenItemState::NotAnswered);
    EXPECT_EQ(s.pen, 0u);
    ASSERT_TRUE(service.WaitReceived(3));
    EXPECT_EQ(U32At(service.Received()[2], 24), uint32_t(GetMultiConfig));
    EXPECT_EQ(U32At(service.Received()[2], 36), 2u) << "asked for item 2";
    const Bytes asked = service.Received()[2];
    ASSERT_EQ(asked.size(), 36u + sizeof buffer);
    EXPECT_EQ(Bytes(asked.begin() + 40, asked.end()), Bytes(sizeof buffer - 4, 0))
        << "nothing of item 13 is sent with the question";
    // Nothing written: an unanswered item is not created.
    EXPECT_EQ(service.ReceivedCount(), 3u);
}

// A profile import is none of the windows' sequences: its failed write is logged as that write.
TEST_F(WholeReads, AFailedProfileWriteIsLoggedAsThatWriteAndStops) {
    LogCapture log;
    const DeviceProfile profile;  // no items: the records only
    service.Script(Answer(ReplyFrame(Pattern(1))));  // SetDeviceConfig answered
    service.Script(Answer(ReplyFrame(Bytes{})));     // SetEffects: no answer byte
    EXPECT_EQ(WriteDeviceProfile(DeviceHandle(0), profile), ProfileWriteResult::WriteFailed);
    EXPECT_TRUE(log.Contains("Exception - Writing effects failed (SetEffects)"));
    EXPECT_FALSE(log.Contains("Get response failed"));
    EXPECT_EQ(Codes(), (std::vector<uint32_t>{SetDeviceConfig, SetEffects})) << "no calibration, no reset";
}
