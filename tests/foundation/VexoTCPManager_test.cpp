#include "foundation/VexoTCPManager.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/LastError.h"
#include "servicelink/LinkTestSupport.h"
#include "foundation/SocketErrors.h"

using namespace VexoSource;
using linktest::Bytes;
using linktest::FakeService;
using linktest::MsSince;
using Clock = std::chrono::steady_clock;

namespace {

// Whether data (or a close) arrives within ms; false at once without a socket.
bool Readable(VexoTCPManager& link, int ms) {
    return link.WaitReadableOrWoken(-1, ms) == VexoTCPManager::WaitResult::Readable;
}

// Reads whatever the client sent within a short time.
Bytes ReadAll(FakeService& service, size_t frames) {
    service.WaitReceived(frames);
    Bytes all;
    for (const Bytes& b : service.Received()) all.insert(all.end(), b.begin(), b.end());
    return all;
}

TEST(SocketErrors, ErrnoValuesReadAsTheSocketCodes) {
    const struct {
        int error;
        uint32_t code;
    } rows[] = {
        {ECONNRESET, 10054}, {ECONNABORTED, 10053}, {EPIPE, 32}, {EBADF, 9},
        {EAGAIN, 10035},     {EWOULDBLOCK, 10035},  {ECONNREFUSED, 10061}, {EINVAL, uint32_t(EINVAL)},
    };
    for (const auto& row : rows) EXPECT_EQ(SocketCodeFromErrno(row.error), row.code) << row.error;
}

TEST(SocketErrors, ReportLogsOnlyTheReportedCodes) {
    const struct {
        int error;
        const char* text;  // nullptr: nothing logged
    } rows[] = {
        {EBADF, " EBADF: invalid socket"},
        {ECONNABORTED, " EBADF: invalid socket"},
        {ECONNRESET, " ECONNRESET: connection closed by remote host"},
        {EAGAIN, nullptr},
        {EPIPE, nullptr},
    };
    for (const auto& row : rows) {
        LogCapture log;
        const uint32_t code = ReportSocketError(row.error);
        EXPECT_EQ(VexoPlatform::GetLastError(), code);
        if (row.text) {
            ASSERT_EQ(log.Lines().size(), 1u) << row.error;
            EXPECT_NE(log.Lines()[0].find(std::string("Exception - ") + row.text), std::string::npos) << log.Lines()[0];
        } else {
            EXPECT_TRUE(log.Lines().empty()) << row.error;
        }
    }
}

TEST(TCPManager, ConnectToAPortWithoutListenerFailsCleanly) {
    LogCapture log;
    const int port = linktest::UnusedPort();
    VexoTCPManager link;
    EXPECT_FALSE(link.Connect("127.0.0.1", port, false));
    EXPECT_TRUE(log.Contains("Exception - Connect(127.0.0.1, " + std::to_string(port) + ") failed"));
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.connected, 0);
    EXPECT_EQ(link.Send("x", 1), -1);
    EXPECT_FALSE(link.Connect("no.such.host.invalid", port, false));
    EXPECT_FALSE(link.IsOpen());
}

TEST(TCPManager, SecondConnectOnAnOpenSocketFailsAndKeepsIt) {
    FakeService service;
    VexoTCPManager link;
    ASSERT_TRUE(link.Connect("127.0.0.1", service.Port(), false));
    EXPECT_EQ(link.connected, 1);
    LogCapture log;
    EXPECT_FALSE(link.Connect("127.0.0.1", service.Port(), false));
    EXPECT_TRUE(log.Contains("Exception - Create() failed"));
    EXPECT_EQ(link.connected, 1);
    EXPECT_EQ(link.Send("abc", 3), 3);
    EXPECT_EQ(ReadAll(service, 1), (Bytes{'a', 'b', 'c'}));
}

TEST(TCPManager, SendRejectsEmptyBuffersAndReceiveDoesNotBlock) {
    FakeService service;
    VexoTCPManager link;
    ASSERT_TRUE(link.Connect("127.0.0.1", service.Port(), false));
    ASSERT_TRUE(service.WaitClient());
    LogCapture log;
    EXPECT_EQ(link.Send("abc", 0), -1);
    EXPECT_EQ(link.Send(nullptr, 4), -1);
    EXPECT_FALSE(link.SendOrDisconnect("abc", 0));
    uint8_t buffer[2048];
    const auto start = Clock::now();
    EXPECT_EQ(link.Receive(buffer, sizeof buffer), -1);  // nothing waiting
    EXPECT_FALSE(Readable(link, 20));
    EXPECT_LT(MsSince(start), 500);
    EXPECT_TRUE(log.Lines().empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(service.ReceivedCount(), 0u);
    EXPECT_EQ(link.connected, 1);
}

TEST(TCPManager, PeerCloseIsReportedOnceThenReceivesAreQuiet) {
    FakeService service;
    VexoTCPManager link;
    ASSERT_TRUE(link.Connect("127.0.0.1", service.Port(), false));
    ASSERT_TRUE(service.WaitClient());
    LogCapture log;
    service.DropClient();
    ASSERT_TRUE(Readable(link, 2000));
    uint8_t buffer[2048];
    EXPECT_EQ(link.ReceiveMessage(buffer), 0);
    EXPECT_EQ(log.Count("Exception - Client Closed for 0 byte was received"), 1);
    EXPECT_EQ(link.connected, 0);
    EXPECT_FALSE(link.IsOpen());

    log.Clear();
    EXPECT_EQ(link.ReceiveMessage(buffer), -1);
    EXPECT_EQ(link.Send("x", 1), -1);
    const auto start = Clock::now();
    EXPECT_FALSE(Readable(link, 10000));  // no socket: false without waiting out its time-out
    EXPECT_LT(MsSince(start), 5000);
    EXPECT_TRUE(log.Lines().empty());
}

TEST(TCPManager, ResetByPeerClosesOnSendWithoutSignal) {
    // A broken pipe would end the process with SIGPIPE unless sends suppress it.
    FakeService service;
    VexoTCPManager link;
    ASSERT_TRUE(link.Connect("127.0.0.1", service.Port(), false));
    ASSERT_TRUE(service.WaitClient());
    service.ResetClient();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const Bytes payload(100, 7);
    int32_t sent = 1;
    for (int i = 0; i < 20 && sent != 0; ++i) sent = link.Send(payload.data(), int32_t(payload.size()));
    EXPECT_EQ(sent, 0);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.connected, 1);  // Send only closes; the owner disconnects
    EXPECT_TRUE(link.Disconnect());
    EXPECT_EQ(link.connected, 0);
}

// Both receives meet a reset the same way: reported, and the connection is gone.
TEST(TCPManager, ResetSeenByEitherReceiveDisconnects) {
    for (const bool text : {false, true}) {
        SCOPED_TRACE(text ? "ReceiveText" : "ReceiveMessage");
        FakeService service;
        VexoTCPManager link;
        ASSERT_TRUE(link.Connect("127.0.0.1", service.Port(), false));
        ASSERT_TRUE(service.WaitClient());
        service.Script(linktest::NoAnswer());
        ASSERT_EQ(link.Send("abc", 3), 3);
        service.WaitReceived(1);
        service.ResetClient();
        LogCapture log;
        ASSERT_TRUE(Readable(link, 2000));
        uint8_t buffer[2048];
        if (text)
            EXPECT_EQ(link.ReceiveText(), "");
        else
            EXPECT_EQ(link.ReceiveMessage(buffer), -1);
        EXPECT_TRUE(log.Contains(" ECONNRESET: connection closed by remote host"));
        EXPECT_EQ(link.connected, 0);
        EXPECT_FALSE(link.IsOpen());
    }
}

TEST(TCPManager, ReceiveTextKeepsEveryPacketOfOneReceive) {
    // Real stream: each packet ends with one NUL and several packets arrive in one receive.
    std::ifstream in(std::string(QLN_TEST_DATA) + "/tuio-stream-real.bin", std::ios::binary);
    ASSERT_TRUE(in.good());
    const std::string sample((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t firstEnd = sample.find('\0');
    const size_t secondEnd = sample.find('\0', firstEnd + 1);
    ASSERT_NE(secondEnd, std::string::npos);
    ASSERT_LE(secondEnd + 1, 512u);
    const std::string two = sample.substr(0, secondEnd + 1);

    const struct {
        std::string sent;
        std::string expected;
    } rows[] = {
        {two, [&] {
             std::string s = two;
             s[firstEnd] = ' ';
             s[secondEnd] = ' ';
             return s;
         }()},
        {std::string(512, 'a'), std::string(512, 'a')},  // a full receive: all 512 bytes
        {std::string("ab\0\0cd", 6), "ab  cd"},
    };
    for (const auto& row : rows) {
        FakeService service;
        VexoTCPManager link;
        ASSERT_TRUE(link.Connect("127.0.0.1", service.Port(), false));
        ASSERT_TRUE(service.WaitClient());
        ASSERT_TRUE(service.Push(Bytes(row.sent.begin(), row.sent.end())));
        ASSERT_TRUE(Readable(link, 2000));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(link.ReceiveText(), row.expected);
    }
}

TEST(TCPManager, ReceiveTextAfterPeerCloseIsEmptyAndDisconnects) {
    FakeService service;
    VexoTCPManager link;
    ASSERT_TRUE(link.Connect("127.0.0.1", service.Port(), false));
    ASSERT_TRUE(service.WaitClient());
    EXPECT_EQ(link.ReceiveText(), "");  // nothing waiting
    EXPECT_EQ(link.connected, 1);
    service.DropClient();
    ASSERT_TRUE(Readable(link, 2000));
    EXPECT_EQ(link.ReceiveText(), "");
    EXPECT_EQ(link.connected, 0);
    EXPECT_FALSE(link.IsOpen());
}

}  // namespace
