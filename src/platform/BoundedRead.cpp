#include "platform/BoundedRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace VexoPlatform {

namespace {

using Problem = FileReadResult::Problem;

FileReadResult Failed(Problem problem, int error, size_t limit, const char* kind = "") {
    FileReadResult result;
    result.problem = problem;
    result.error = error;
    result.limit = limit;
    result.kind = kind;
    return result;
}

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a file";
}

// Reads fd to its end or past limit; out keeps limit bytes at most.
FileReadResult ReadDescriptor(int fd, size_t limit, std::string& out) {
    std::string text;
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Failed(Problem::Unreadable, errno, limit);
        if (got == 0) break;
        text.append(chunk, size_t(got));
        if (text.size() > limit) {
            text.resize(limit);
            out.swap(text);
            return Failed(Problem::TooLarge, 0, limit);
        }
    }
    out.swap(text);
    FileReadResult done;
    done.limit = limit;
    return done;
}

}  // namespace

FileReadResult ReadBoundedFile(const std::string& path, size_t limit, std::string& out) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return Failed(errno == ENOENT ? Problem::Missing : Problem::Unreadable, errno, limit);
    if (!S_ISREG(info.st_mode)) return Failed(Problem::NotRegular, 0, limit, KindOf(info.st_mode));
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return Failed(errno == ENOENT ? Problem::Missing : Problem::Unreadable, errno, limit);
    FileReadResult result;
    if (fstat(fd, &info) != 0) {
        result = Failed(Problem::Unreadable, errno, limit);
    } else if (!S_ISREG(info.st_mode)) {
        result = Failed(Problem::NotRegular, 0, limit, KindOf(info.st_mode));
    } else {
        result = ReadDescriptor(fd, limit, out);
    }
    close(fd);
    return result;
}

FileReadResult ReadBoundedStandardInput(size_t limit, std::string& out) { return ReadDescriptor(STDIN_FILENO, limit, out); }

std::string FileReadReason(const FileReadResult& result) {
    switch (result.problem) {
        case Problem::None: return std::string();
        case Problem::NotRegular: return std::string("it is ") + result.kind + ", not a regular file";
        case Problem::TooLarge: return "it is larger than " + std::to_string(result.limit) + " bytes";
        case Problem::Missing:
        case Problem::Unreadable: break;
    }
    return std::strerror(result.error != 0 ? result.error : EIO);
}

}  // namespace VexoPlatform
