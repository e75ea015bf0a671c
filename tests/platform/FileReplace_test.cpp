#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>
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

namespace {

std::string Kind(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return "missing";
    if (S_ISLNK(info.st_mode)) return "link";
    if (S_ISFIFO(info.st_mode)) return "FIFO";
    if (S_ISCHR(info.st_mode)) return "character device";
    if (S_ISDIR(info.st_mode)) return "folder";
    return S_ISREG(info.st_mode) ? "file" : "other";
}

uid_t OwnerOf(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 ? info.st_uid : uid_t(-1);
}

}  // namespace

// Nodes that take a stream are written where they are; a rename over them would destroy them.
TEST(FileReplace, AFifoOrADeviceIsWrittenInPlaceAndStaysWhatItWas) {
    TempFolder dir;
    const std::string fifo = dir.File("fifo"), link = dir.File("link");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("fifo", link.c_str()), 0);
    std::string got;
    // The reader a FIFO needs; it ends with the writer's close.
    std::thread reader([&] { got = TempFolder::Read(fifo); });
    const FileReplaceResult result = ReplaceFileWith(link, "through the link\n");
    reader.join();
    EXPECT_TRUE(result.Ok()) << result.error;
    EXPECT_EQ(got, "through the link\n");
    EXPECT_EQ(Kind(link), "link");
    EXPECT_EQ(Kind(fifo), "FIFO");

    const std::string null = dir.File("null");
    ASSERT_EQ(symlink("/dev/null", null.c_str()), 0);
    EXPECT_TRUE(ReplaceFileWith(null, "gone\n").Ok());
    EXPECT_EQ(Kind("/dev/null"), "character device");
    EXPECT_EQ(Kind(null), "link");
    EXPECT_EQ(dir.Entries().size(), 3u) << "no temporary file left";
}

// As root under sudo, for the user 65534: a link that user planted does not lead the write into a
// folder that is not theirs.
TEST(FileReplace, RaisedPrivilegesWriteOnlyWhereTheRealUserCould) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to hand folders to another user";
    const VexoPlatform::FileWriter user{true, 65534, 65534};
    TempFolder dir;
    const std::string home = dir.File("home"), system = dir.File("system");
    ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(system.c_str(), 0755), 0);
    ASSERT_EQ(chown(home.c_str(), 65534, 65534), 0);
    const std::string secret = dir.Write("system/secret", "root's\n");
    const std::string planted = home + "/config.xml", toNew = home + "/new-link";
    ASSERT_EQ(symlink(secret.c_str(), planted.c_str()), 0);
    ASSERT_EQ(symlink((system + "/created").c_str(), toNew.c_str()), 0);
    const std::string rootNode = dir.File("node");
    ASSERT_EQ(mkfifo(rootNode.c_str(), 0600), 0);

    struct Row {
        const char* name;
        std::string path;
        bool ok;
    } rows[] = {
        {"link to a file in root's folder", planted, false},
        {"a file in root's folder", system + "/other", false},
        {"a FIFO only root may write", rootNode, false},
        {"a new file in the user's folder", home + "/fresh.xml", true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const FileReplaceResult result = ReplaceFileWith(r.path, "written\n", user);
        EXPECT_EQ(result.Ok(), r.ok);
        if (!r.ok) {
            EXPECT_EQ(result.failed, FileReplaceResult::Step::Refused);
        }
    }
    EXPECT_EQ(TempFolder::Read(secret), "root's\n");
    EXPECT_EQ(Kind(planted), "link");
    EXPECT_EQ(Kind(system + "/other"), "missing");
    EXPECT_EQ(Kind(rootNode), "FIFO");
    EXPECT_EQ(OwnerOf(home + "/fresh.xml"), 65534u) << "a new file is the user's";
    // A dangling link the user planted is replaced in their folder, never followed out of it.
    EXPECT_TRUE(ReplaceFileWith(toNew, "written\n", user).Ok());
    EXPECT_EQ(Kind(system + "/created"), "missing");
    EXPECT_EQ(Kind(toNew), "file");
}

TEST(FileReplace, ABlockDeviceIsRefused) {
    struct stat info;
    const char* disk = nullptr;
    for (const char* candidate : {"/dev/loop0", "/dev/sda", "/dev/vda", "/dev/nvme0n1"})
        if (stat(candidate, &info) == 0 && S_ISBLK(info.st_mode)) disk = candidate;
    if (!disk) GTEST_SKIP() << "no block device to point at";
    TempFolder dir;
    const std::string link = dir.File("disk");
    ASSERT_EQ(symlink(disk, link.c_str()), 0);
    const FileReplaceResult result = ReplaceFileWith(link, "profile\n");
    EXPECT_EQ(result.failed, FileReplaceResult::Step::Refused);
    EXPECT_STREQ(result.refusal, "it is a block device");
    EXPECT_EQ(Kind(link), "link");
}
