#include "platform/FileSystem.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace VexoPlatform {

bool IsFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsMissingOrEmpty(const std::string& path) {
    struct stat info;
    // A FIFO or a device reports no size either, yet is no empty file to start afresh over.
    return stat(path.c_str(), &info) != 0 || (S_ISREG(info.st_mode) && info.st_size == 0);
}

bool MayWriteInFolder(const std::string& folder) { return access(folder.c_str(), W_OK | X_OK) == 0; }

int MakeFolders(const std::string& folder, unsigned mode) {
    std::string path;
    size_t start = 0;
    while (start <= folder.size()) {
        size_t slash = folder.find('/', start);
        if (slash == std::string::npos) slash = folder.size();
        path = folder.substr(0, slash);
        if (!path.empty() && !IsFolder(path) && mkdir(path.c_str(), mode_t(mode)) != 0 && errno != EEXIST)
            return errno;
        start = slash + 1;
    }
    return IsFolder(folder) ? 0 : ENOTDIR;
}

std::string HomeFromPasswordDatabase() {
    const long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size_t(size > 0 ? size : 16384));
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return std::string();
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace VexoPlatform
