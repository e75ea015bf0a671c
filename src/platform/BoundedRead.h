// Reading a whole file that the program is given, without trusting what the name leads to.
//
// Only a regular file is read. A FIFO would hang the reader until some writer appears, a device
// such as /dev/zero never ends, and a folder or socket holds no content: each is refused by its
// kind before it is opened, and checked again on the open descriptor (the name may change in
// between). The open never waits (O_NONBLOCK) and never makes a terminal the controlling one.
// At most limit bytes are kept: a file that grows past it while being read is caught as well as
// one that was too large from the start. Every caller gives a limit suited to its kind of file.
//
// No logging here: callers say what failed in their own words (FileReadReason gives the reason).
#pragma once

#include <cstddef>
#include <string>

namespace VexoPlatform {

struct FileReadResult {
    enum class Problem {
        None,
        Missing,     // nothing under the name (a link that leads nowhere included)
        NotRegular,  // a FIFO, a device, a folder or a socket; kind names which
        TooLarge,    // more than the limit; out holds the first limit bytes
        Unreadable,  // open or read failed (error says why)
    };
    Problem problem = Problem::None;
    int error = 0;           // errno of the failing call
    const char* kind = "";   // for NotRegular: "a FIFO", "a character device", ...
    size_t limit = 0;

    bool Ok() const { return problem == Problem::None; }
};

// Reads the file at path into out (replaced), keeping at most limit bytes.
FileReadResult ReadBoundedFile(const std::string& path, size_t limit, std::string& out);

// Reads standard input to its end into out, keeping at most limit bytes. Any kind is read here:
// a pipe is what a person means by "-".
FileReadResult ReadBoundedStandardInput(size_t limit, std::string& out);

// Why a read failed, as the end of a sentence: "it is a FIFO, not a regular file", "it is larger
// than 65536 bytes", "No such file or directory".
std::string FileReadReason(const FileReadResult& result);

}  // namespace VexoPlatform
