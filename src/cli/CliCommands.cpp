#include "cli/CliCommands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliReport.h"
#include "cli/CliStreams.h"
#include "config/CommandLineRules.h"
#include "device/AccessWait.h"
#include "device/AdvancedSettings.h"
#include "device/DeviceChoice.h"
#include "device/DeviceProfile.h"
#include "device/DeviceRequests.h"
#include "device/DeviceStatus.h"
#include "device/FactoryReset.h"
#include "device/ProfileDocument.h"
#include "device/ProfileSettings.h"
#include "device/ProfileValidation.h"
#include "device/TouchMode.h"
#include "foundation/PrintableText.h"
#include "foundation/VexoLog.h"
#include "platform/BoundedRead.h"
#include "platform/FileReplace.h"
#include "platform/InstanceGuard.h"
#include "servicelink/VexoRPC.h"

namespace QlnCli {

using namespace VexoSource;
using VexoPlatform::InstanceGuard;

namespace {

const char* kName = "qlncfg-cli: ";

// The guard and the channel for the length of one request; both are given up however it ends.
class Session {
public:
    Session() : m_guard(VexoPlatform::kProgramGuardName) {}
    ~Session() {
        CloseServiceChannel();
        m_guard.Release();
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    InstanceGuard& Guard() { return m_guard; }

private:
    InstanceGuard m_guard;
};

// Where the chosen device stands after the common first steps.
struct Target {
    std::vector<std::string> devices;
    std::string device;
    // Every request of the run after the device list goes to this device.
    DeviceHandle handle{0};
    AccessState access = AccessState::NoAnswer;
    bool terminal = false;  // standard error is a terminal: a person sees the waiting line
};

int Fail(std::ostream& err, int code, const std::string& message) {
    err << kName << message << "\n";
    return code;
}

// What a command needs to know of the device's access state.
enum class AccessNeed {
    None,        // the device list is all it reads
    ReportBusy,  // a busy device is an answer (status)
    Ready,       // a busy device ends the command before anything is sent
};

std::string Seconds(uint32_t ms) {
    std::ostringstream text;
    text << ms / 1000.0;
    return text.str();
}

// Asks until the device is ready or --wait runs out. The single-instance guard is never waited
// for: behind it is a person with the window open, not a reset that ends by itself.
AccessState AwaitAccess(const CliRequest& r, const Target& t, std::ostream& err) {
    AccessWait wait;
    wait.boundMs = r.waitMs;
    // One line for a person; a script's log stays clean.
    if (t.terminal)
        wait.onWaiting = [&] {
            err << kName << "waiting for device " << t.device << " to finish resetting (up to " << Seconds(r.waitMs)
                << " s)\n";
            err.flush();
        };
    return WaitForAccess(t.handle, wait);
}

// Guard, channel, device list, device choice, access. Returns -1 to go on, else the exit status.
int Prepare(Session& session, const CliRequest& r, std::ostream& err, Target& target, AccessNeed need) {
    switch (session.Guard().Acquire()) {
        case InstanceGuard::State::Held:
            break;
        case InstanceGuard::State::HeldElsewhere:
            return Fail(err, kExitBusy,
                        "qlncfg or another qlncfg-cli is running on this machine (" +
                            (session.Guard().Holder().empty() ? session.Guard().Address() : session.Guard().Holder()) +
                            "); try again when it has ended");
        default:
            // As the window: where no socket can be bound, refusing would lock the user out for good.
            err << kName << "warning: running without the single-instance guard (" << session.Guard().Problem()
                << ")\n";
            break;
    }
    if (!OpenServiceChannel())
        return Fail(err, kExitUnreachable,
                    std::string("the touch service is not reachable on ") + kServiceHost + ":" +
                        std::to_string(kServicePort));

    std::vector<VexoWString> list;
    bool answered = false;
    // Before a device is known the head carries no device.
    if (!ReadDeviceList(DeviceHandle(0), list, &answered)) {
        return answered ? Fail(err, kExitFailed, "the touch service sent a device list that cannot be read")
                        : Fail(err, kExitUnreachable, "the touch service does not answer");
    }
    target.devices = DeviceNames(list);
    // `devices` answers with the list as it is: an empty one is an answer, not a failure.
    if (list.empty() && need == AccessNeed::None && r.device.empty()) return -1;
    if (list.empty()) return Fail(err, kExitFailed, "no touch device is attached");
    const int index = FindDevice(list, r.device);
    if (index < 0) {
        std::string known;
        for (const std::string& d : target.devices) known += (known.empty() ? "" : ", ") + PrintableText(d);
        return Fail(err, kExitFailed, "no device " + PrintableText(r.device) + " is attached (attached: " + known + ")");
    }
    target.device = target.devices[size_t(index)];
    // The handle's selector alone; the process-wide choice is the window's, never the companion's.
    uint32_t selector = 0;
    const bool adopted = DeviceSelectorFromIdentifier(target.device, selector) && IsDeviceIdentifier(target.device.substr(0, 16));
    target.handle = DeviceHandle(selector);
    if (need == AccessNeed::None) return -1;
    // Its requests would carry whatever selector came before (0 at first), which addresses no
    // device or another one.
    if (!adopted)
        return Fail(err, kExitFailed,
                    "device " + PrintableText(target.device) +
                        " has an identifier that does not name a device (not 16 hexadecimal digits); nothing was sent to it");
    target.access = AwaitAccess(r, target, err);
    if (target.access == AccessState::NoAnswer) return Fail(err, kExitUnreachable, "the touch service does not answer");
    if (target.access == AccessState::Busy && need == AccessNeed::Ready)
        return Fail(err, kExitBusy,
                    "device " + target.device + " is busy (being reset)" +
                        (r.waitMs > 0 ? " after waiting " + Seconds(r.waitMs) + " s" : std::string()) +
                        "; try again later");
    return -1;
}

// After a reset that the device answered: status 0 means written and usable again, so a script's
// next command finds the device ready. --wait 0 returns at once, as before there was a wait.
int Settled(const CliRequest& r, const Target& t, std::ostream& err) {
    if (r.waitMs == 0) return kExitDone;
    switch (AwaitAccess(r, t, err)) {
        case AccessState::Ready:
            return kExitDone;
        case AccessState::Busy:
            return Fail(err, kExitNotSettled,
                        "written and reset, but device " + t.device + " was still busy after " + Seconds(r.waitMs) +
                            " s; it takes the settings once its reset ends");
        case AccessState::NoAnswer:
            break;
    }
    return Fail(err, kExitNotSettled,
                "written and reset, but the touch service stopped answering while device " + t.device +
                    " was being reset");
}

int Reset(const CliRequest& r, const Target& t, std::ostream& out, std::ostream& err, const std::string& done) {
    if (!RequestDeviceReset(t.handle))
        return Fail(err, kExitFailed, done + ", but the device did not answer the reset: it may still work the old way");
    out << done << "; device reset\n";
    out.flush();
    return Settled(r, t, err);
}

int Status(const CliRequest& r, const Target& t, std::ostream& out, std::ostream& err) {
    StatusReport report;
    report.devices = t.devices;
    report.device = t.device;
    report.busy = t.access == AccessState::Busy;
    if (!report.busy) {
        if (!ReadDeviceState(t.handle, report.state))
            return Fail(err, kExitFailed, "the device's state could not be read");
        ReadProductSeries(t.handle, report.state.info.VersionByte(), report.series, report.requiredConfigVersion);
    }
    out << (r.json ? StatusJson(report) : StatusText(report));
    return report.busy ? kExitBusy : kExitDone;
}

int Mode(const CliRequest& r, const Target& t, std::ostream& out, std::ostream& err) {
    DeviceConfigRecord config{};
    if (!WriteTouchMode(t.handle, r.multiTouch, config))
        return Fail(err, kExitFailed, "the mode could not be written to device " + t.device);
    return Reset(r, t, out, err, std::string("device ") + t.device + ": " + (r.multiTouch ? "multitouch" : "mouse") + " mode written");
}

int AdvancedGet(const CliRequest& r, const Target& t, std::ostream& out, std::ostream& err) {
    AdvancedSettings settings;
    DeviceConfigRecord check{};
    MultiConfigRecord pen{};
    if (!LoadAdvancedSettings(t.handle, settings, check, pen, false))
        return Fail(err, kExitFailed, "the advanced settings could not be read");
    out << (r.json ? AdvancedJson(settings) : AdvancedText(settings));
    return kExitDone;
}

int AdvancedSet(const CliRequest& r, const Target& t, std::ostream& out, std::ostream& err) {
    // The mode first, as Apply writes it; one reset then takes both, since every reset takes the
    // frame from its user for seconds.
    std::string written = "advanced settings";
    if (r.setMode) {
        DeviceConfigRecord config{};
        if (!WriteTouchMode(t.handle, r.multiTouch, config))
            return Fail(err, kExitFailed, "the mode could not be written to device " + t.device + "; nothing was reset");
        written = std::string(r.multiTouch ? "multitouch" : "mouse") + " mode and advanced settings";
    }
    // As the dialog: load (creating a missing pen item), change what was given, write, reset.
    AdvancedSettings settings;
    DeviceConfigRecord check{};
    MultiConfigRecord pen{};
    // What was written before a failure stays (as in the window), and the device is not reset.
    const std::string modeKept = r.setMode ? " (the mode was written; the device was not reset)" : "";
    if (!LoadAdvancedSettings(t.handle, settings, check, pen, true))
        return Fail(err, kExitFailed, "the advanced settings could not be read" + modeKept);
    // An unread pen item is no "off": writing it would put a placeholder over the device's item.
    if (settings.penState == PenItemState::NotAnswered)
        return Fail(err, kExitFailed,
                    r.setMode ? "the pen simulation item could not be read" + modeKept
                              : "the pen simulation item could not be read; nothing was written");
    AdvSettingPositions p = ClampToSliders(settings.positions);
    bool penOn = settings.pen != 0;
    if (r.rightClick) p.rightClick = *r.rightClick;
    if (r.rClickDelay) p.rClickDelay = *r.rClickDelay;
    if (r.dClickDelay) p.dClickDelay = *r.dClickDelay;
    if (r.clickRange) p.clickRange = *r.clickRange;
    if (r.smooth) p.smooth = *r.smooth;
    if (r.pen) penOn = *r.pen;
    // Only what was given changes (as the help says); the others keep the device's values exactly.
    AdvSettingFields given;
    given.rightClick = r.rightClick.has_value();
    given.rClickDelay = r.rClickDelay.has_value();
    given.dClickDelay = r.dClickDelay.has_value();
    given.clickRange = r.clickRange.has_value();
    given.smooth = r.smooth.has_value();
    EffectsRecord effects{};
    switch (WriteAdvancedSettings(t.handle, p, penOn, effects, pen, given)) {
        case AdvancedWriteResult::Done:
            break;
        case AdvancedWriteResult::ReadFailed:
            return Fail(err, kExitFailed,
                        r.setMode ? "the effects could not be read again" + modeKept
                                  : "the effects could not be read again; nothing was written");
        case AdvancedWriteResult::EffectsFailed:
            return Fail(err, kExitFailed,
                        r.setMode ? "the effects could not be written" + modeKept
                                  : "the effects could not be written; nothing was changed");
        case AdvancedWriteResult::PenFailed:
            return Fail(err, kExitFailed, "the effects were written but the pen simulation item was not; the device was not reset");
    }
    return Reset(r, t, out, err, "device " + t.device + ": " + written + " written");
}

int FactoryReset(const CliRequest& r, const Target& t, std::ostream& out, std::ostream& err) {
    FactoryRecords working;
    switch (ResetToFactory(t.handle, working)) {
        case FactoryResetResult::Done:
            out << "device " << t.device << ": manufacturer settings written; device reset\n";
            out.flush();
            return Settled(r, t, err);
        case FactoryResetResult::ReadFailed:
            return Fail(err, kExitFailed, "the device's settings could not be read; nothing was written");
        case FactoryResetResult::WriteFailed:
            return Fail(err, kExitFailed, "a write failed part-way; the device was not reset");
        case FactoryResetResult::ResetFailed:
            return Fail(err, kExitFailed, "manufacturer settings written, but the device did not answer the reset");
    }
    return kExitFailed;
}

// Writes text to path through a temporary file beside it, so that an interrupted export never
// leaves half a profile under the name; a FIFO or a terminal is written in place (FileReplace.h).
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& problem) {
    const VexoPlatform::FileReplaceResult result = VexoPlatform::ReplaceFileWith(path, text);
    if (result.Ok()) return true;
    if (result.failed == VexoPlatform::FileReplaceResult::Step::CreateTemp)
        problem = "cannot create a file beside " + PrintableText(path) + ": " + std::strerror(result.error);
    else if (result.failed == VexoPlatform::FileReplaceResult::Step::Refused)
        problem = "refusing to write " + PrintableText(path) + ": " + result.refusal;
    else
        problem = "cannot write " + PrintableText(path) + ": " + std::strerror(result.error);
    return false;
}

int Export(const CliRequest& r, const Target& t, std::ostream& out, std::ostream& err) {
    DeviceProfile profile;
    profile.device = t.device;
    if (!ReadDeviceProfile(t.handle, profile)) return Fail(err, kExitFailed, "the device's settings could not be read whole");
    const std::string text = ProfileToJson(profile, std::string("qlncfg-cli ") + ProgramVersion());
    if (r.file == "-") {
        out << text;
        return kExitDone;
    }
    std::string problem;
    if (!WriteFileAtomically(r.file, text, problem)) return Fail(err, kExitFailed, problem);
    out << "device " << t.device << ": profile written to " << r.file << "\n";
    return kExitDone;
}

bool ReadProfileFile(const std::string& path, std::string& text, std::string& problem) {
    // One byte more than a profile may have is read, so that a larger file is seen as such; a
    // FIFO or a device is refused by name (standard input is read whatever it is).
    const VexoPlatform::FileReadResult read = path == "-" ? VexoPlatform::ReadBoundedStandardInput(kProfileMaxBytes + 1, text)
                                                          : VexoPlatform::ReadBoundedFile(path, kProfileMaxBytes + 1, text);
    switch (read.problem) {
        case VexoPlatform::FileReadResult::Problem::None:
        case VexoPlatform::FileReadResult::Problem::TooLarge:  // ProfileFromJson says so
            return true;
        case VexoPlatform::FileReadResult::Problem::Missing:
            problem = "cannot open " + PrintableText(path) + ": " + VexoPlatform::FileReadReason(read);
            break;
        default:
            problem = "cannot read " + PrintableText(path) + ": " + VexoPlatform::FileReadReason(read) + "; nothing was written";
            break;
    }
    return false;
}

// One line per write of an import, as the service answered it.
void ReportStep(std::ostream& out, const ProfileStep& s) {
    out << (s.ok ? "wrote " : "FAILED ") << s.what;
    if (s.itemId) out << " " << s.itemId;
    out << " (" << s.request << ")\n";
}

int Import(const CliRequest& r, const DeviceProfile& profile, const Target& t, std::ostream& out, std::ostream& err) {
    if (!SameDevice(profile.device, t.device)) {
        if (!r.force)
            return Fail(err, kExitFailed,
                        "the profile was saved from device " + profile.device + ", not " + t.device +
                            "; nothing was written (import --settings-only copies its settings alone; --force "
                            "writes it all, calibration and orientation included)");
        out << "profile of device " << profile.device << " written to device " << t.device << " (--force)\n";
    }
    const ProfileWriteResult result = WriteDeviceProfile(t.handle, profile, [&](const ProfileStep& s) { ReportStep(out, s); });
    switch (result) {
        case ProfileWriteResult::Done:
            out << "device " << t.device << ": profile imported; device reset\n";
            out.flush();
            return Settled(r, t, err);
        case ProfileWriteResult::WriteFailed:
            return Fail(err, kExitFailed, "a write failed part-way; what was written stays, the device was not reset");
        case ProfileWriteResult::ResetFailed:
            return Fail(err, kExitFailed, "the profile was written, but the device did not answer the reset");
    }
    return kExitFailed;
}

// The settings alone go to any device: no --force, since nothing of the source frame's own
// (calibration, display orientation) is written.
int ImportSettings(const CliRequest& r, const DeviceProfile& profile, const Target& t, std::ostream& out,
                   std::ostream& err) {
    switch (WriteProfileSettings(t.handle, profile, [&](const ProfileStep& s) { ReportStep(out, s); })) {
        case SettingsWriteResult::Done:
            out << "device " << t.device << ": settings of device " << profile.device
                << "'s profile imported (touch mode, effects, pen simulation); device reset\n";
            out.flush();
            return Settled(r, t, err);
        case SettingsWriteResult::ReadFailed:
            return Fail(err, kExitFailed, "the device's configuration could not be read; nothing was written");
        case SettingsWriteResult::WriteFailed:
            return Fail(err, kExitFailed, "a write failed part-way; what was written stays, the device was not reset");
        case SettingsWriteResult::ResetFailed:
            return Fail(err, kExitFailed, "the settings were written, but the device did not answer the reset");
    }
    return kExitFailed;
}

// Writes nothing: which of the settings an import --settings-only would write differ, so that a
// fleet's tools reset only the frames that need it.
int CompareSettings(const CliRequest& r, const DeviceProfile& profile, const Target& t, std::ostream& out,
                    std::ostream& err) {
    ProfileSettingsComparison comparison;
    if (!CompareProfileSettings(t.handle, profile, comparison))
        return Fail(err, kExitFailed, "the device's settings could not be read whole; nothing was written");
    out << (r.json ? SettingsComparisonJson(t.device, profile, comparison)
                   : SettingsComparisonText(t.device, profile, comparison));
    return kExitDone;
}

int CalibrationGet(const CliRequest& r, const Target& t, std::ostream& out, std::ostream& err) {
    // Read whole: a short reply would show points of no record at all.
    CalibrationRecord record{};
    if (!ReadWhole(t.handle, GetCalibration, record)) {
        VexoLogException(L"Get response failed! ");
        return Fail(err, kExitFailed, "the calibration could not be read");
    }
    out << (r.json ? CalibrationJson(t.device, record) : CalibrationText(t.device, record));
    return kExitDone;
}

int Run(const CliRequest& r, std::ostream& out, std::ostream& err, bool errIsTerminal) {

    // A profile that cannot be used is refused before anything is asked of the service.
    DeviceProfile profile;
    if (r.command == Command::Import) {
        std::string text, problem;
        if (!ReadProfileFile(r.file, text, problem)) return Fail(err, kExitFailed, problem);
        if (ProfileForImport(text, profile, problem) != ProfileProblem::None)
            return Fail(err, kExitFailed, PrintableText(r.file) + ": " + problem + "; nothing was written");
    }

    Session session;
    Target target;
    target.terminal = errIsTerminal;
    const AccessNeed need = r.command == Command::Devices  ? AccessNeed::None
                            : r.command == Command::Status ? AccessNeed::ReportBusy
                                                           : AccessNeed::Ready;
    const int prepared = Prepare(session, r, err, target, need);
    if (prepared >= 0) return prepared;

    switch (r.command) {
        case Command::Status: return Status(r, target, out, err);
        case Command::Devices:
            out << (r.json ? DevicesJson(target.devices) : DevicesText(target.devices));
            if (target.devices.empty() && !r.json) err << kName << "no touch device is attached\n";
            return kExitDone;
        case Command::Mode: return Mode(r, target, out, err);
        case Command::AdvancedGet: return AdvancedGet(r, target, out, err);
        case Command::AdvancedSet: return AdvancedSet(r, target, out, err);
        case Command::FactoryReset: return FactoryReset(r, target, out, err);
        case Command::Export: return Export(r, target, out, err);
        case Command::Import:
            if (r.dryRun) return CompareSettings(r, profile, target, out, err);
            return r.settingsOnly ? ImportSettings(r, profile, target, out, err) : Import(r, profile, target, out, err);
        case Command::CalibrationGet: return CalibrationGet(r, target, out, err);
    }
    return kExitFailed;
}

}  // namespace

int RunRequest(const CliRequest& r, std::ostream& out, std::ostream& err, bool errIsTerminal) {
    // The diagnostic log is for finding faults: without --verbose, standard error carries the
    // program's own messages only.
    g_VexoLog.enabled = r.verbose ? 1 : 0;
    g_VexoLog.flags = VEXO_LOG_DEBUGGER;  // standard error
    g_VexoLog.tag = L"qlncfg-cli ";
    g_VexoLog.minimumLevel = VEXO_LOG_DEBUG;

    CountingStreamBuf counted(out.rdbuf());
    std::ostream countedOut(&counted);
    LastLineStreamBuf tapped(err.rdbuf());
    std::ostream tappedErr(&tapped);
    const int code = Run(r, countedOut, tappedErr, errIsTerminal);
    countedOut.flush();
    tappedErr.flush();
    // With --json a script reads standard output: a failure that printed nothing there still
    // leaves an object to parse.
    if (r.json && code != kExitDone && counted.Count() == 0) out << ErrorJson(ErrorMessage(tapped.LastLine()), code);
    return code;
}

}  // namespace QlnCli
