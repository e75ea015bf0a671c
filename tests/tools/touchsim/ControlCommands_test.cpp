// The control line protocol, run in-process against a simulator on ephemeral ports.
#include <gtest/gtest.h>

#include <functional>

#include "tools/touchsim/SimTestClients.h"
#include "touchsim/ControlCommands.h"

using namespace touchsim;
using namespace touchsim_test;
using namespace VexoSource;

namespace {

class TouchsimControl : public ::testing::Test {
protected:
    void SetUp() override {
        Options o;
        o.rpcPort = 0;
        o.streamPort = 0;
        sim = std::make_unique<Simulator>(o);
        ASSERT_TRUE(sim->Start());
    }
    CommandResult Run(const std::string& line) { return ExecuteCommand(*sim, line); }
    std::unique_ptr<Simulator> sim;
};

}  // namespace

TEST_F(TouchsimControl, CommandsEditTheDeviceAndBadLinesChangeNothing) {
    struct Case {
        const char* line;
        bool ok;
        std::function<bool(const DeviceModel&)> holds;  // checked after the line ran
    } cases[] = {
        {"ids 0102030405060708:A1B2C3D4E5F60718", true, [](auto& m) { return m.deviceIds.size() == 2; }},
        {"ids 01020304", false, [](auto& m) { return m.deviceIds.size() == 2; }},
        {"ids 0102030405060708:XYZ", false, [](auto& m) { return m.deviceIds.size() == 2; }},
        {"ids -", true, [](auto& m) { return m.deviceIds.empty(); }},
        {"required 25", true, [](auto& m) { return m.requiredConfigVersion == 25; }},
        {"required -3", false, [](auto& m) { return m.requiredConfigVersion == 25; }},
        {"version 20\r\n", true, [](auto& m) { return m.versionByte == 20; }},
        {"version 256", false, [](auto& m) { return m.versionByte == 20; }},
        {"inches 55", true, [](auto& m) { return m.inches == 55; }},
        {"touches 2", true, [](auto& m) { return m.touches == 2; }},
        {"touches two", false, [](auto& m) { return m.touches == 2; }},
        {"runmode 2", true, [](auto& m) { return m.runMode == 2; }},
        {"runmode 4", false, [](auto& m) { return m.runMode == 2; }},
        {"device 1111111111111111 inches 32", true,
         [](auto& m) { return m.deviceIds.back() == "1111111111111111" && m.ownRecords.at("1111111111111111").inches == 32 && m.inches == 55; }},
        {"device 1111111111111111 mode mouse", true,
         [](auto& m) { return m.ownRecords.at("1111111111111111").deviceConfig.mouseMode == 1 && m.deviceConfig.mouseMode == 0; }},
        {"device 1111111111111111 pen 1", true,
         [](auto& m) { return m.ownRecords.at("1111111111111111").multiConfig.at(2).data[0] == 1; }},
        {"device 1111111111111111 inches 256", false,
         [](auto& m) { return m.ownRecords.at("1111111111111111").inches == 32; }},
        {"device 2222222222222222 colour red", false, [](auto& m) { return m.ownRecords.count("2222222222222222") == 0; }},
        {"device 22 inches 3", false, [](auto& m) { return m.ownRecords.size() == 1; }},
        {"device 2222222222222222", true,
         [](auto& m) { return m.ownRecords.at("2222222222222222").inches == 55 && m.deviceIds.size() == 2; }},
        {"cutnext GetEffects 5", true, nullptr},
        {"cutnext 26 5", true, nullptr},
        {"cutnext NoSuchRequest 5", false, nullptr},
        {"dropnext", false, nullptr},
        {"delaynext ResetDevice -5", false, nullptr},
        {"refuse maybe", false, nullptr},
        {"", true, nullptr},
        {"# a comment", true, nullptr},
        {"help", true, nullptr},
        {"delay abc", false, nullptr},
        {"delay -1", false, nullptr},
        {"delay", false, nullptr},
        {"busy maybe", false, nullptr},
        {"setargs 7", false, nullptr},
        {"down 1 0.5", false, nullptr},
        {"down 1 x 0.5", false, nullptr},
        {"down -1 0.5 0.5", false, nullptr},
        {"tap 0.5 nan", false, nullptr},
        {"unplug now", false, nullptr},
        {"raw bad\\q", false, nullptr},
        {"frobnicate", false, nullptr},
    };
    for (const Case& c : cases) {
        CommandResult r = Run(c.line);
        EXPECT_EQ(r.ok, c.ok) << c.line << " -> " << r.text;
        EXPECT_FALSE(r.quit) << c.line;
        if (!c.ok) {
            EXPECT_EQ(r.text.rfind("error: ", 0), 0u) << c.line;
        }
        if (c.holds) {
            EXPECT_TRUE(c.holds(sim->Model())) << c.line;
        }
    }
    EXPECT_TRUE(Run("quit").quit);
}

TEST_F(TouchsimControl, FaultCommandsReachTheRpcSide) {
    RpcClient client(sim->RpcPort());
    ASSERT_TRUE(client.Connected());
    // -1: no reply expected; otherwise the reply's total size in bytes.
    struct Case {
        const char* line;
        uint32_t code;
        uint32_t expected;
        int replyBytes;
        int firstByte;  // -1: not checked
    } cases[] = {
        {"busy on", GetAccessState, 1, 21, 0},
        {"busy off", GetAccessState, 1, 21, 1},
        {"unplug", GetAccessState, 1, -1, -1},
        {"plug", GetAccessState, 1, 21, 1},
        {"silent on", GetDeviceInfo, 38, -1, -1},
        {"silent off", GetDeviceInfo, 38, 58, -1},
        {"twenty", GetDeviceInfo, 38, 20, -1},
        {"oversize", GetDeviceInfo, 38, 60, -1},
        {"busyreset 5000", ResetDevice, 1, 21, -1},
        {"busy off", GetAccessState, 1, 21, 1},  // clears the busy time after the reset too
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Run(c.line).ok) << c.line;
        client.lastRaw.clear();
        Frame reply;
        bool answered = client.Call(c.code, c.expected, reply, {}, c.replyBytes < 0 ? kSilenceMs : kArriveMs);
        if (c.replyBytes < 0) {
            EXPECT_TRUE(client.lastRaw.empty()) << c.line;
            continue;
        }
        EXPECT_TRUE(answered) << c.line;
        EXPECT_EQ(client.lastRaw.size(), static_cast<size_t>(c.replyBytes)) << c.line;
        if (c.firstByte >= 0 && !reply.payload.empty()) {
            EXPECT_EQ(reply.payload[0], c.firstByte) << c.line;
        }
    }

    ASSERT_TRUE(Run("callframe").ok);
    Frame f;
    ASSERT_TRUE(client.Receive(f));
    EXPECT_EQ(f.kind, kKindCall);

    CommandResult trace = Run("trace");
    EXPECT_NE(trace.text.find("call GetAccessState"), std::string::npos) << trace.text;
    EXPECT_NE(trace.text.find("call ResetDevice"), std::string::npos) << trace.text;
    ASSERT_TRUE(Run("cleartrace").ok);
    EXPECT_TRUE(sim->Trace().empty());

    ASSERT_TRUE(Run("close").ok);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(ReceiveOnce(client.Fd(), bytes, kArriveMs), 0);
}

TEST_F(TouchsimControl, OneShotFaultsHitTheNextCallOfTheirRequestOnly) {
    RpcClient client(sim->RpcPort());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(Run("cutnext GetDeviceInfo 10").ok);
    ASSERT_TRUE(Run("dropnext GetRuntimeStatus").ok);
    ASSERT_TRUE(Run("delaynext ResetDevice 300").ok);
    struct Case {
        uint32_t code;
        uint32_t expected;
        int replyBytes;  // -1: no reply
    } cases[] = {
        {GetAccessState, 1, 21},     // other requests are not touched
        {GetDeviceInfo, 38, 30},     // cut to 10 payload bytes
        {GetDeviceInfo, 38, 58},     // once only
        {GetRuntimeStatus, 18, -1},  // dropped
        {GetRuntimeStatus, 18, 38},
    };
    for (const Case& c : cases) {
        client.lastRaw.clear();
        Frame reply;
        const bool answered = client.Call(c.code, c.expected, reply, {}, c.replyBytes < 0 ? kSilenceMs : kArriveMs);
        EXPECT_EQ(answered, c.replyBytes >= 0) << c.code;
        if (c.replyBytes >= 0) {
            EXPECT_EQ(client.lastRaw.size(), size_t(c.replyBytes)) << c.code;
        }
    }
    Frame reply;
    EXPECT_FALSE(client.Call(ResetDevice, 1, reply, {}, 150)) << "delayed";
    EXPECT_TRUE(client.Receive(reply));
    EXPECT_TRUE(client.Call(ResetDevice, 1, reply, {}, 150)) << "once only";

    // Refusing new connections keeps the open one.
    ASSERT_TRUE(Run("refuse on").ok);
    EXPECT_EQ(ConnectTo(sim->RpcPort()), -1);
    EXPECT_TRUE(client.Call(GetAccessState, 1, reply));
    ASSERT_TRUE(Run("refuse off").ok);
    RpcClient again(sim->RpcPort());
    EXPECT_TRUE(again.Connected());
    EXPECT_TRUE(again.Call(GetAccessState, 1, reply));
}

TEST_F(TouchsimControl, TouchCommandsReachTheStream) {
    StreamReader reader(sim->StreamPort());
    ASSERT_TRUE(sim->WaitForStreamClients(1, kArriveMs));
    EXPECT_EQ(Run("clients").text, "rpc=0 stream=1\n");

    ASSERT_TRUE(Run("raw  <A/>\\0").ok);  // the text after "raw " is sent as it stands
    std::vector<std::string> packets = reader.Packets(1);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], " <A/>");

    ASSERT_TRUE(Run("setargs 8").ok);
    ASSERT_TRUE(Run("down 4 0.25 0.5").ok);
    // The finger's packets come every 25 ms: a slow receiver may take two at once.
    packets = reader.Packets(2);
    ASSERT_GE(packets.size(), 2u);
    EXPECT_NE(packets[1].find("VALUE=\"set\" /><ARGUMENT TYPE=\"i\" VALUE=\"4\" /><ARGUMENT TYPE=\"f\" VALUE=\"0.25\" />"),
              std::string::npos)
        << packets[1];
    ASSERT_TRUE(Run("up 4").ok);
    ASSERT_TRUE(Run("tap 0.5 0.5").ok);
    ASSERT_TRUE(Run("split").ok);
}

TEST(TouchsimControlText, RawEscapes) {
    struct Case {
        const char* in;
        bool ok;
        std::string out;
    } cases[] = {
        {"plain text", true, "plain text"},
        {"a\\0b", true, std::string("a\0b", 3)},
        {"\\n\\r\\t\\\\", true, "\n\r\t\\"},
        {"\\x41\\x7e", true, "A~"},
        {"\\x4", false, ""},
        {"\\xZZ", false, ""},
        {"trailing\\", false, ""},
        {"\\q", false, ""},
    };
    for (const Case& c : cases) {
        std::string out = "untouched";
        EXPECT_EQ(UnescapeText(c.in, out), c.ok) << c.in;
        EXPECT_EQ(out, c.ok ? c.out : "untouched") << c.in;
    }
}
