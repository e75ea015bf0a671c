// The channel on the service's fixed address; each test runs in its own network namespace.
#include <gtest/gtest.h>

#include "servicelink/LinkTestSupport.h"
#include "servicelink/VexoRPC.h"

using namespace VexoSource;

namespace {

TEST(ServiceChannel, SecondOpenKeepsTheFirstChannel) {
    linktest::FakeService service(kServicePort);
    ASSERT_TRUE(service.Listening());
    ASSERT_TRUE(OpenServiceChannel());
    VexoRPC* first = g_pServiceChannel;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Connection()->Port(), 28875);
    EXPECT_EQ(first->Connection()->PeerHost(), "127.0.0.1");

    EXPECT_FALSE(OpenServiceChannel());
    EXPECT_EQ(g_pServiceChannel, first);
    ASSERT_TRUE(service.WaitClient());
    uint8_t state = 0;
    int32_t ok = 0;
    EXPECT_EQ(SendRequest(DeviceHandle(0), GetAccessState, &state, &ok, nullptr, 0, 1), 1);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(service.ReceivedCount(), 1u);  // one connection, one request
    CloseServiceChannel();
    EXPECT_EQ(g_pServiceChannel, nullptr);
}

TEST(ServiceChannel, NoServiceListeningFailsWithTheAddressLogged) {
    LogCapture log;
    EXPECT_FALSE(OpenServiceChannel());
    EXPECT_EQ(g_pServiceChannel, nullptr);
    EXPECT_TRUE(log.Contains("Exception - Connect(127.0.0.1, 28875) failed"));
    int32_t ok = 1;
    uint8_t state = 0;
    EXPECT_EQ(SendRequest(DeviceHandle(0), GetAccessState, &state, &ok, nullptr, 0, 1), 0);
    EXPECT_EQ(ok, 0);
}

}  // namespace
