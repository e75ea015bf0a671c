#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/DisplayOrientation.h"
#include "platform/LastError.h"
#include "platform/ModuleFolder.h"
#include "platform/PlatformTime.h"
#include "platform/ToolkitEnvironment.h"

namespace {

std::string CurrentFolder() {
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

// Points DISPLAY somewhere no X server listens for the lifetime of the object.
class NoDisplay {
public:
    NoDisplay() {
        const char* value = std::getenv("DISPLAY");
        had_ = value != nullptr;
        if (had_) saved_ = value;
        setenv("DISPLAY", ":31999", 1);
    }
    ~NoDisplay() {
        if (had_)
            setenv("DISPLAY", saved_.c_str(), 1);
        else
            unsetenv("DISPLAY");
    }

private:
    bool had_ = false;
    std::string saved_;
};

}  // namespace

TEST(DisplayOrientation, RemovingTheSeamQueriesTheDisplayAgain) {
    VexoPlatform::OrientationSource previous = VexoPlatform::SetDisplayOrientationSource([] { return 3u; });
    EXPECT_FALSE(previous);
    EXPECT_TRUE(VexoPlatform::SetDisplayOrientationSource(nullptr));

    NoDisplay noDisplay;
    EXPECT_EQ(VexoPlatform::GetDisplayOrientation(), 0u);  // no X server: the unrotated value, not the seam's
}

TEST(ModuleFolder, ExecutablesFolderBecomesTheWorkingDirectory) {
    std::string path, folder;
    ASSERT_TRUE(VexoPlatform::GetExecutablePath(path));
    ASSERT_TRUE(VexoPlatform::GetExecutableFolder(folder));
    EXPECT_EQ(path.substr(0, folder.size() + 1), folder + "/");
    EXPECT_EQ(path.find('/', folder.size() + 1), std::string::npos);

    const std::string before = CurrentFolder();
    ASSERT_EQ(chdir("/"), 0);
    std::string changedTo;
    EXPECT_EQ(VexoPlatform::MakeExecutableFolderCurrent(changedTo), VexoPlatform::FolderChange::Changed);
    EXPECT_EQ(changedTo, folder);
    EXPECT_EQ(CurrentFolder(), folder);
    EXPECT_FALSE(VexoPlatform::ChangeDirectory("/nonexistent/qln"));
    EXPECT_EQ(VexoPlatform::GetLastError(), uint32_t(ENOENT));
    ASSERT_EQ(chdir(before.c_str()), 0);
}

TEST(LastError, PerThreadCodesAndTheirTexts) {
    VexoPlatform::SetLastError(5);
    uint32_t seenByOther = 99;
    std::thread([&] { seenByOther = VexoPlatform::GetLastError(); }).join();
    EXPECT_EQ(seenByOther, 0u);
    EXPECT_EQ(VexoPlatform::GetLastError(), 5u);
    errno = ENOENT;
    VexoPlatform::SetLastErrorFromErrno();
    EXPECT_EQ(VexoPlatform::GetLastError(), 2u);
    VexoPlatform::SetLastError(0);

    // The system's own texts: errno values as they are, socket codes by the errno they stand for.
    struct Case {
        uint32_t code;
        std::string text;
    } cases[] = {
        {2, "No such file or directory"},
        {0, "Success"},
        {10035, "Resource temporarily unavailable"},
        {10053, "Software caused connection abort"},
        {10054, "Connection reset by peer"},
        {10057, "Transport endpoint is not connected"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10062, ""},  // another Windows Sockets code: no text of this system
        {0x12345678, ""},
        {4000, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(VexoPlatform::SystemErrorText(c.code), c.text) << c.code;
}

TEST(PlatformTime, TickCountFollowsSleeps) {
    const uint32_t start = VexoPlatform::GetTickCount();
    VexoPlatform::SleepMs(25);
    const uint32_t elapsed = VexoPlatform::GetTickCount() - start;
    EXPECT_GE(elapsed, 25u);
    EXPECT_LT(elapsed, 1000u);
}

TEST(ToolkitEnvironment, TurnsOffGtksOpenGlUnlessTheUserChose) {
    struct Case {
        const char* before;  // nullptr: not in the environment
        const char* after;
    };
    const Case cases[] = {
        {nullptr, "disable"},
        {"always", "always"},
        {"disable", "disable"},
        {"", ""},
    };
    const char* outer = std::getenv("GDK_GL");
    const bool hadOuter = outer != nullptr;
    const std::string saved = hadOuter ? outer : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before ? c.before : "(unset)");
        if (c.before)
            setenv("GDK_GL", c.before, 1);
        else
            unsetenv("GDK_GL");
        VexoPlatform::PrepareToolkitEnvironment();
        const char* now = std::getenv("GDK_GL");
        ASSERT_NE(now, nullptr);
        EXPECT_STREQ(now, c.after);
    }
    if (hadOuter)
        setenv("GDK_GL", saved.c_str(), 1);
    else
        unsetenv("GDK_GL");
}
