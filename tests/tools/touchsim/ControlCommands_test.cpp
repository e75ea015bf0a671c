// The control line protocol, run in-process against a simulator on ephemeral ports.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

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

// Everything about the device a command can change, as one comparable text.
std::string Snapshot(const Simulator& sim) {
    const DeviceModel m = sim.Model();
    std::string ids;
    for (const std::string& id : m.deviceIds) ids += id + ":";
    return ids + " v" + std::to_string(m.versionByte) + " i" + std::to_string(m.inches) + " t" +
           std::to_string(m.touches) + " r" + std::to_string(m.runMode) + " q" + std::to_string(m.requiredConfigVersion) +
           " " + DescribeDeviceConfig(m.deviceConfig) + " " + DescribeEffects(m.effects) + " " +
           DescribeCalibration(m.calibration) + " items" + std::to_string(m.multiConfig.size()) + " mount " +
           DescribeMounting(m.mounting);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    EXPECT_EQ(start, text.size()) << "every reply line ends in a newline: " << text;
    return lines;
}

}  // namespace

// Every command line gets exactly one status line, its last, whose first word is "ok" or "error:";
// an error changes nothing. Rows run in order on one simulator with the touch stream ("stream")
// or on one started with --no-stream.
TEST_F(TouchsimControl, EveryCommandAnswersOneStatusLineAndErrorsChangeNothing) {
    Options o;
    o.rpcPort = 0;
    o.stream = false;
    Simulator streamless(o);
    ASSERT_TRUE(streamless.Start());

    struct Case {
        const char* line;
        const char* first;  // first word of the status line; "" = no reply at all
        bool onStreamless = false;
        std::function<bool(const DeviceModel&)> holds = nullptr;  // checked after an accepted line
    } cases[] = {
        {"", ""},
        {"# a comment", ""},
        {"   ", ""},
        {"help", "ok"},
        {"clients", "ok"},
        {"trace", "ok"},
        {"cleartrace", "ok"},
        {"frobnicate", "error:"},
        {"unplug now", "error:"},
        {"unplug", "ok"},
        {"plug", "ok"},
        {"silent on", "ok"},
        {"silent off", "ok"},
        {"busy maybe", "error:"},
        {"busy on", "ok"},
        {"busy off", "ok"},
        {"busyreset 600001", "error:"},
        {"busyreset -1", "error:"},
        {"busyreset 5000", "ok"},
        {"busyreset 0", "ok"},
        {"delay -1", "error:"},
        {"delay abc", "error:"},
        {"delay", "error:"},
        {"delay 600001", "error:"},
        {"delay 0", "ok"},
        {"ids 0102030405060708:A1B2C3D4E5F60718", "ok", false, [](auto& m) { return m.deviceIds.size() == 2; }},
        {"ids 01020304", "error:"},
        {"ids 0102030405060708:XYZ", "error:"},
        {"ids -", "ok", false, [](auto& m) { return m.deviceIds.empty(); }},
        {"required 25", "ok", false, [](auto& m) { return m.requiredConfigVersion == 25; }},
        {"required -3", "error:"},
        {"required 4294967296", "error:"},
        {"version 20\r\n", "ok", false, [](auto& m) { return m.versionByte == 20; }},
        {"version 256", "error:"},
        {"inches 55", "ok", false, [](auto& m) { return m.inches == 55; }},
        {"touches 2", "ok", false, [](auto& m) { return m.touches == 2; }},
        {"touches two", "error:"},
        {"runmode 2", "ok", false, [](auto& m) { return m.runMode == 2; }},
        {"runmode 4", "error:"},
        // The frame's mounting: a turn of a quarter, mirrored or not, offset and scale.
        {"mount 90 mirror 0.05 0.1 0.9 0.8", "ok", false,
         [](auto& m) { return m.mounting.turn == 90 && m.mounting.mirrored && m.mounting.scaleY == 0.8; }},
        {"mount 270", "ok", false, [](auto& m) { return m.mounting.turn == 270 && !m.mounting.mirrored; }},
        {"mount 45", "error:"},
        {"mount 0 mirror 0.5 0 0.6 1", "error:"},  // the raw range would leave 0..1
        {"mount 0 0 0 0 1", "error:"},             // a frame that reports one x everywhere
        {"mount 0 0 0 1", "error:"},
        {"mount", "error:"},
        {"dtap 0.5 1.5", "error:"},
        {"ddown 1 0.5 0.5", "error:", true},
        // Records of their own for another device, one field at a time; a bad field changes nothing.
        {"device 1111111111111111 inches 32", "ok", false,
         [](auto& m) {
             return m.deviceIds.back() == "1111111111111111" && m.ownRecords.at("1111111111111111").inches == 32 &&
                    m.inches == 55;
         }},
        {"device 1111111111111111 mode mouse", "ok", false,
         [](auto& m) {
             return m.ownRecords.at("1111111111111111").deviceConfig.mouseMode == 1 && m.deviceConfig.mouseMode == 0;
         }},
        {"device 1111111111111111 pen 1", "ok", false,
         [](auto& m) { return m.ownRecords.at("1111111111111111").multiConfig.at(2).data[0] == 1; }},
        {"device 1111111111111111 inches 256", "error:"},
        {"device 2222222222222222 colour red", "error:"},
        {"device 22 inches 3", "error:"},
        {"device 1111111111111111 inches", "error:"},
        {"device 2222222222222222", "ok", false,
         [](auto& m) { return m.ownRecords.at("2222222222222222").inches == 55 && m.ownRecords.size() == 2; }},
        {"cutnext GetEffects 5", "ok"},
        {"cutnext 26 5", "ok"},
        {"cutnext NoSuchRequest 5", "error:"},
        {"cutnext GetEffects 2029", "error:"},
        {"dropnext", "error:"},
        {"delaynext ResetDevice -5", "error:"},
        {"refuse maybe", "error:"},
        {"refuse on", "ok"},
        {"refuse off", "ok"},
        {"down 1 1.5 0.5", "error:"},
        {"down 1 0.5 -0.1", "error:"},
        {"down 1 0.5", "error:"},
        {"down 1 x 0.5", "error:"},
        {"down -1 0.5 0.5", "error:"},
        {"tap 2 2", "error:"},
        {"tap 0.5 nan", "error:"},
        {"move 9 0.5 0.5", "error:"},  // finger 9 is not down
        {"up 9", "error:"},
        {"down 9 0.5 0.5", "ok"},
        {"move 9 0.6 1", "ok"},
        {"up 9", "ok"},
        {"up 9", "error:"},  // lifted already
        {"tap 0 1", "ok"},
        {"setargs 7", "error:"},
        {"setargs 8", "ok"},
        {"setargs 6", "ok"},
        {"raw bad\\q", "error:"},
        {"raw <A/>\\0", "ok"},
        {"split", "ok"},
        {"streamclose", "ok"},
        {"streamreset", "ok"},
        // Without the touch stream every stream command is refused.
        {"tap 0.5 0.5", "error:", true},
        {"down 1 0.5 0.5", "error:", true},
        {"move 1 0.5 0.5", "error:", true},
        {"up 1", "error:", true},
        {"split", "error:", true},
        {"raw x", "error:", true},
        {"setargs 8", "error:", true},
        {"streamclose", "error:", true},
        {"streamreset", "error:", true},
        {"version 30", "ok", true},
        {"clients", "ok", true},
    };
    for (const Case& c : cases) {
        Simulator& target = c.onStreamless ? streamless : *sim;
        const std::string before = Snapshot(target);
        const CommandResult r = ExecuteCommand(target, c.line);
        const std::vector<std::string> lines = Lines(r.text);
        EXPECT_FALSE(r.quit) << c.line;
        if (std::string(c.first).empty()) {
            EXPECT_TRUE(lines.empty()) << c.line << " -> " << r.text;
            continue;
        }
        ASSERT_FALSE(lines.empty()) << c.line;
        const std::string& status = lines.back();
        EXPECT_EQ(status.substr(0, status.find(' ')), c.first) << c.line << " -> " << r.text;
        EXPECT_TRUE(IsStatusLine(status)) << c.line;
        for (size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_FALSE(IsStatusLine(lines[i])) << c.line << ": " << lines[i];
        EXPECT_EQ(r.ok, std::string(c.first) == "ok") << c.line;
        if (!r.ok) {
            EXPECT_EQ(Snapshot(target), before) << c.line;
        }
        if (r.ok && c.holds) {
            EXPECT_TRUE(c.holds(target.Model())) << c.line;
        }
    }

    // The refused fault switches left the service as it was: it answers at once, accessible,
    // also after a reset.
    RpcClient client(sim->RpcPort());
    Frame reply;
    ASSERT_TRUE(client.Call(ResetDevice, 1, reply));
    ASSERT_TRUE(client.Call(GetAccessState, 1, reply, {}, kSilenceMs));
    EXPECT_EQ(reply.payload, std::vector<uint8_t>{1});

    const CommandResult quit = Run("quit");
    EXPECT_TRUE(quit.quit);
    EXPECT_EQ(quit.text, "ok bye\n");
    EXPECT_TRUE(Run("exit").quit);
}

TEST(TouchsimControlText, ErrorsNameTheArgumentAndItsRange) {
    Options o;
    o.rpcPort = 0;
    o.streamPort = 0;
    Simulator sim(o);
    ASSERT_TRUE(sim.Start());
    struct Case {
        const char* line;
        const char* reply;
    } cases[] = {
        {"down 1 1.5 0.5", "error: down: X '1.5' is out of range 0..1\n"},
        {"tap 0.5 2", "error: tap: Y '2' is out of range 0..1\n"},
        {"version 256", "error: version: N '256' is out of range 0..255\n"},
        {"delay -1", "error: delay: MS '-1' is out of range 0..600000\n"},
        {"busyreset x", "error: busyreset: MS 'x' is not a whole number (0..600000)\n"},
        {"busy maybe", "error: busy: 'maybe' is not on or off\n"},
        {"move 4 0.5 0.5", "error: move: finger 4 is not down\n"},
        {"down 1 0.5", "error: usage: down ID X Y\n"},
        {"frobnicate 1", "error: unknown command 'frobnicate' (try help)\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(ExecuteCommand(sim, c.line).text, c.reply);

    Options off = o;
    off.stream = false;
    Simulator streamless(off);
    ASSERT_TRUE(streamless.Start());
    EXPECT_EQ(ExecuteCommand(streamless, "tap 0.5 0.5").text,
              "error: tap: the touch stream is off (started with --no-stream)\n");
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
    EXPECT_EQ(Run("clients").text, "ok rpc=0 stream=1\n");

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
