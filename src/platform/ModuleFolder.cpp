#include "platform/ModuleFolder.h"

#include <unistd.h>

#include <climits>

#include "platform/LastError.h"

namespace VexoPlatform {

bool GetExecutablePath(std::string& path) {
    char buf[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) {
        SetLastErrorFromErrno();
        return false;
    }
    path.assign(buf, size_t(n));
    return true;
}

bool GetExecutableFolder(std::string& folder) {
    std::string path;
    if (!GetExecutablePath(path)) return false;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return false;
    folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    return true;
}

bool ChangeDirectory(const std::string& folder) {
    if (::chdir(folder.c_str()) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

FolderChange MakeExecutableFolderCurrent(std::string& folder) {
    if (!GetExecutableFolder(folder)) return FolderChange::NoExecutablePath;
    return ChangeDirectory(folder) ? FolderChange::Changed : FolderChange::NotChanged;
}

}  // namespace VexoPlatform
