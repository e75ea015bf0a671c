#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cmath>
#include <sstream>

#include "cli/CliReport.h"
#include "cli/CliStreams.h"
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
    "  4  busy: the device is being reset (still after --wait), or qlncfg (or another qlncfg-cli)\n"
    "     is running (refused at once: no waiting for a person)\n"
    "  5  written and reset, but the device was not ready again within --wait\n"
    "\n"
    "A command that needs the device waits up to --wait seconds (default 15) while it is being\n"
    "reset; a command that resets it returns once it is ready again.";

bool OnOff(const std::string& text) { return text == "on"; }

// A device identifier is 16 hexadecimal digits; anything else can never be attached, so it is a
// usage error rather than a device that is missing.
bool IsDeviceIdentifier(const std::string& text) {
    if (text.size() != 16) return false;
    for (const char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// The options of the program itself that take a value: their value is not a command.
bool TakesValue(const std::string& option) { return option == "-d" || option == "--device" || option == "--wait"; }

// The first word that stands where the command goes, or "" when there is none.
std::string CommandWord(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") return i + 1 < args.size() ? args[i + 1] : "";
        if (!a.empty() && a[0] == '-') {
            if (TakesValue(a)) ++i;
            continue;
        }
        return a;
    }
    return "";
}

bool Contains(const std::vector<std::string>& args, const char* word) {
    for (const std::string& a : args)
        if (a == word) return true;
    return false;
}

// The first line of a message, without the program's name in front.
std::string FirstLine(const std::string& text) { return ErrorMessage(text.substr(0, text.find('\n'))); }

// A script that parses standard output gets an object there for a failure too, not nothing.
ParsedCommandLine& WithJsonError(ParsedCommandLine& parsed, const std::vector<std::string>& args) {
    if (parsed.exitCode != kExitDone && Contains(args, "--json"))
        parsed.out += ErrorJson(FirstLine(parsed.err), parsed.exitCode);
    return parsed;
}

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
    app.add_flag("--json", r.json,
                 "status, devices, advanced get, calibration get and import --settings-only --dry-run: print JSON; "
                 "a failure prints {\"error\": ..., \"exit\": N}");
    app.add_flag("-v,--verbose", r.verbose, "print the diagnostic log on standard error");
    double waitSeconds = kDefaultWaitMs / 1000.0;
    app.add_option("--wait", waitSeconds,
                   "wait up to SECONDS for a device that is being reset, before and after a reset (default 15; "
                   "0: do not wait)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, kMaxWaitSeconds));

    CLI::App* status = app.add_subcommand(
        "status", "the devices, and the chosen one's type, touches, size, firmware, status, run mode and mode");
    CLI::App* devices = app.add_subcommand("devices", "the identifiers of the attached devices, one a line");

    std::string mode;
    CLI::App* modeCommand = app.add_subcommand("mode", "switch to multi-touch or mouse mode, and reset the device");
    modeCommand->add_option("mode", mode, "multitouch or mouse")->required()->check(CLI::IsMember({"multitouch", "mouse"}, CLI::ignore_case));

    CLI::App* advanced = app.add_subcommand("advanced", "the advanced settings (see 'advanced get --help')");
    advanced->require_subcommand(1);
    CLI::App* advancedGet = advanced->add_subcommand("get", "show the advanced settings");
    CLI::App* advancedSet =
        advanced->add_subcommand("set", "change the advanced settings given (the others stay), and reset the device");
    std::string rightClick, pen, setMode;
    CLI::Option* oMode = advancedSet->add_option("--mode", setMode,
                                                 "also switch to multi-touch or mouse mode (one reset for both)")
                             ->type_name("multitouch|mouse")
                             ->check(CLI::IsMember({"multitouch", "mouse"}, CLI::ignore_case));
    int rClick = 0, dClick = 0, range = 0, smooth = 0;
    auto range_of = [](SliderRange s) { return CLI::Range(s.minimum, s.maximum); };
    CLI::Option* oRightClick = advancedSet->add_option("--right-click", rightClick, "right-click simulation")
                                   ->type_name("on|off")->check(CLI::IsMember({"on", "off"}, CLI::ignore_case));
    CLI::Option* oPen = advancedSet->add_option("--pen", pen, "pen simulation")
                            ->type_name("on|off")->check(CLI::IsMember({"on", "off"}, CLI::ignore_case));
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
    importCommand->add_flag("--settings-only", r.settingsOnly,
                            "write only the touch mode, effects and pen simulation (no calibration, no display "
                            "orientation), to any device");
    importCommand->add_flag("--dry-run", r.dryRun,
                            "with --settings-only: say which settings differ from the device's, write nothing");

    CLI::App* calibration = app.add_subcommand("calibration", "the calibration on record (see 'calibration get --help')");
    calibration->require_subcommand(1);
    CLI::App* calibrationGet =
        calibration->add_subcommand("get", "whether a calibration is in force, and its four points; writes nothing");

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
        const std::string word = CommandWord(args);
        const std::function<bool(const CLI::App*)> named = [&word](const CLI::App* c) { return c->get_name() == word; };
        const CLI::App& commands = app;
        if (code != 0 && !word.empty() && commands.get_subcommands(named).empty())
            parsed.err = "qlncfg-cli: unknown command '" + word + "'; see qlncfg-cli --help\n";
        return WithJsonError(parsed, args);
    }
    if (!r.device.empty() && !IsDeviceIdentifier(r.device)) {
        parsed.exitCode = kExitUsage;
        parsed.err = "qlncfg-cli: --device: '" + r.device +
                     "' is not a device identifier (16 hexadecimal digits, as 'qlncfg-cli devices' lists them)\n";
        return WithJsonError(parsed, args);
    }
    r.waitMs = uint32_t(std::lround(waitSeconds * 1000.0));

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
        if (oMode->count()) {
            r.setMode = true;
            r.multiTouch = setMode == "multitouch";
        }
        if (!r.setMode && !r.rightClick && !r.pen && !r.rClickDelay && !r.dClickDelay && !r.clickRange && !r.smooth) {
            parsed.exitCode = kExitUsage;
            parsed.err = "qlncfg-cli: advanced set: give at least one setting\n" + advancedSet->help();
            return WithJsonError(parsed, args);
        }
    } else if (*factory) {
        if (!yes) {
            parsed.exitCode = kExitUsage;
            parsed.err = "qlncfg-cli: factory-reset overwrites the device's settings: confirm with --yes\n";
            return WithJsonError(parsed, args);
        }
        r.command = Command::FactoryReset;
    } else if (*exportCommand) {
        r.command = Command::Export;
    } else if (*importCommand) {
        if (r.dryRun && !r.settingsOnly) {
            parsed.exitCode = kExitUsage;
            parsed.err = "qlncfg-cli: import --dry-run compares a profile's settings alone: give --settings-only too\n";
            return WithJsonError(parsed, args);
        }
        r.command = Command::Import;
    } else if (*calibrationGet) {
        r.command = Command::CalibrationGet;
    }
    parsed.run = true;
    return parsed;
}

}  // namespace QlnCli
