// qlncfg-cli with files and values it cannot trust: hand-made profiles, things that are not files,
// output that cannot be written, and device identifiers that address no device.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliSimulator.h"
#include "cli/CliSupport.h"
#include "cli/ProfileRecords.h"
#include "device/ProfileDocument.h"
#include "support/PackedValue.h"
#include "support/TraceRecords.h"

using namespace VexoSource;
using clitest::CliResult;
using clitest::RunCli;
using nlohmann::json;
using tracetest::Writes;

namespace {

constexpr const char* kFirst = "0102030405060708";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool HasControl(const std::string& text) {
    for (char c : text)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) return true;
    return false;
}

// A record of a profile as its bytes, changed, and put back.
template <typename R>
void ChangeRecord(json& records, const char* name, const std::function<void(R&)>& change) {
    const std::string hex = records[name].get<std::string>();
    R record{};
    auto* bytes = reinterpret_cast<uint8_t*>(&record);
    for (size_t i = 0; i < sizeof record; ++i) bytes[i] = uint8_t(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    change(record);
    records[name] = ToHex(&record, sizeof record);
}

void ChangeItem(json& records, const char* id, const std::function<void(MultiConfigRecord&)>& change) {
    ChangeRecord<MultiConfigRecord>(records["multi_config"], id, change);
}

class CliFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(clitest::CliPath().c_str(), X_OK) != 0) GTEST_SKIP() << "qlncfg-cli must be beside the test binary";
        sim_ = clitest::StartRpcSimulator({kFirst});
        ASSERT_TRUE(sim_);
        sim_->Edit([](touchsim::DeviceModel& m) {
            clitest::FillPlausibleRecords(m.deviceConfig, m.effects, m.calibration, 0x21);
            m.multiConfig[2] = touchsim::DeviceModel::StoredItem(2, 1);
            m.multiConfig[13] = touchsim::DeviceModel::StoredItem(13, 28, 1);
        });
    }

    CliResult Run(const std::vector<std::string>& args) {
        sim_->ClearTrace();
        return RunCli(runtime_.Path(), args);
    }

    // A profile exported from the simulated device, as JSON.
    json Exported() {
        const std::string file = runtime_.File("exported.json");
        const CliResult result = Run({"export", file});
        EXPECT_EQ(result.status, 0) << result.err;
        return json::parse(TempFolder::Read(file));
    }

    TempFolder runtime_;
    std::unique_ptr<touchsim::Simulator> sim_;
};

}  // namespace

TEST_F(CliFiles, HostileProfilesAreRefusedByBothImportsAndNothingIsWritten) {
    const json real = Exported();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Row {
        const char* name;
        std::function<void(json&)> change;
        const char* says;
    } rows[] = {
        {"click range NaN",
         [&](json& p) { ChangeRecord<EffectsRecord>(p["records"], "effects", [&](EffectsRecord& e) { e.msRDClickRange = nan; }); },
         "records.effects: the click range is not a number"},
        {"smoothing beyond the slider",
         [](json& p) { ChangeRecord<EffectsRecord>(p["records"], "effects", [](EffectsRecord& e) { e.smoothValue = 9; }); },
         "records.effects: smoothing is 9"},
        {"right-click duration 0",
         [](json& p) { ChangeRecord<EffectsRecord>(p["records"], "effects", [](EffectsRecord& e) { e.msRClickDelay = 0; }); },
         "records.effects: the right-click duration is 0 ms"},
        {"both mode flags off",
         [](json& p) {
             ChangeRecord<DeviceConfigRecord>(p["records"], "device_config", [](DeviceConfigRecord& c) { c.mouseMode = c.multiTouchMode = 0; });
         },
         "records.device_config: the mode flags are 0 (mouse) and 0 (multi-touch)"},
        {"calibration on one spot",
         [](json& p) {
             ChangeRecord<CalibrationRecord>(p["records"], "calibration", [](CalibrationRecord& c) {
                 c.enabled = 1;
                 for (CalibrationPoint* q : {&c.topLeft, &c.topRight, &c.bottomLeft, &c.bottomRight}) q->touchX = q->touchY = 16000;
             });
         },
         "records.calibration: its four touch points are not the corners of a screen"},
        {"orientation no display has",
         [](json& p) { ChangeItem(p["records"], "13", [](MultiConfigRecord& r) { r.SetDataWord(1, 7); }); },
         "records.multi_config.13: the display orientation is 7"},
        {"pen flag 2", [](json& p) { ChangeItem(p["records"], "2", [](MultiConfigRecord& r) { r.SetDataWord(0, 2); }); },
         "records.multi_config.2: pen simulation is 2"},
        {"device with terminal controls", [](json& p) { p["device"] = "\x1b]2;owned\x07\x1b[2J"; },
         "device: \"\\x1b]2;owned\\x07\\x1b[2J\" is not a device identifier"},
    };
    for (const Row& r : rows) {
        json hostile = real;
        r.change(hostile);
        const std::string file = runtime_.Write("hostile.json", hostile.dump(2));
        for (const bool settingsOnly : {false, true}) {
            SCOPED_TRACE(std::string(r.name) + (settingsOnly ? ", settings only" : ", whole"));
            const touchsim::DeviceModel before = sim_->Model();
            const CliResult result =
                settingsOnly ? Run({"import", "--settings-only", file}) : Run({"import", file});
            EXPECT_EQ(result.status, 1);
            EXPECT_TRUE(Has(result.err, r.says)) << result.err;
            EXPECT_TRUE(Has(result.err, "nothing was written")) << result.err;
            EXPECT_FALSE(HasControl(result.err)) << result.err;
            EXPECT_TRUE(Writes(sim_->Trace()).empty());
            EXPECT_EQ(BytesOf(sim_->Model().effects), BytesOf(before.effects));
        }
    }
    // The real export itself goes through.
    const std::string file = runtime_.Write("real.json", real.dump(2));
    const CliResult result = Run({"import", file});
    EXPECT_EQ(result.status, 0) << result.err;
}

TEST_F(CliFiles, AdvancedSetKeepsTheDurationsItWasNotGivenToTheMillisecond) {
    sim_->Edit([](touchsim::DeviceModel& m) {
        m.effects.msRClickDelay = 850;
        m.effects.msDClickDelay = 450;
    });
    const CliResult result = Run({"advanced", "set", "--pen", "on"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Value(sim_->Model().effects.msRClickDelay), 850u);
    EXPECT_EQ(Value(sim_->Model().effects.msDClickDelay), 450u);
    EXPECT_EQ(sim_->Model().multiConfig.at(2).data[0], 1);

    // A value given is taken as the slider's step.
    ASSERT_EQ(Run({"advanced", "set", "--right-click-duration", "9"}).status, 0);
    EXPECT_EQ(Value(sim_->Model().effects.msRClickDelay), 900u);
    EXPECT_EQ(Value(sim_->Model().effects.msDClickDelay), 450u);
}

TEST_F(CliFiles, AListedDeviceWhoseIdentifierGivesNoSelectorIsNeverAddressed) {
    struct Row {
        const char* name;
        const char* id;
    } rows[] = {
        {"too short", "0102"},
        {"not hexadecimal", "zz02030405060708"},
        {"too long", "010203040506070809"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim_->Edit([&](touchsim::DeviceModel& m) { m.deviceIds = {r.id}; });
        const CliResult result = Run({"mode", "mouse"});
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(Has(result.err, "does not name a device")) << result.err;
        const auto trace = sim_->Trace();
        ASSERT_EQ(trace.size(), 1u) << "the device list only";
        EXPECT_EQ(trace.front().name, "GetDeviceList");
        // Listing it is still an answer.
        EXPECT_EQ(Run({"devices"}).status, 0);
    }
}

TEST_F(CliFiles, AProfileThatIsNoFileIsRefusedAtOnce) {
    const std::string path = runtime_.File("profile.json");
    struct Row {
        const char* name;
        std::function<void()> make;
        const char* says;
    } rows[] = {
        {"FIFO nobody writes", [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, "it is a FIFO, not a regular file"},
        {"64 MiB file",
         [&] {
             runtime_.Write("profile.json", "{");
             ASSERT_EQ(truncate(path.c_str(), 64 << 20), 0);
         },
         "the file is larger than any profile"},
        {"link to /dev/zero", [&] { ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0); }, "it is a character device"},
    };
    for (const Row& r : rows) {
        std::filesystem::remove(path);
        r.make();
        for (const bool settingsOnly : {false, true}) {
            SCOPED_TRACE(std::string(r.name) + (settingsOnly ? ", settings only" : ", whole"));
            const CliResult result = settingsOnly ? Run({"import", "--settings-only", path}) : Run({"import", path});
            EXPECT_EQ(result.status, 1) << "-1: it hung";
            EXPECT_TRUE(Has(result.err, r.says)) << result.err;
            EXPECT_TRUE(sim_->Trace().empty());
        }
    }
}

TEST_F(CliFiles, OutputThatCannotBeWrittenFailsTheCommand) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
    } rows[] = {
        {"export to standard output", {"export", "-"}},
        {"status as JSON", {"status", "--json"}},
        {"device list", {"devices"}},
        {"calibration", {"calibration", "get"}},
        {"help", {"--help"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        testsupport::ChildProcess child;
        std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full 2>\"$QLN_ERR_FILE\"",
                                         clitest::CliPath()};
        argv.insert(argv.end(), r.args.begin(), r.args.end());
        ASSERT_TRUE(child.Start(argv, {"XDG_RUNTIME_DIR=" + runtime_.Path(), "QLN_ERR_FILE=" + runtime_.File("err.txt")}));
        int status = 0;
        ASSERT_TRUE(child.WaitExit(clitest::kRunBoundMs, &status));
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        const std::string err = TempFolder::Read(runtime_.File("err.txt"));
        EXPECT_TRUE(Has(err, "qlncfg-cli: cannot write standard output")) << err;
    }
}

// Nodes that take a stream are written in place: the device node (in a tmpfs of the test's own
// mount namespace, so no real device is at stake), the link and the FIFO all stay what they were.
TEST_F(CliFiles, ExportWritesIntoADeviceNodeOrAFifoInPlaceAndLeavesThem) {
    const std::string script =
        "set -e; mount -t tmpfs tmpfs \"$1\"; mknod \"$1/node\" c 1 3; mkfifo \"$1/fifo\"; ln -s fifo \"$1/link\"; "
        "cat \"$1/fifo\" > \"$2/from-fifo.json\" & "
        "\"$0\" export \"$1/node\" > \"$2/node.txt\" 2>&1; "
        "\"$0\" export \"$1/link\" > \"$2/link.txt\" 2>&1; wait; "
        "[ -c \"$1/node\" ] && [ -L \"$1/link\" ] && [ -p \"$1/fifo\" ] && ls -A \"$1\" > \"$2/names.txt\"";
    const std::string mountPoint = runtime_.File("mnt");
    ASSERT_EQ(mkdir(mountPoint.c_str(), 0700), 0);
    testsupport::ChildProcess child;
    ASSERT_TRUE(child.Start({"/usr/bin/unshare", "-m", "--propagation", "private", "/bin/sh", "-c", script,
                             clitest::CliPath(), mountPoint, runtime_.Path()},
                            {"XDG_RUNTIME_DIR=" + runtime_.Path()}));
    int status = 0;
    ASSERT_TRUE(child.WaitExit(clitest::kRunBoundMs, &status)) << "it hung";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << TempFolder::Read(runtime_.File("node.txt")) << TempFolder::Read(runtime_.File("link.txt"));
    EXPECT_EQ(TempFolder::Read(runtime_.File("names.txt")), "fifo\nlink\nnode\n") << "no temporary file left";
    const json profile = json::parse(TempFolder::Read(runtime_.File("from-fifo.json")), nullptr, false);
    ASSERT_FALSE(profile.is_discarded());
    EXPECT_EQ(profile["device"], kFirst);
}
