// Starting the companion programs without waiting for them.
//
// The updater is "qnUpdate" in the program's own folder, started by its full path (a bare name
// would be looked up in PATH). The tablet settings hand-over starts the desktop's touch/tablet
// settings panel: "gnome-control-center wacom", looked up in PATH; when that command is absent the
// hand-over fails quietly (its caller writes a Debug log line, no message). Both go through one starter that tests
// replace so that nothing real is started.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace VexoPlatform {

constexpr const char* kUpdaterName = "qnUpdate";
constexpr const char* kTabletSettingsCommand = "gnome-control-center";
constexpr const char* kTabletSettingsArgument = "wacom";

// Starts argv[0] (a full path, or a bare name searched in PATH when searchPath is set) with the
// given arguments and returns at once. True when the program was started.
using ProcessStarter = std::function<bool(const std::vector<std::string>& argv, bool searchPath)>;

// Installs a starter (an empty function restores the real one). Returns the previous starter.
ProcessStarter SetProcessStarter(ProcessStarter starter);

// The real starter: posix_spawn, the child reaped by a detached waiter so it leaves no zombie.
// The child starts with every signal at its default disposition and none blocked.
bool SpawnDetached(const std::vector<std::string>& argv, bool searchPath);

// Full path of the updater beside the running executable; empty when the folder is unknown.
std::string UpdaterPath();

// Starts the updater; false when it could not be started.
bool StartUpdater();

// Opens the operating system's tablet settings; false when they cannot be opened.
bool OpenTabletSettings();

}  // namespace VexoPlatform
