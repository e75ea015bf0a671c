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
    };
    Step failed = Step::None;
    int error = 0;  // errno of the failing call (EIO when the writer failed without one)

    bool Ok() const { return failed == Step::None; }
};

// Writes the file `path` through `write`, which gets the temporary file open for writing and
// returns false when it could not write everything.
FileReplaceResult ReplaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write);

// The same for content already in memory.
FileReplaceResult ReplaceFileWith(const std::string& path, const std::string& content);

}  // namespace VexoPlatform
