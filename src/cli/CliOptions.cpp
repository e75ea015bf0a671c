#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>

#include <sstream>

#include "config/CommandLineRules.h"
#include "device/AdvSettingRules.h"

namespace QlnCli {

namespace {

const char* kDescription =
    "qlncfg-cli: checks and configures infrared multi-touch screen frames through their touch\n"
    "service (127.0.0.1:28875), as the qlncfg window does, from a shell or a script.";

const char* kFooter =
    "Commands act on the device given with --device, else on the first one the service lists.\n"
    "Only one of qlncfg and qlncfg-cli runs at a time for a user: each refuses while the other runs.\n"
    "\n"
    "Exit status:\n"
    "  0  done\n"
    "  1  failed (the message is on standard error)\n"
    "  2  usage error\n"
    "  3  the touch service is not reachable or does not answer\n"
    "  4  busy: the device is being reset, or qlncfg (or another qlncfg-cli) is running";

bool OnOff(const std::string& text) { return text == "on"; }

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    using VexoSource::SliderRange;
    ParsedCommandLine parsed;
    CliRequest& r = parsed.request;

    CLI::App app{kDescription, "qlncfg-cli"};
    app.footer(kFooter);
    app.require_subcommand(1);
    app.fallthrough();  // the common options may follow the command
    app.set_version_flag("-V,--version", std::string("qlncfg-cli ") + VexoSource::ProgramVersion());
    app.add_option("-d,--device", r.device, "the device's identifier (16 hexadecimal digits)")->type_name("ID");
    app.add_flag("--json", r.json, "status, devices and advanced get: print JSON");
    app.add_flag("-v,--verbose", r.verbose, "print the diagnostic log on standard error");

    CLI::App* status = app.add_subcommand(
        "status", "the devices, and the chosen one's type, touches, size, firmware, status, run mode and mode");
    CLI::App* devices = app.add_subcommand("devices", "the identifiers of the attached devices, one a line");

    std::string mode;
    CLI::App* modeCommand = app.add_subcommand("mode", "switch to multi-touch or mouse mode, and reset the device");
    modeCommand->add_option("mode", mode, "multitouch or mouse")->required()->check(CLI::IsMember({"multitouch", "mouse"}));

    CLI::App* advanced = app.add_subcommand("advanced", "the advanced settings (see 'advanced get --help')");
    advanced->require_subcommand(1);
    CLI::App* advancedGet = advanced->add_subcommand("get", "show the advanced settings");
    CLI::App* advancedSet =
        advanced->add_subcommand("set", "change the advanced settings given (the others stay), and reset the device");
    std::string rightClick, pen;
    int rClick = 0, dClick = 0, range = 0, smooth = 0;
    auto range_of = [](SliderRange s) { return CLI::Range(s.minimum, s.maximum); };
    CLI::Option* oRightClick = advancedSet->add_option("--right-click", rightClick, "right-click simulation")
                                   ->type_name("on|off")->check(CLI::IsMember({"on", "off"}));
    CLI::Option* oPen = advancedSet->add_option("--pen", pen, "pen simulation")
                            ->type_name("on|off")->check(CLI::IsMember({"on", "off"}));
    CLI::Option* oRClick = advancedSet->add_option("--right-click-duration", rClick,
                                                   "right-click duration in tenths of a second (8-32)")
                               ->check(range_of(VexoSource::kRClickDelaySlider));
    CLI::Option* oDClick = advancedSet->add_option("--double-click-speed", dClick,
                                                   "double-click speed in tenths of a second (3-7)")
                               ->check(range_of(VexoSource::kDClickDelaySlider));
    CLI::Option* oRange = advancedSet->add_option("--click-range", range, "right/double-click range, small to big (1-5)")
                              ->check(range_of(VexoSource::kClickRangeSlider));
    CLI::Option* oSmooth = advancedSet->add_option("--smoothing", smooth, "smoothing, worse to better (0-6)")
                               ->check(range_of(VexoSource::kSmoothSlider));

    bool yes = false;
    CLI::App* factory = app.add_subcommand("factory-reset", "reset the device to its manufacturer settings");
    factory->add_flag("--yes", yes, "confirm the reset (required)");

    CLI::App* exportCommand = app.add_subcommand("export", "save the device's settings to a profile (JSON)");
    exportCommand->add_option("file", r.file, "the profile to write, - for standard output")->required()->type_name("FILE");
    CLI::App* importCommand = app.add_subcommand("import", "write a profile's settings to the device, and reset it");
    importCommand->add_option("file", r.file, "the profile to read, - for standard input")->required()->type_name("FILE");
    importCommand->add_flag("--force", r.force, "write a profile that was saved from another device");

    // CLI11 reads a C-style argument vector.
    std::vector<std::string> all{"qlncfg-cli"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<const char*> argv;
    for (const std::string& a : all) argv.push_back(a.c_str());

    std::ostringstream out, err;
    try {
        app.parse(int(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        parsed.out = out.str();
        parsed.err = err.str();
        // Help and version end well; every other parse error is a usage error.
        parsed.exitCode = code == 0 ? kExitDone : kExitUsage;
        return parsed;
    }

    if (*status) {
        r.command = Command::Status;
    } else if (*devices) {
        r.command = Command::Devices;
    } else if (*modeCommand) {
        r.command = Command::Mode;
        r.multiTouch = mode == "multitouch";
    } else if (*advancedGet) {
        r.command = Command::AdvancedGet;
    } else if (*advancedSet) {
        r.command = Command::AdvancedSet;
        if (oRightClick->count()) r.rightClick = OnOff(rightClick);
        if (oPen->count()) r.pen = OnOff(pen);
        if (oRClick->count()) r.rClickDelay = rClick;
        if (oDClick->count()) r.dClickDelay = dClick;
        if (oRange->count()) r.clickRange = range;
        if (oSmooth->count()) r.smooth = smooth;
        if (!r.rightClick && !r.pen && !r.rClickDelay && !r.dClickDelay && !r.clickRange && !r.smooth) {
            parsed.exitCode = kExitUsage;
            parsed.err = "qlncfg-cli: advanced set: give at least one setting\n" + advancedSet->help();
            return parsed;
        }
    } else if (*factory) {
        if (!yes) {
            parsed.exitCode = kExitUsage;
            parsed.err = "qlncfg-cli: factory-reset overwrites the device's settings: confirm with --yes\n";
            return parsed;
        }
        r.command = Command::FactoryReset;
    } else if (*exportCommand) {
        r.command = Command::Export;
    } else if (*importCommand) {
        r.command = Command::Import;
    }
    parsed.run = true;
    return parsed;
}

}  // namespace QlnCli
