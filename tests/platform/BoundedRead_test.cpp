// Whole-file reads of files the program is given: only regular files, never more than the bound.
#include "platform/BoundedRead.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "config/TempFolder.h"

using namespace VexoPlatform;
using Problem = FileReadResult::Problem;

TEST(BoundedRead, ReadsRegularFilesUpToTheBoundAndRefusesEverythingElse) {
    TempFolder folder;
    const std::string path = folder.File("target");
    struct Row {
        const char* name;
        std::function<void()> make;
        size_t limit;
        Problem problem;
        std::string out;    // what out holds afterwards
        const char* reason;
    } rows[] = {
        {"small file", [&] { folder.Write("target", "abc"); }, 16, Problem::None, "abc", ""},
        {"exactly the bound", [&] { folder.Write("target", "abcd"); }, 4, Problem::None, "abcd", ""},
        {"one byte past the bound", [&] { folder.Write("target", "abcde"); }, 4, Problem::TooLarge, "abcd",
         "it is larger than 4 bytes"},
        {"64 MiB", [&] { ASSERT_EQ(truncate(folder.Write("target", "x").c_str(), 64 << 20), 0); }, 65536,
         Problem::TooLarge, std::string("x") + std::string(65535, '\0'), "larger than 65536 bytes"},
        {"link to a file", [&] { folder.Write("real", "linked"); ASSERT_EQ(symlink("real", path.c_str()), 0); }, 16,
         Problem::None, "linked", ""},
        {"missing", [] {}, 16, Problem::Missing, "kept", "No such file or directory"},
        {"dangling link", [&] { ASSERT_EQ(symlink("nowhere", path.c_str()), 0); }, 16, Problem::Missing, "kept", "No such file"},
        {"FIFO", [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, 16, Problem::NotRegular, "kept",
         "it is a FIFO, not a regular file"},
        {"link to /dev/zero", [&] { ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0); }, 16, Problem::NotRegular, "kept",
         "it is a character device"},
        {"folder", [&] { ASSERT_EQ(mkdir(path.c_str(), 0700), 0); }, 16, Problem::NotRegular, "kept", "it is a folder"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::filesystem::remove_all(path);
        std::filesystem::remove(folder.File("real"));
        r.make();
        std::string out = "kept";
        const FileReadResult result = ReadBoundedFile(path, r.limit, out);
        EXPECT_EQ(result.problem, r.problem);
        EXPECT_EQ(out, r.out);
        EXPECT_NE(FileReadReason(result).find(r.reason), std::string::npos) << FileReadReason(result);
    }
}
