#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "config/TempFolder.h"
#include "platform/FileReplace.h"

using VexoPlatform::FileReplaceResult;
using VexoPlatform::ReplaceFile;
using VexoPlatform::ReplaceFileWith;

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

// Sets the umask for the lifetime of the object.
class Umask {
public:
    explicit Umask(mode_t mask) : old_(umask(mask)) {}
    ~Umask() { umask(old_); }

private:
    mode_t old_;
};

}  // namespace

TEST(FileReplace, NewFileTakesTheUmaskAndAnOldOneKeepsItsMode) {
    TempFolder dir;
    Umask mask(027);
    const std::string fresh = dir.File("fresh.json");
    ASSERT_TRUE(ReplaceFileWith(fresh, "{}\n").Ok());
    EXPECT_EQ(TempFolder::Read(fresh), "{}\n");
    EXPECT_EQ(ModeOf(fresh), 0640u);  // not mkstemp's 0600

    const std::string kept = dir.Write("kept.xml", "old");
    ASSERT_EQ(chmod(kept.c_str(), 0604), 0);
    ASSERT_TRUE(ReplaceFileWith(kept, "new").Ok());
    EXPECT_EQ(TempFolder::Read(kept), "new");
    EXPECT_EQ(ModeOf(kept), 0604u);
    EXPECT_EQ(dir.Entries().size(), 2u);  // no temporary file left behind
}

TEST(FileReplace, ALinkStaysALinkAndItsTargetGetsTheContent) {
    TempFolder dir;
    ASSERT_EQ(mkdir(dir.File("elsewhere").c_str(), 0755), 0);
    const std::string target = dir.Write("elsewhere/real.xml", "old");
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    const std::string link = dir.File("link.xml");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);

    ASSERT_TRUE(ReplaceFileWith(link, "new").Ok());
    struct stat info;
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(TempFolder::Read(target), "new");
    EXPECT_EQ(ModeOf(target), 0600u);
    // The temporary file was made beside the target, where the rename can take it.
    EXPECT_EQ(dir.Entries().size(), 2u);
}

TEST(FileReplace, AFailureLeavesTheOldFileAndNoTemporary) {
    struct Row {
        const char* name;
        const char* file;  // relative to the folder
        bool writerFails;
        FileReplaceResult::Step step;
        int error;
    };
    const Row rows[] = {
        {"missing folder", "no/such/folder/c.xml", false, FileReplaceResult::Step::CreateTemp, ENOENT},
        {"writer gives up", "c.xml", true, FileReplaceResult::Step::Write, EIO},
        {"folder in the way", "taken", false, FileReplaceResult::Step::Rename, EISDIR},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder dir;
        dir.Write("c.xml", "old");
        ASSERT_EQ(mkdir(dir.File("taken").c_str(), 0755), 0);
        const std::vector<std::string> before = dir.Entries();

        const FileReplaceResult result = ReplaceFile(dir.File(row.file), [&row](std::FILE* fp) {
            std::fputs("half", fp);
            return !row.writerFails;
        });
        EXPECT_FALSE(result.Ok());
        EXPECT_EQ(result.failed, row.step);
        EXPECT_EQ(result.error, row.error);
        EXPECT_EQ(TempFolder::Read(dir.File("c.xml")), "old");
        EXPECT_EQ(dir.Entries().size(), before.size());
    }
}
