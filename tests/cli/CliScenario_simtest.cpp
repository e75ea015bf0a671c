// qlncfg-cli as an installer uses it, against the simulated service: the requests and bytes of
// each command (the same as the window's for the same action), the JSON it prints, device
// profiles, and every exit status.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliSimulator.h"
#include "cli/CliSupport.h"
#include "cli/ProfileRecords.h"
#include "device/FactoryResetScenario.h"
#include "device/MainFrameRules.h"
#include "device/ProfileDocument.h"
#include "platform/InstanceGuard.h"
#include "servicelink/VexoRPC.h"
#include "support/PackedValue.h"
#include "support/TraceRecords.h"

using namespace VexoSource;
using clitest::CliResult;
using tracetest::Names;
using clitest::RunCli;
using tracetest::Writes;
using nlohmann::json;
using tracetest::Find;
using tracetest::PayloadAs;
using Trace = std::vector<touchsim::TraceEntry>;
using Calls = std::vector<std::string>;

namespace {

constexpr const char* kFirst = "0102030405060708";    // selector 36
constexpr const char* kSecond = "1112131415161718";   // selector 0x11 + ... + 0x18 = 164
constexpr uint32_t kFirstSelector = 36;
constexpr uint32_t kSecondSelector = 164;

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(clitest::CliPath().c_str(), X_OK) != 0) GTEST_SKIP() << "qlncfg-cli must be beside the test binary";
        sim_ = clitest::StartRpcSimulator({kFirst, kSecond});
        ASSERT_TRUE(sim_);
    }

    CliResult Run(const std::vector<std::string>& args) {
        sim_->ClearTrace();
        return RunCli(runtime_.Path(), args);
    }

    // The calls after the device list (each command begins by reading it to choose its device).
    Trace AfterList() const {
        Trace trace = sim_->Trace();
        EXPECT_FALSE(trace.empty());
        if (trace.empty()) return trace;
        EXPECT_EQ(trace.front().name, "GetDeviceList");
        EXPECT_EQ(trace.front().selector, 0u) << "no device chosen yet";
        trace.erase(trace.begin());
        return trace;
    }

    touchsim::Simulator& sim() { return *sim_; }

    TempFolder runtime_;
    std::unique_ptr<touchsim::Simulator> sim_;
};

}  // namespace

TEST_F(Cli, StatusReadsAsTheWindowDoesAndPrintsItsFieldsAsJson) {
    struct Row {
        const char* name;
        std::vector<std::string> device;
        uint8_t version;
        std::string series;
        uint32_t selector;
        std::string chosen, type, firmware;
        int inches;
        Calls calls;
    } rows[] = {
        {"first device, 2.6", {}, 26, "Infrared:IR65:10", kFirstSelector, kFirst, "Infrared", "2.6", 65,
         {"GetAccessState", "GetDeviceInfo", "GetRuntimeStatus", "GetDeviceConfig", "GetProductSeries"}},
        {"chosen device, camera series", {"--device", "1112131415161718"}, 27, "camera:C1", kSecondSelector, kSecond,
         "camera", "2.7", 55, {"GetAccessState", "GetDeviceInfo", "GetRuntimeStatus", "GetDeviceConfig", "GetProductSeries"}},
        {"identifier in capitals, 2.5: no series", {"--device", "0102030405060708"}, 25, "camera", kFirstSelector,
         kFirst, "Infrared", "2.5", 65, {"GetAccessState", "GetDeviceInfo", "GetRuntimeStatus", "GetDeviceConfig"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim().Edit([&](touchsim::DeviceModel& m) {
            m.versionByte = r.version;
            m.seriesText = r.series;
            m.touches = 10;
            m.runMode = 2;
            m.requiredConfigVersion = 21;
            m.deviceConfig.mouseMode = 1;
            m.deviceConfig.multiTouchMode = 0;
        });
        std::vector<std::string> args = {"status", "--json"};
        args.insert(args.end(), r.device.begin(), r.device.end());
        const CliResult result = Run(args);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");

        const Trace calls = AfterList();
        EXPECT_EQ(Names(calls), r.calls);
        for (const auto& c : calls) EXPECT_EQ(c.selector, r.selector) << c.name;

        const json j = json::parse(result.out);
        EXPECT_EQ(j["devices"], json::array({kFirst, kSecond}));
        EXPECT_EQ(j["device"], r.chosen);
        EXPECT_EQ(j["status"], "ready");
        EXPECT_EQ(j["type"], r.type);
        EXPECT_EQ(j["touches"], 10);
        EXPECT_EQ(j["screen_inches"], r.inches);
        EXPECT_EQ(j["firmware"], r.firmware);
        EXPECT_EQ(j["run_mode"], "hardware");
        EXPECT_EQ(j["mode"], "mouse");
        EXPECT_EQ(j["mode_flags"], json({{"mouse", 1}, {"multitouch", 0}}));
        EXPECT_EQ(j["required_configuration_version"], r.version >= 26 ? 21 : 0);
    }

    // The same reading as text, for a person.
    const CliResult text = Run({"status"});
    ASSERT_EQ(text.status, 0) << text.err;
    for (const char* line : {"devices:      0102030405060708 1112131415161718\n", "touches:      10\n",
                             "screen size:  65 inches\n", "firmware:     2.5\n", "status:       ready\n",
                             "run mode:     hardware\n", "mode:         mouse (mouse flag 1, multi-touch flag 0)\n"})
        EXPECT_NE(text.out.find(line), std::string::npos) << line << " in\n" << text.out;
}

TEST_F(Cli, DevicesListsTheIdentifiersAndAsksNothingElse) {
    CliResult result = Run({"devices"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, std::string(kFirst) + "\n" + kSecond + "\n");
    EXPECT_EQ(Names(sim().Trace()), Calls{"GetDeviceList"});

    result = Run({"devices", "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(json::parse(result.out), json::array({kFirst, kSecond}));
}

TEST_F(Cli, ModeWritesTheConfigurationAsReadWithOneFlagAndResetsTheDevice) {
    DeviceConfigRecord before{};
    sim().Edit([&](touchsim::DeviceModel& m) {
        std::memset(&m.deviceConfig, 0x5A, sizeof m.deviceConfig);  // every byte is the service's
        before = m.deviceConfig;
    });
    for (const bool multiTouch : {false, true}) {
        SCOPED_TRACE(multiTouch ? "multitouch" : "mouse");
        const CliResult result = Run({"--device", kSecond, "mode", multiTouch ? "multitouch" : "mouse"});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.out.find("mode written; device reset"), std::string::npos) << result.out;
        // As the window's Apply, after the access check its other commands make; then the wait
        // until the device is ready again.
        const Trace calls = AfterList();
        EXPECT_EQ(Names(calls),
                  (Calls{"GetAccessState", "GetDeviceConfig", "SetDeviceConfig", "ResetDevice", "GetAccessState"}));
        for (const auto& c : calls) EXPECT_EQ(c.selector, kSecondSelector) << c.name;
        DeviceConfigRecord expected = before;
        expected.mouseMode = multiTouch ? 0 : 1;
        expected.multiTouchMode = multiTouch ? 1 : 0;
        EXPECT_EQ(Find(calls, "SetDeviceConfig")->payload, BytesOf(expected));
    }
}

TEST_F(Cli, AFailedModeWriteIsReportedAndNeverFollowedByAReset) {
    struct Row {
        const char* name;
        const char* failAfter;  // this call's successor gets no reply
        Calls calls;
    } rows[] = {
        {"read fails", "GetAccessState", {"GetAccessState", "GetDeviceConfig"}},
        {"write fails", "GetDeviceConfig", {"GetAccessState", "GetDeviceConfig", "SetDeviceConfig"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string failAfter = r.failAfter;
        sim().SetTraceListener([this, failAfter](const touchsim::TraceEntry& e) {
            if (e.name == failAfter) sim().SendTwentyByteNextReply();
        });
        const CliResult result = Run({"--verbose", "mode", "mouse"});
        sim().SetTraceListener(nullptr);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find("qlncfg-cli: the mode could not be written"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("Exception - Get response failed! "), std::string::npos) << result.err;
        EXPECT_EQ(Names(AfterList()), r.calls);
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(Cli, AdvancedGetShowsTheDialogsValuesAsJsonAndWritesNothing) {
    struct Row {
        const char* name;
        std::function<void(touchsim::DeviceModel&)> device;
        json expected;
    } rows[] = {
        {"manufacturer values", [](touchsim::DeviceModel&) {},
         {{"right_click", true}, {"pen", false}, {"pen_stored", true}, {"right_click_duration", 20},
          {"right_click_duration_ms", 2000}, {"double_click_speed", 5}, {"double_click_speed_ms", 500},
          {"click_range", 3}, {"smoothing", 1}, {"off_position", json::array()}}},
        {"pen on, values past the sliders' ends",
         [](touchsim::DeviceModel& m) {
             m.multiConfig[2] = touchsim::DeviceModel::StoredItem(2, 1);
             m.effects.msRClickDelay = 9900;
             m.effects.smoothValue = 40;
             m.effects.rightClick = 0;
         },
         {{"right_click", false}, {"pen", true}, {"pen_stored", true}, {"right_click_duration", 32},
          {"right_click_duration_ms", 9900}, {"double_click_speed", 5}, {"double_click_speed_ms", 500},
          {"click_range", 3}, {"smoothing", 6}, {"off_position", {"right_click_duration", "smoothing"}}}},
        {"no pen item yet", [](touchsim::DeviceModel& m) { m.multiConfig.erase(2); },
         {{"right_click", true}, {"pen", false}, {"pen_stored", false}, {"right_click_duration", 20},
          {"right_click_duration_ms", 2000}, {"double_click_speed", 5}, {"double_click_speed_ms", 500},
          {"click_range", 3}, {"smoothing", 1}, {"off_position", json::array()}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim().SetModel(touchsim::DeviceModel());
        sim().Edit(r.device);
        const CliResult result = Run({"advanced", "get", "--json"});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(json::parse(result.out), r.expected);
        const Trace calls = AfterList();
        EXPECT_EQ(Names(calls), (Calls{"GetAccessState", "GetDeviceConfig", "GetEffects", "GetMultiConfig"}));
        EXPECT_EQ(PayloadAs<MultiConfigRecord>(calls.back()).itemId, 2u);
    }
}

TEST_F(Cli, AdvancedSetLoadsWritesAndResetsAsTheDialogsDoneDoes) {
    sim().Edit([](touchsim::DeviceModel& m) {
        m.effects.msRClickDelay = 2550;  // not given: stays to the millisecond
        m.effects.reserved0 = 7;         // forced back to its manufacturer value on every write
        m.multiConfig.erase(2);          // the dialog creates the item when it opens
    });
    const CliResult result = Run({"advanced", "set", "--smoothing", "4", "--pen", "on", "--click-range", "5"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("advanced settings written; device reset"), std::string::npos) << result.out;

    const Trace calls = AfterList();
    EXPECT_EQ(Names(calls), (Calls{"GetAccessState", "GetDeviceConfig", "GetEffects", "GetMultiConfig",
                                   "SetMultiConfig", "GetEffects", "SetEffects", "SetMultiConfig", "ResetDevice",
                                   "GetAccessState"}));
    // Opening: item 2 created with the flag 0.
    const auto created = PayloadAs<MultiConfigRecord>(calls[4]);
    EXPECT_EQ(Value(created.itemId), 2u);
    EXPECT_EQ(Value(created.mark), kMultiConfigMark);
    EXPECT_EQ(created.data[0], 0);
    // Done: the five shown fields from the positions, the four hidden ones forced.
    const uint32_t expected[9] = {0, 0, 0, 0x3D4CCCCD, 1, 2550, BitsOf(0.5f), 500, 4};
    ASSERT_EQ(calls[6].payload.size(), sizeof expected);
    EXPECT_EQ(std::memcmp(calls[6].payload.data(), expected, sizeof expected), 0);
    const auto pen = PayloadAs<MultiConfigRecord>(calls[7]);
    EXPECT_EQ(Value(pen.itemId), 2u);
    EXPECT_EQ(Value(pen.length), 40u);
    EXPECT_EQ(Value(pen.mark), kMultiConfigMark);
    EXPECT_EQ(pen.data[0], 1);
    EXPECT_EQ(Value(sim().Model().effects.smoothValue), 4u);
}

TEST_F(Cli, AdvancedSetWritesNothingWhenARecordCouldNotBeRead) {
    const struct {
        const char* name;
        uint32_t code;
        const char* message;
    } rows[] = {
        {"effects cut short", GetEffects, "the advanced settings could not be read"},
        {"pen item cut short", GetMultiConfig, "the pen simulation item could not be read; nothing was written"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        sim().ClearTrace();
        sim().CutNextReply(r.code, 8);
        const CliResult result = Run({"advanced", "set", "--smoothing", "4"});
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
        for (const auto& call : sim().Trace())
            EXPECT_TRUE(call.name.rfind("Get", 0) == 0) << call.name << " was sent";
    }
}

TEST_F(Cli, FactoryResetSendsTheWindowsRecordsInItsOrderAndStopsAtTheFirstFailure) {
    struct Row {
        const char* name;
        const char* failAfter;
        uint32_t readMouse, readMulti;
        int status;
        Calls calls;
    } rows[] = {
        {"both flags 0", nullptr, 0, 0, 0, factorytest::WholeRun()},
        {"mouse kept", nullptr, 1, 0, 0, factorytest::WholeRun()},
        {"GetEffects fails", "GetDeviceConfig", 0, 1, 1, {"GetAccessState", "GetDeviceConfig", "GetEffects"}},
        {"SetEffects fails", "SetDeviceConfig", 0, 1, 1,
         {"GetAccessState", "GetDeviceConfig", "GetEffects", "GetCalibration", "SetMultiConfig", "SetDeviceConfig",
          "SetEffects"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim().Edit([&](touchsim::DeviceModel& m) { factorytest::SeedDevice(m, r.readMouse, r.readMulti); });
        const std::string failAfter = r.failAfter ? r.failAfter : "";
        sim().SetTraceListener([this, failAfter](const touchsim::TraceEntry& e) {
            if (!failAfter.empty() && e.name == failAfter) sim().SendTwentyByteNextReply();
        });
        const CliResult result = Run({"factory-reset", "--yes"});
        sim().SetTraceListener(nullptr);
        EXPECT_EQ(result.status, r.status) << result.err;
        const Trace calls = AfterList();
        Calls expected = r.calls;
        if (r.status == 0) expected.push_back("GetAccessState");  // ready again after the reset
        EXPECT_EQ(Names(calls), expected);
        factorytest::ExpectManufacturerWrites(calls, r.readMouse, r.readMulti);
    }
}

TEST_F(Cli, ExportThenChangesThenImportBringsEveryByteBack) {
    // A device with settings of its own in every record and both known items.
    sim().Edit([](touchsim::DeviceModel& m) {
        clitest::FillPlausibleRecords(m.deviceConfig, m.effects, m.calibration, 0x21);
        m.multiConfig[2] = touchsim::DeviceModel::StoredItem(2, 1, 0x5555);
        m.multiConfig[13] = touchsim::DeviceModel::StoredItem(13, kOrientationItemLength, 3);
    });
    const touchsim::DeviceModel saved = sim().Model();
    const std::string file = runtime_.File("kiosk.json");

    CliResult result = Run({"export", file});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Names(AfterList()), (Calls{"GetAccessState", "GetDeviceConfig", "GetEffects", "GetCalibration",
                                         "GetMultiConfig", "GetMultiConfig"}));
    EXPECT_TRUE(Writes(sim().Trace()).empty());
    const json profile = json::parse(TempFolder::Read(file));
    EXPECT_EQ(profile["format"], "qlncfg-device-profile");
    EXPECT_EQ(profile["version"], 1);
    EXPECT_EQ(profile["device"], kFirst);
    EXPECT_EQ(profile["records"]["effects"], ToHex(&saved.effects, sizeof saved.effects));
    EXPECT_EQ(profile["records"]["multi_config"].size(), 2u);

    // Changes through every command that writes, and a calibration made meanwhile.
    ASSERT_EQ(Run({"mode", "mouse"}).status, 0);
    ASSERT_EQ(Run({"advanced", "set", "--smoothing", "6", "--pen", "off", "--right-click", "off"}).status, 0);
    sim().Edit([](touchsim::DeviceModel& m) {
        m.calibration.enabled = 1;
        m.multiConfig[13] = touchsim::DeviceModel::StoredItem(13, kOrientationItemLength, 1);
    });
    ASSERT_EQ(Run({"factory-reset", "--yes"}).status, 0);
    ASSERT_NE(BytesOf(sim().Model().effects), BytesOf(saved.effects));

    result = Run({"import", file});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Names(AfterList()), (Calls{"GetAccessState", "SetMultiConfig", "SetMultiConfig", "SetDeviceConfig",
                                         "SetEffects", "SetCalibration", "ResetDevice", "GetAccessState"}));
    for (const char* step : {"wrote pen simulation item 2 (SetMultiConfig)\n",
                             "wrote display orientation item 13 (SetMultiConfig)\n",
                             "wrote device configuration (SetDeviceConfig)\n", "wrote effects (SetEffects)\n",
                             "wrote calibration (SetCalibration)\n", "wrote device reset (ResetDevice)\n"})
        EXPECT_NE(result.out.find(step), std::string::npos) << step << " in\n" << result.out;

    const touchsim::DeviceModel now = sim().Model();
    EXPECT_EQ(BytesOf(now.deviceConfig), BytesOf(saved.deviceConfig));
    EXPECT_EQ(BytesOf(now.effects), BytesOf(saved.effects));
    EXPECT_EQ(BytesOf(now.calibration), BytesOf(saved.calibration));
    ASSERT_EQ(now.multiConfig.size(), saved.multiConfig.size());
    for (const auto& item : saved.multiConfig)
        EXPECT_EQ(BytesOf(now.multiConfig.at(item.first)), BytesOf(item.second)) << "item " << item.first;
}

// Two devices, each with records of its own: every command touches the chosen one only.
TEST_F(Cli, AProfileGoesBackToItsOwnDeviceAndWithForceOnlyToTheChosenOne) {
    sim().Edit([](touchsim::DeviceModel& m) {
        const struct {
            const char* id;
            uint8_t fill;
            uint32_t pen, orientation;
        } devices[] = {{kFirst, 0x21, 0x1111, 0}, {kSecond, 0x61, 0x2222, 3}};
        for (const auto& d : devices) {
            touchsim::DeviceRecords& r = m.OwnRecords(d.id);
            clitest::FillPlausibleRecords(r.deviceConfig, r.effects, r.calibration, d.fill);
            r.multiConfig[2] = touchsim::DeviceModel::StoredItem(2, 1, d.pen);
            r.multiConfig[13] = touchsim::DeviceModel::StoredItem(13, kOrientationItemLength, d.orientation);
        }
    });
    // Every byte a profile holds, in one row per device.
    auto records = [this](const char* id) {
        const touchsim::DeviceRecords r = sim().Model().ownRecords.at(id);
        std::vector<uint8_t> all = BytesOf(r.deviceConfig);
        std::vector<std::vector<uint8_t>> parts = {BytesOf(r.effects), BytesOf(r.calibration)};
        for (const auto& item : r.multiConfig) parts.push_back(BytesOf(item.second));
        for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    const std::vector<uint8_t> first = records(kFirst), second = records(kSecond);
    ASSERT_NE(first, second);
    const std::string file = runtime_.File("second.json");

    ASSERT_EQ(Run({"--device", kSecond, "export", file}).status, 0);
    EXPECT_EQ(json::parse(TempFolder::Read(file))["device"], kSecond);
    ASSERT_EQ(Run({"--device", kSecond, "factory-reset", "--yes"}).status, 0);
    ASSERT_NE(records(kSecond), second);
    EXPECT_EQ(records(kFirst), first);

    CliResult result = Run({"--device", kSecond, "import", file});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(records(kSecond), second) << "every byte back";
    EXPECT_EQ(records(kFirst), first) << "the other device untouched";

    result = Run({"--device", kFirst, "import", file, "--force"});
    ASSERT_EQ(result.status, 0) << result.err;
    for (const auto& c : AfterList()) EXPECT_EQ(c.selector, kFirstSelector) << c.name;
    EXPECT_EQ(records(kFirst), second) << "the first now holds the second's settings";
    EXPECT_EQ(records(kSecond), second) << "and the second kept its own";
}

TEST_F(Cli, ImportRefusesAnotherDevicesProfileWithoutForceAndABadFileBeforeSendingAnything) {
    const std::string file = runtime_.File("first.json");
    ASSERT_EQ(Run({"export", file}).status, 0);

    // Saved from the first device, written to the second: refused, then allowed with --force.
    CliResult result = Run({"--device", kSecond, "import", file});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("saved from device 0102030405060708, not 1112131415161718; nothing was written"),
              std::string::npos)
        << result.err;
    // The safe way first: the settings alone; --force would also copy the other frame's calibration.
    const size_t settingsOnly = result.err.find("--settings-only"), force = result.err.find("--force");
    EXPECT_NE(settingsOnly, std::string::npos) << result.err;
    EXPECT_LT(settingsOnly, force) << result.err;
    EXPECT_TRUE(Writes(sim().Trace()).empty());
    result = Run({"--device", kSecond, "import", file, "--force"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Writes(sim().Trace()),
              (Calls{"SetMultiConfig", "SetDeviceConfig", "SetEffects", "SetCalibration", "ResetDevice"}));
    for (const auto& c : AfterList()) EXPECT_EQ(c.selector, kSecondSelector) << c.name;

    // Files that are no usable profile: nothing at all reaches the service.
    json future = json::parse(TempFolder::Read(file));
    future["version"] = 2;
    json damaged = json::parse(TempFolder::Read(file));
    damaged["records"]["effects"] = "00ff";
    struct Row {
        const char* name;
        std::string text;
        const char* says;
    } rows[] = {
        {"cut short", TempFolder::Read(file).substr(0, 100), "not JSON"},
        {"future version", future.dump(), "version 2, newer than this program reads (1)"},
        {"damaged record", damaged.dump(), "records.effects is not 36 bytes"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string bad = runtime_.Write("bad.json", r.text);
        result = Run({"import", bad});
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find(r.says), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("nothing was written"), std::string::npos) << result.err;
        EXPECT_TRUE(sim().Trace().empty());
    }
    result = Run({"import", runtime_.File("missing.json")});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("cannot open"), std::string::npos) << result.err;
}

TEST_F(Cli, EachExitStatus) {
    struct Row {
        const char* name;
        std::function<void()> before;
        std::vector<std::string> args;
        int status;
        const char* says;    // on standard error
        bool anythingSent;
    } rows[] = {
        {"done", [] {}, {"devices"}, 0, "", true},
        {"unknown device", [] {}, {"--device", "0000000000000001", "status"}, 1,
         "no device 0000000000000001 is attached (attached: 0102030405060708, 1112131415161718)", true},
        {"no device attached", [this] { sim().Edit([](touchsim::DeviceModel& m) { m.deviceIds.clear(); }); },
         {"status"}, 1, "no touch device is attached", true},
        {"usage", [] {}, {"mode", "sideways"}, 2, "Run with --help", false},
        {"service does not answer", [this] { sim().Unplug(); }, {"status"}, 3, "the touch service does not answer", true},
        {"service not reachable", [this] { sim().Stop(); }, {"status"}, 3,
         "the touch service is not reachable on 127.0.0.1:28875", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        r.before();
        const CliResult result = Run(r.args);
        EXPECT_EQ(result.status, r.status);
        EXPECT_NE(result.err.find(r.says), std::string::npos) << result.err;
        EXPECT_EQ(sim().Trace().empty(), !r.anythingSent);
        EXPECT_TRUE(Writes(sim().Trace()).empty());
        sim().Plug();
        sim().Edit([](touchsim::DeviceModel& m) { m.deviceIds = {kFirst, kSecond}; });
    }
}

TEST_F(Cli, ABusyDeviceOrARunningWindowEndsWithStatusFourBeforeAnythingIsWritten) {
    sim().SetBusy(true);
    CliResult result = Run({"--wait", "0", "mode", "mouse"});
    EXPECT_EQ(result.status, 4);
    EXPECT_NE(result.err.find("device 0102030405060708 is busy (being reset)"), std::string::npos) << result.err;
    EXPECT_EQ(Names(sim().Trace()), (Calls{"GetDeviceList", "GetAccessState"}));
    // status says so, and still prints what it knows.
    result = Run({"status", "--json", "--wait", "0"});
    EXPECT_EQ(result.status, 4);
    const json j = json::parse(result.out);
    EXPECT_EQ(j["status"], "busy");
    EXPECT_EQ(j["device"], kFirst);
    EXPECT_FALSE(j.contains("touches"));
    sim().SetBusy(false);

    // The window holds the guard (the same name the window takes): refused, nothing sent.
    VexoPlatform::InstanceGuard window(VexoPlatform::kProgramGuardName);
    ASSERT_EQ(window.Acquire(), VexoPlatform::InstanceGuard::State::Held);
    result = Run({"status"});
    EXPECT_EQ(result.status, 4);
    EXPECT_NE(result.err.find("qlncfg or another qlncfg-cli is running on this machine (process " +
                              std::to_string(getpid()) + " of user "),
              std::string::npos)
        << result.err;
    EXPECT_TRUE(sim().Trace().empty());
    window.Release();
    EXPECT_EQ(Run({"status"}).status, 0);
}

TEST_F(Cli, WhileItRunsItHoldsTheWindowsGuard) {
    // Slow replies keep the program in its command long enough to look.
    sim().SetReplyDelayMs(400);
    sim().ClearTrace();
    testsupport::ChildProcess child;
    ASSERT_TRUE(clitest::StartCli(child, runtime_.Path(), {"status"}));
    ASSERT_TRUE(sim().WaitForCalls(1, 5000));
    VexoPlatform::InstanceGuard window(VexoPlatform::kProgramGuardName);
    EXPECT_EQ(window.Acquire(), VexoPlatform::InstanceGuard::State::HeldElsewhere);
    EXPECT_NE(window.Holder().find("process " + std::to_string(child.Pid()) + " "), std::string::npos)
        << window.Holder();
    const CliResult result = clitest::Finish(child, runtime_.Path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(window.Acquire(), VexoPlatform::InstanceGuard::State::Held) << "given up when it ends";
}
