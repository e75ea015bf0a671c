// Replacing a file's content so that a reader, a crash or a full disk never finds it half written.
//
// The new content goes to a temporary file in the same folder (a rename is atomic only within one
// file system), which is flushed to disk and then renamed over the old name; the folder is then
// flushed too, so that the rename itself survives a power cut. Until the rename the old file is
// untouched, and on any failure the temporary file is removed again.
//
// What stays as it was:
// - The mode: an existing file's permission bits (and, where the process may, its owner and group)
//   carry over to the new one. A new file gets 0666 less the process umask, as open() would give.
// - A symbolic link: the file the link leads to is replaced and the link stays a link, so a
//   configuration kept elsewhere (a dotfiles folder) keeps working. A link that leads nowhere
//   cannot be followed; it is then replaced by the file itself.
//
// Only a regular file is replaced (or a missing one created). A FIFO or a character device (a
// terminal, /dev/null, /dev/stdout) is written in place, as a shell's redirection would: renaming
// a file over it would destroy the node. A folder, a block device or a socket is refused.
//
// Raised privileges (set-user-id, or root under sudo, which names the real user in SUDO_UID) act
// for the real user only: a file is replaced only in a folder that user owns, so a link they
// planted to a file elsewhere (/etc/shadow) is not followed into a folder that is not theirs, and
// a new file becomes theirs; a node is written in place only when that user may write it. The
// folder is opened once and everything after the check happens relative to it.
//
// No logging here: callers say what failed in their own words.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace VexoPlatform {

struct FileReplaceResult {
    enum class Step {
        None,        // done: the file holds the new content
        CreateTemp,  // no temporary file could be made beside the file (missing or read-only folder)
        Write,       // writing, flushing or closing the temporary file failed
        Rename,      // the temporary file could not take the file's name (a folder in the way)
        Refused,     // a target that is not written (refusal says why)
    };
    Step failed = Step::None;
    int error = 0;  // errno of the failing call (EIO when the writer failed without one)
    const char* refusal = "";  // why a target was refused ("it is a block device"), else empty

    bool Ok() const { return failed == Step::None; }
};

// For whom a file is written: the process's own user, or under raised privileges the real user.
struct FileWriter {
    bool raised = false;
    unsigned user = 0, group = 0;
};
FileWriter CurrentFileWriter();

// Writes the file `path` through `write`, which gets the temporary file open for writing and
// returns false when it could not write everything.
FileReplaceResult ReplaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write);
// The same for a given writer (tests stand in for a user under sudo).
FileReplaceResult ReplaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write,
                              const FileWriter& writer);

// The same for content already in memory.
FileReplaceResult ReplaceFileWith(const std::string& path, const std::string& content);
FileReplaceResult ReplaceFileWith(const std::string& path, const std::string& content, const FileWriter& writer);

}  // namespace VexoPlatform
