// The command line of qlncfg-cli: what to do, read from the arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace QlnCli {

// The program's exit status.
enum ExitCode : int {
    kExitDone = 0,
    kExitFailed = 1,       // the message is on standard error
    kExitUsage = 2,
    kExitUnreachable = 3,  // the touch service is not reachable or does not answer
    kExitBusy = 4,         // the device is being reset, or the window (or another qlncfg-cli) runs
    kExitNotSettled = 5,   // written and reset, but the device was not seen ready again within --wait
};

// How long a command waits for a device that is being reset, unless --wait says otherwise: a frame
// takes a few seconds to come back after a reset, and a script must not fail for that.
constexpr uint32_t kDefaultWaitMs = 15000;
constexpr double kMaxWaitSeconds = 3600;

enum class Command { Status, Devices, Mode, AdvancedGet, AdvancedSet, FactoryReset, Export, Import, CalibrationGet };

struct CliRequest {
    Command command = Command::Status;
    std::string device;  // --device: empty = the first device the service lists
    bool json = false;
    bool verbose = false;
    bool multiTouch = true;  // mode, and advanced set --mode
    bool setMode = false;    // advanced set: --mode given (one reset for both)
    // advanced set: only the settings given change.
    std::optional<bool> rightClick, pen;
    std::optional<int> rClickDelay, dClickDelay, clickRange, smooth;  // slider positions
    std::string file;    // export / import; "-" is standard output / input
    bool force = false;  // import onto another device
    bool settingsOnly = false;  // import: touch mode, effects and pen item only
    bool dryRun = false;        // import --settings-only: say what differs, write nothing
    uint32_t waitMs = kDefaultWaitMs;  // --wait: bound of every wait for a device being reset
};

// What main does with the arguments (without the program name).
struct ParsedCommandLine {
    bool run = false;  // run request; otherwise end with exitCode
    int exitCode = kExitDone;
    std::string out, err;
    CliRequest request;
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace QlnCli
