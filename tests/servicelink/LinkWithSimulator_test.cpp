// The link against the simulated touch service: the two sides agree on frames, lengths and records.
// (Its faults are the fault scenarios' table, ServiceFaults_simtest.cpp.)
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "servicelink/LinkTestSupport.h"
#include "servicelink/VexoRPC.h"
#include "support/RpcOnlySimulator.h"
#include "touchsim/Simulator.h"

using namespace VexoSource;

namespace {

class LinkWithSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Start());
        ASSERT_TRUE(OpenServiceChannelAt("127.0.0.1", sim.RpcPort()));
    }
    void TearDown() override {
        CloseServiceChannel();
    }
    touchsim::Simulator sim{simtest::RpcOnly()};
};

TEST_F(LinkWithSimulator, RecordsComeBackAsStoredAndTheTraceSeesTheHead) {
    uint32_t selector = 0;
    ASSERT_TRUE(DeviceSelectorFromIdentifier(sim.Model().deviceIds.at(0), selector));
    const DeviceHandle device(selector);
    DeviceInfoRecord info = {};
    int32_t ok = 0;
    EXPECT_EQ(SendRequest(device, GetDeviceInfo, &info, &ok, nullptr, 0, sizeof info), int32_t(sizeof info));
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(info.bytes[1], 26);
    EXPECT_EQ(info.bytes[35], 65);

    MultiConfigRecord item = {};
    item.itemId = 2;
    item.length = kMultiConfigFollowing;
    item.mark = kMultiConfigMark;
    item.SetDataWord(0, 1);
    uint8_t done = 0;
    SendRequest(device, SetMultiConfig, &done, &ok, &item, 48, 1);
    EXPECT_EQ(ok, 1);
    MultiConfigRecord query = {};
    query.itemId = 2;
    EXPECT_EQ(SendRequest(device, GetMultiConfig, &query, &ok, &query, 48, 48), 48);
    EXPECT_EQ(query.mark, kMultiConfigMark);
    EXPECT_EQ(query.data[0], 1);

    const auto trace = sim.Trace();
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(trace[0].code, uint32_t(GetDeviceInfo));
    EXPECT_EQ(trace[0].selector, 36u);
    EXPECT_EQ(trace[0].expectedLength, 38u);
    EXPECT_EQ(trace[1].payload.size(), 48u);
}

}  // namespace
