// Where the running executable lives, and the working directory.
#pragma once

#include <string>

namespace VexoPlatform {

// The folder of the running executable (from /proc/self/exe), without a trailing '/'.
bool GetExecutableFolder(std::string& folder);

// Full path of the running executable.
bool GetExecutablePath(std::string& path);

bool ChangeDirectory(const std::string& folder);

}  // namespace VexoPlatform
