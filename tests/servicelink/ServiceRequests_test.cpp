#include "servicelink/ServiceRequests.h"

#include <gtest/gtest.h>

#include "servicelink/LinkTestSupport.h"
#include "servicelink/VexoRPC.h"

using namespace VexoSource;

namespace {

TEST(ResetDeviceRequest, SendsCodeSixExpectingOneByte) {
    linktest::FakeService service;
    ASSERT_TRUE(OpenServiceChannelAt("127.0.0.1", service.Port()));
    service.Script(linktest::Answer(linktest::ReplyFrame({0})));
    SendResetDevice();
    ASSERT_EQ(service.ReceivedCount(), 1u);
    const linktest::Bytes frame = service.Received()[0];
    EXPECT_EQ(frame.size(), 36u);
    EXPECT_EQ(linktest::U32At(frame, 24), 6u);
    EXPECT_EQ(linktest::U32At(frame, 28), 1u);
    CloseServiceChannel();
}

}  // namespace
