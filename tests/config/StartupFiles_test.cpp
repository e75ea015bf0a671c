// The configuration and language files at start-up when their names lead to something that is no
// such file: a FIFO (nobody writes it), a file of 64 MiB, a link to /dev/zero. Start-up goes on
// without them, at once, and leaves them as they were.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>

#include "config/CPMultiLang.h"
#include "config/DataLocation.h"
#include "config/TempFolder.h"
#include "config/VexoConfigOnXML.h"
#include "support/HangGuard.h"

using namespace VexoSource;

namespace {

struct Hostile {
    const char* name;
    std::function<void(const std::string&)> make;
};

const Hostile kHostile[] = {
    {"FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }},
    {"64 MiB file",
     [](const std::string& p) {
         { std::ofstream(p) << "<"; }
         ASSERT_EQ(truncate(p.c_str(), 64 << 20), 0);
     }},
    {"link to /dev/zero", [](const std::string& p) { ASSERT_EQ(symlink("/dev/zero", p.c_str()), 0); }},
};

// What a name leads to, to see that nothing replaced it.
std::string Shape(const std::string& path) {
    struct stat l {}, s {};
    if (lstat(path.c_str(), &l) != 0) return "missing";
    const bool link = S_ISLNK(l.st_mode);
    if (stat(path.c_str(), &s) != 0) return "dangling";
    return std::string(link ? "link to " : "") + std::to_string(s.st_mode & S_IFMT) + " of " + std::to_string(s.st_size) +
           " bytes, inode " + std::to_string(s.st_ino);
}

}  // namespace

TEST(StartupFiles, TheConfigurationStoreGoesOnWithoutAFileThatIsNoFileAndLeavesIt) {
    for (const Hostile& h : kHostile) {
        SCOPED_TRACE(h.name);
        TempFolder folder;
        const std::string path = folder.File("Configuration.xml");
        h.make(path);
        const std::string before = Shape(path);
        // Loaded, used and closed (which saves) as the program does.
        const int status = testsupport::ExitWithinGuard([&] {
            VexoConfigOnXML store(path, true);
            store.WriteInt("Configuration:Version", 3, 0);
            return store.ReadInt("Configuration:Version", 0, 0) == 3 ? 0 : 2;
        });
        EXPECT_EQ(status, 0) << "-1: it hung";
        EXPECT_EQ(Shape(path), before);
        EXPECT_EQ(folder.Entries().size(), 1u) << "no temporary file left beside it";
    }
}

TEST(StartupFiles, TheUsersCopyIsNotMadeOverAFileThatIsNoFile) {
    for (const Hostile& h : kHostile) {
        SCOPED_TRACE(h.name);
        TempFolder program, config;
        std::filesystem::create_directories(program.File("Data"));
        program.Write("Data/Configuration.xml", "<Configuration><Version>2.0.0.1</Version></Configuration>");
        std::filesystem::create_directories(config.File("qlncfg"));
        const std::string path = config.File("qlncfg/Configuration.xml");
        h.make(path);
        const std::string before = Shape(path);
        DataFacts facts;
        facts.programFolder = program.Path();
        facts.configHome = config.Path();
        // Installed: the data folder beside the program is the shipped one, not the user's.
        facts.writable = [&](const std::string& f) { return f.rfind(program.Path(), 0) != 0; };
        const int status = testsupport::ExitWithinGuard([&] {
            PrepareDataFiles(facts);
            return 0;
        });
        EXPECT_EQ(status, 0) << "-1: it hung";
        EXPECT_EQ(Shape(path), before);
    }
}

TEST(StartupFiles, TheLanguageTableRefusesAFileThatIsNoFile) {
    for (const Hostile& h : kHostile) {
        SCOPED_TRACE(h.name);
        TempFolder folder;
        const std::string path = folder.File("MultiLang.xml");
        h.make(path);
        const int status = testsupport::ExitWithinGuard([&] {
            CPMultiLang table(path);
            return table.LoadTexts() ? 2 : 0;
        });
        EXPECT_EQ(status, 0) << "-1: it hung";
    }
}
