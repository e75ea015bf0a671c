// Where the running executable lives, and the working directory.
#pragma once

#include <string>

namespace VexoPlatform {

// The folder of the running executable (from /proc/self/exe), without a trailing '/'.
bool GetExecutableFolder(std::string& folder);

// Full path of the running executable.
bool GetExecutablePath(std::string& path);

bool ChangeDirectory(const std::string& folder);

// Makes the executable's folder the working directory (the program opens its data files relative
// to it). `folder` receives the folder whenever it could be read; the last error says why a step
// failed.
enum class FolderChange { Changed, NoExecutablePath, NotChanged };
FolderChange MakeExecutableFolderCurrent(std::string& folder);

}  // namespace VexoPlatform
