#include "platform/FileReplace.h"

#include <fcntl.h>
#include <libgen.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <random>
#include <vector>

namespace VexoPlatform {

namespace {

FileReplaceResult Failed(FileReplaceResult::Step step, int error, const char* refusal = "") {
    FileReplaceResult result;
    result.failed = step;
    result.error = error != 0 ? error : EIO;
    result.refusal = refusal;
    return result;
}

std::string FolderOf(const std::string& path) {
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back('\0');
    return dirname(buffer.data());
}

std::string NameOf(const std::string& path) {
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back('\0');
    return basename(buffer.data());
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

// What a write to the name does.
struct Plan {
    enum class How { Replace, InPlace, Refuse } how = How::Replace;
    std::string folder, name;  // Replace: where the file is replaced
    FileReplaceResult refusal;  // Refuse: the result to hand back
};

Plan Refuse(FileReplaceResult::Step step, int error, const char* why) {
    Plan plan;
    plan.how = Plan::How::Refuse;
    plan.refusal = Failed(step, error, why);
    return plan;
}

Plan ReplaceAt(const std::string& path) {
    Plan plan;
    plan.folder = FolderOf(path);
    plan.name = NameOf(path);
    return plan;
}

// A name that leads to something other than a regular file.
Plan ByKind(mode_t mode) {
    // A FIFO or a terminal (and /dev/null, /dev/stdout) takes the content as a stream: renaming a
    // file over it would destroy it, so it is written where it is.
    if (S_ISFIFO(mode) || S_ISCHR(mode)) {
        Plan plan;
        plan.how = Plan::How::InPlace;
        return plan;
    }
    if (S_ISDIR(mode)) return Refuse(FileReplaceResult::Step::Rename, EISDIR, "it is a folder");
    // A profile written over a disk would destroy the disk's content.
    if (S_ISBLK(mode)) return Refuse(FileReplaceResult::Step::Refused, ENOTSUP, "it is a block device");
    return Refuse(FileReplaceResult::Step::Refused, ENOTSUP, "it is neither a file nor a stream");
}

Plan PlanFor(const std::string& path) {
    struct stat own;
    if (lstat(path.c_str(), &own) != 0) {
        if (errno == ENOENT) return ReplaceAt(path);
        return Refuse(FileReplaceResult::Step::CreateTemp, errno, "");
    }
    if (S_ISREG(own.st_mode)) return ReplaceAt(path);
    if (!S_ISLNK(own.st_mode)) return ByKind(own.st_mode);
    struct stat behind;
    // A link that leads nowhere cannot be followed: it is replaced by the file itself.
    if (stat(path.c_str(), &behind) != 0) return ReplaceAt(path);
    if (!S_ISREG(behind.st_mode)) return ByKind(behind.st_mode);
    // The file the link leads to is replaced. A name realpath cannot give back (a file opened
    // and deleted, seen through /proc) is written in place instead.
    char* real = realpath(path.c_str(), nullptr);
    struct stat check;
    if (real && stat(real, &check) == 0 && check.st_dev == behind.st_dev && check.st_ino == behind.st_ino) {
        Plan plan = ReplaceAt(real);
        std::free(real);
        return plan;
    }
    std::free(real);
    Plan plan;
    plan.how = Plan::How::InPlace;
    return plan;
}

bool Finish(std::FILE* fp, int fd, bool ok, bool sync, int& error) {
    errno = 0;
    ok = (std::fflush(fp) == 0) && ok && !std::ferror(fp);
    if (ok && sync && fsync(fd) != 0) ok = false;
    error = errno;
    if (std::fclose(fp) != 0 && ok) {
        error = errno;
        ok = false;
    }
    return ok;
}

FileReplaceResult WriteInPlace(const std::string& path, const std::function<bool(std::FILE*)>& write,
                               const FileWriter& writer) {
    struct stat before, info;
    if (stat(path.c_str(), &before) != 0) return Failed(FileReplaceResult::Step::Write, errno);
    if (writer.raised) {
        // Checked before the open: opening a FIFO waits, opening a device can act.
        const bool own = before.st_uid == writer.user && (before.st_mode & S_IWUSR);
        if (!own && !(before.st_mode & S_IWOTH))
            return Failed(FileReplaceResult::Step::Refused, EACCES, "the user the program runs for may not write it");
    }
    // Opening a FIFO waits for its reader, as any program writing to it does.
    const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return Failed(FileReplaceResult::Step::Write, errno);
    if (fstat(fd, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)) || info.st_dev != before.st_dev ||
        info.st_ino != before.st_ino) {
        // The name changed between the look and the open: a file now would be written without
        // being cut to the new length.
        close(fd);
        return Failed(FileReplaceResult::Step::Refused, EAGAIN, "it changed while it was opened");
    }
    std::FILE* fp = fdopen(fd, "w");
    if (!fp) {
        const int error = errno;
        close(fd);
        return Failed(FileReplaceResult::Step::Write, error);
    }
    int error = 0;
    const bool ok = Finish(fp, fd, write(fp), false, error);
    return ok ? FileReplaceResult() : Failed(FileReplaceResult::Step::Write, error);
}

// A temporary file beside name in the folder, created there and nowhere else.
int CreateTemporary(int dirFd, const std::string& name, std::string& tempName) {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 pick(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = name + ".";
        for (int k = 0; k < 6; ++k) tempName += letters[pick() % (sizeof letters - 1)];
        // Close-on-exec: a program started meanwhile must not inherit a half-written file.
        const int fd = openat(dirFd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

FileReplaceResult ReplaceInFolder(const Plan& plan, const std::function<bool(std::FILE*)>& write,
                                  const FileWriter& writer) {
    // Everything below is relative to the folder opened here: a folder swapped for another after
    // the checks cannot redirect the write.
    const int dirFd = open(plan.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return Failed(FileReplaceResult::Step::CreateTemp, errno);
    struct stat folder, old;
    const bool exists = fstatat(dirFd, plan.name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (writer.raised) {
        // Raised privileges act for the real user: only in a folder of theirs, where they could
        // have put the file themselves. A link they planted to a file elsewhere is not followed.
        const char* why = nullptr;
        if (fstat(dirFd, &folder) != 0 || folder.st_uid != writer.user)
            why = "the folder does not belong to the user the program runs for";
        else if (exists && !S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode))
            why = "it changed while it was looked at";
        if (why) {
            close(dirFd);
            return Failed(FileReplaceResult::Step::Refused, EPERM, why);
        }
    }
    std::string tempName;
    const int fd = CreateTemporary(dirFd, plan.name, tempName);
    if (fd < 0) {
        const int error = errno;
        close(dirFd);
        return Failed(FileReplaceResult::Step::CreateTemp, error);
    }
    auto discard = [&](FileReplaceResult::Step step, int error) {
        unlinkat(dirFd, tempName.c_str(), 0);
        close(dirFd);
        return Failed(step, error);
    };
    if (exists && S_ISREG(old.st_mode)) {
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only root may hand a file to another owner; the mode below still applies.
        }
        fchmod(fd, old.st_mode & 07777);
    } else {
        // A new file made for the real user is theirs, not root's.
        if (writer.raised && fchown(fd, writer.user, writer.group) != 0) {
        }
        fchmod(fd, 0666 & ~CurrentUmask());  // created 0600
    }
    std::FILE* fp = fdopen(fd, "w");
    if (!fp) {
        const int error = errno;
        close(fd);
        return discard(FileReplaceResult::Step::Write, error);
    }
    int error = 0;
    if (!Finish(fp, fd, write(fp), true, error)) return discard(FileReplaceResult::Step::Write, error);
    if (renameat(dirFd, tempName.c_str(), dirFd, plan.name.c_str()) != 0)
        return discard(FileReplaceResult::Step::Rename, errno);
    // Make the rename itself durable. The content is already in place: a folder that cannot be
    // flushed does not make the replacement fail.
    fsync(dirFd);
    close(dirFd);
    return FileReplaceResult();
}

unsigned IdFromEnvironment(const char* name, unsigned fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    return *end == '\0' ? unsigned(value) : fallback;
}

}  // namespace

FileWriter CurrentFileWriter() {
    FileWriter writer;
    writer.user = getuid();
    writer.group = getgid();
    if (geteuid() != getuid()) {
        writer.raised = true;  // set-user-id
    } else if (geteuid() == 0) {
        // sudo runs the program as root and says for whom.
        const unsigned user = IdFromEnvironment("SUDO_UID", 0);
        if (user != 0) {
            writer.raised = true;
            writer.user = user;
            writer.group = IdFromEnvironment("SUDO_GID", user);
        }
    }
    return writer;
}

FileReplaceResult ReplaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write,
                              const FileWriter& writer) {
    const Plan plan = PlanFor(path);
    switch (plan.how) {
        case Plan::How::Refuse: return plan.refusal;
        case Plan::How::InPlace: return WriteInPlace(path, write, writer);
        case Plan::How::Replace: break;
    }
    return ReplaceInFolder(plan, write, writer);
}

FileReplaceResult ReplaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write) {
    return ReplaceFile(path, write, CurrentFileWriter());
}

FileReplaceResult ReplaceFileWith(const std::string& path, const std::string& content, const FileWriter& writer) {
    return ReplaceFile(
        path,
        [&content](std::FILE* fp) {
            return content.empty() || std::fwrite(content.data(), 1, content.size(), fp) == content.size();
        },
        writer);
}

FileReplaceResult ReplaceFileWith(const std::string& path, const std::string& content) {
    return ReplaceFileWith(path, content, CurrentFileWriter());
}

}  // namespace VexoPlatform
