#include "platform/FileReplace.h"

#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace VexoPlatform {

namespace {

// The file a path names: a link's final target, else the path itself.
std::string FileBehind(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return path;  // a dangling link: see the header
    std::string target = real;
    std::free(real);
    return target;
}

std::string FolderOf(const std::string& path) {
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back('\0');
    return dirname(buffer.data());
}

// Reads the process umask without changing it (umask() would, and another thread could create a
// file in that window).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "Umask:") == 0) return mode_t(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

FileReplaceResult Failed(FileReplaceResult::Step step, int error) {
    FileReplaceResult result;
    result.failed = step;
    result.error = error != 0 ? error : EIO;
    return result;
}

}  // namespace

FileReplaceResult ReplaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write) {
    const std::string target = FileBehind(path);
    std::string tempPath = target + ".XXXXXX";
    std::vector<char> tempBuf(tempPath.begin(), tempPath.end());
    tempBuf.push_back('\0');
    // Close-on-exec: a program started meanwhile must not inherit a half-written file.
    const int fd = mkostemp(tempBuf.data(), O_CLOEXEC);
    if (fd < 0) return Failed(FileReplaceResult::Step::CreateTemp, errno);
    tempPath = tempBuf.data();

    struct stat old;
    if (stat(target.c_str(), &old) == 0) {
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only root may hand a file to another owner; the mode below still applies.
        }
        fchmod(fd, old.st_mode & 07777);
    } else {
        fchmod(fd, 0666 & ~CurrentUmask());  // mkstemp makes it 0600
    }

    std::FILE* fp = fdopen(fd, "w");
    if (!fp) {
        const int error = errno;
        close(fd);
        unlink(tempPath.c_str());
        return Failed(FileReplaceResult::Step::Write, error);
    }
    errno = 0;
    bool ok = write(fp);
    ok = (std::fflush(fp) == 0) && ok && !std::ferror(fp);
    ok = ok && fsync(fd) == 0;
    int error = errno;
    if (std::fclose(fp) != 0 && ok) {
        error = errno;
        ok = false;
    }
    if (!ok) {
        unlink(tempPath.c_str());
        return Failed(FileReplaceResult::Step::Write, error);
    }
    if (std::rename(tempPath.c_str(), target.c_str()) != 0) {
        error = errno;
        unlink(tempPath.c_str());
        return Failed(FileReplaceResult::Step::Rename, error);
    }
    // Make the rename itself durable. The content is already in place: a folder that cannot be
    // flushed does not make the replacement fail.
    const int dirFd = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return FileReplaceResult();
}

FileReplaceResult ReplaceFileWith(const std::string& path, const std::string& content) {
    return ReplaceFile(path, [&content](std::FILE* fp) {
        return content.empty() || std::fwrite(content.data(), 1, content.size(), fp) == content.size();
    });
}

}  // namespace VexoPlatform
