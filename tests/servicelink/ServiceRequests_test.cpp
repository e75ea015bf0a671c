#include "servicelink/ServiceRequests.h"

#include <gtest/gtest.h>

#include "servicelink/LinkTestSupport.h"
#include "servicelink/VexoRPC.h"

using namespace VexoSource;

namespace {

TEST(MultiConfigRecordBuilder, SetsTheIdAlwaysAndTheRestOnlyWithData) {
    std::memset(&g_MultiConfigRecord, 0xCC, sizeof g_MultiConfigRecord);

    // Without data only the item id changes (a GetMultiConfig request).
    MultiConfigRecord* r = BuildMultiConfigRecord(2, nullptr, 0);
    EXPECT_EQ(r, &g_MultiConfigRecord);
    EXPECT_EQ(r->itemId, 2u);
    EXPECT_EQ(r->length, 0xCCCCCCCCu);
    EXPECT_EQ(r->mark, 0xCCCCCCCCu);
    EXPECT_EQ(r->data[0], 0xCC);

    // With data: 40, the mark and the data; the bytes after the data keep what they held.
    const uint32_t orientation[2] = {28, 3};
    BuildMultiConfigRecord(13, orientation, sizeof orientation);
    EXPECT_EQ(r->itemId, 13u);
    EXPECT_EQ(r->length, 40u);
    EXPECT_EQ(r->mark, 0xFCFC9900u);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(r);
    EXPECT_EQ(raw[12], 28);
    EXPECT_EQ(raw[16], 3);
    EXPECT_EQ(raw[20], 0xCC);

    // More data than the record holds is cut at its 36 bytes.
    uint8_t big[64];
    std::memset(big, 0x11, sizeof big);
    BuildMultiConfigRecord(2, big, sizeof big);
    for (uint8_t b : r->data) EXPECT_EQ(b, 0x11);
}

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
