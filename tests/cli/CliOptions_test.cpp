// qlncfg-cli's command line: what each command reads, and status 2 for everything else.
#include "cli/CliOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace QlnCli;

TEST(CliOptions, HelpNamesTheCommandsAndEveryExitStatus) {
    for (const char* option : {"--help", "-h"}) {
        const ParsedCommandLine p = ParseCommandLine({option});
        EXPECT_FALSE(p.run);
        EXPECT_EQ(p.exitCode, kExitDone);
        for (const char* text : {"status", "devices", "mode", "advanced", "factory-reset", "export", "import", "--device",
                                 "--json", "Exit status:", "0  done", "1  failed", "2  usage error",
                                 "3  the touch service is not reachable", "4  busy", "5  written and reset",
                                 "calibration", "--wait", "default 15"})
            EXPECT_NE(p.out.find(text), std::string::npos) << option << " lacks " << text;
    }
    const ParsedCommandLine v = ParseCommandLine({"--version"});
    EXPECT_EQ(v.exitCode, kExitDone);
    EXPECT_EQ(v.out.rfind("qlncfg-cli ", 0), 0u) << v.out;
}

TEST(CliOptions, CommandsReadTheirArgumentsAndCommonOptionsGoAnywhere) {
    ParsedCommandLine p = ParseCommandLine({"status", "--json", "--device", "1112131415161718"});
    ASSERT_TRUE(p.run) << p.err;
    EXPECT_EQ(p.request.command, Command::Status);
    EXPECT_TRUE(p.request.json);
    EXPECT_EQ(p.request.device, "1112131415161718");

    EXPECT_EQ(p.request.waitMs, kDefaultWaitMs);

    p = ParseCommandLine({"-d", "ABABABABABABABAB", "mode", "MOUSE", "--wait", "2.5"});
    ASSERT_TRUE(p.run) << p.err;
    EXPECT_EQ(p.request.command, Command::Mode);
    EXPECT_FALSE(p.request.multiTouch);
    EXPECT_EQ(p.request.device, "ABABABABABABABAB");
    EXPECT_EQ(p.request.waitMs, 2500u);

    p = ParseCommandLine({"advanced", "set", "--smoothing", "4", "--pen", "off", "--click-range", "5"});
    ASSERT_TRUE(p.run) << p.err;
    EXPECT_EQ(p.request.command, Command::AdvancedSet);
    EXPECT_EQ(p.request.smooth, 4);
    EXPECT_EQ(p.request.pen, false);
    EXPECT_EQ(p.request.clickRange, 5);
    EXPECT_FALSE(p.request.rightClick.has_value()) << "settings not given stay as they are";
    EXPECT_FALSE(p.request.rClickDelay.has_value());

    p = ParseCommandLine({"import", "kiosk.json", "--force"});
    ASSERT_TRUE(p.run) << p.err;
    EXPECT_EQ(p.request.command, Command::Import);
    EXPECT_EQ(p.request.file, "kiosk.json");
    EXPECT_TRUE(p.request.force);
    EXPECT_FALSE(p.request.settingsOnly);

    p = ParseCommandLine({"--wait", "0", "import", "--settings-only", "kiosk.json"});
    ASSERT_TRUE(p.run) << p.err;
    EXPECT_TRUE(p.request.settingsOnly);
    EXPECT_FALSE(p.request.force);
    EXPECT_EQ(p.request.waitMs, 0u);

    // The mode with the advanced settings (one reset for both), or alone.
    p = ParseCommandLine({"advanced", "set", "--mode", "MOUSE", "--smoothing", "4"});
    ASSERT_TRUE(p.run) << p.err;
    EXPECT_TRUE(p.request.setMode);
    EXPECT_FALSE(p.request.multiTouch);
    EXPECT_EQ(p.request.smooth, 4);
    p = ParseCommandLine({"advanced", "set", "--mode", "multitouch"});
    ASSERT_TRUE(p.run) << p.err;
    EXPECT_TRUE(p.request.setMode);
    EXPECT_TRUE(p.request.multiTouch);

    p = ParseCommandLine({"import", "--settings-only", "--dry-run", "kiosk.json", "--json"});
    ASSERT_TRUE(p.run) << p.err;
    EXPECT_TRUE(p.request.dryRun);
    EXPECT_TRUE(p.request.settingsOnly);

    p = ParseCommandLine({"calibration", "get", "--json"});
    ASSERT_TRUE(p.run) << p.err;
    EXPECT_EQ(p.request.command, Command::CalibrationGet);
    EXPECT_TRUE(p.request.json);

    p = ParseCommandLine({"factory-reset", "--yes"});
    ASSERT_TRUE(p.run) << p.err;
    EXPECT_EQ(p.request.command, Command::FactoryReset);
}

TEST(CliOptions, EverythingElseIsAUsageError) {
    const std::vector<std::vector<std::string>> rows = {
        {},
        {"frobnicate"},
        {"status", "extra"},
        {"--no-such-option", "status"},
        {"mode"},
        {"mode", "stylus"},
        {"advanced"},
        {"advanced", "set"},
        {"advanced", "set", "--smoothing", "7"},
        {"advanced", "set", "--click-range", "0"},
        {"advanced", "set", "--right-click-duration", "33"},
        {"advanced", "set", "--double-click-speed", "fast"},
        {"advanced", "set", "--pen", "yes"},
        {"advanced", "set", "--mode", "stylus"},
        {"import", "--dry-run", "kiosk.json"},
        {"factory-reset"},
        {"export"},
        {"import"},
        {"--device"},
        {"--device", "12345", "status"},
        {"--device", "010203040506070g", "status"},
        {"--wait", "-1", "status"},
        {"--wait", "3601", "status"},
        {"--wait", "soon", "status"},
        {"calibration"},
        {"calibration", "set"},
    };
    for (const auto& args : rows) {
        std::string joined;
        for (const std::string& a : args) joined += a + " ";
        SCOPED_TRACE(joined);
        const ParsedCommandLine p = ParseCommandLine(args);
        EXPECT_FALSE(p.run);
        EXPECT_EQ(p.exitCode, kExitUsage);
        EXPECT_FALSE(p.err.empty());
    }
}
