// Questions about files and folders, and creating folders, for the layers above that must not
// call the system themselves. Every path is taken as given (links followed).
#pragma once

#include <string>

namespace VexoPlatform {

bool IsFolder(const std::string& path);
// A regular file (not a folder, a device or a socket).
bool IsRegularFile(const std::string& path);
// True when nothing exists under the path or it is a regular file with no bytes.
bool IsMissingOrEmpty(const std::string& path);

// Whether the process may create and replace files in an existing folder.
bool MayWriteInFolder(const std::string& folder);

// Creates the folder and its missing parents with `mode` (less the umask). Returns 0 when the
// folder exists afterwards, else the errno of the failure (ENOTDIR: a file stands in the way).
int MakeFolders(const std::string& folder, unsigned mode);

// The home folder of the process's (effective) user from the password database; empty when the
// user has no entry. For when $HOME is unset.
std::string HomeFromPasswordDatabase();

// Whether the process's standard error goes to a terminal (a person watching, not a script's log).
bool StandardErrorIsTerminal();

}  // namespace VexoPlatform
