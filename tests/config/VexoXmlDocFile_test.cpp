#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "config/TempFolder.h"
#include "config/VexoXmlDoc.h"
#include "support/LogCapture.h"

using VexoSource::VexoWString;
using VexoSource::VexoXmlDoc;

TEST(VexoXmlDocFile, LoadReplacesContentAndFailureLeavesItEmpty) {
    TempFolder dir;
    const std::string good = dir.Write("good.xml", "<A><B>1</B></A>");
    const std::string bad = dir.Write("bad.xml", "<A><B>2</B>");  // unterminated
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.ParseText("<Old>o</Old>"));
    ASSERT_TRUE(doc.LoadFile(good));
    EXPECT_EQ(doc.ReadText("Old", VexoWString(u"-")).str, u"-");
    EXPECT_EQ(doc.ReadInt("A:B", 0), 1);
    EXPECT_FALSE(doc.LoadFile(bad));
    EXPECT_EQ(doc.Document().FirstChild(), nullptr);  // no half-parsed tree to read from
    EXPECT_EQ(doc.ReadInt("A:B", -1), -1);
}

TEST(VexoXmlDocFile, SaveIsAtomicAndKeepsPermissions) {
    TempFolder dir;
    const std::string path = dir.Write("c.xml", "<A>1</A>");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.LoadFile(path));
    ASSERT_EQ(doc.WriteInt("A", 2, 0), 0);
    EXPECT_TRUE(doc.SaveFileChecked(path));

    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"c.xml"});  // no temporary left behind
    VexoXmlDoc back;
    ASSERT_TRUE(back.LoadFile(path));
    EXPECT_EQ(back.ReadInt("A", 0), 2);
}

TEST(VexoXmlDocFile, SaveThroughALinkUpdatesTheTarget) {
    TempFolder dir;
    const std::string target = dir.Write("real.xml", "<A>1</A>");
    const std::string link = dir.File("link.xml");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.LoadFile(link));
    doc.WriteInt("A", 3, 0);
    doc.SaveFile(link);
    struct stat info;
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    VexoXmlDoc back;
    ASSERT_TRUE(back.LoadFile(target));
    EXPECT_EQ(back.ReadInt("A", 0), 3);
}

TEST(VexoXmlDocFile, FailedSaveKeepsTheOldFileAndSaysSo) {
    TempFolder dir;
    VexoXmlDoc doc;
    doc.WriteInt("A", 1, 0);
    {
        LogCapture log;
        EXPECT_FALSE(doc.SaveFileChecked(dir.File("no/such/folder/c.xml")));
        EXPECT_TRUE(log.Contains("Exception - Saving"));
    }
    // A directory in the way cannot be replaced by a file: the rename fails, nothing is left over.
    ASSERT_EQ(mkdir(dir.File("taken.xml").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.File("taken.xml/inside").c_str(), 0755), 0);
    {
        LogCapture log;
        EXPECT_FALSE(doc.SaveFileChecked(dir.File("taken.xml")));
        EXPECT_TRUE(log.Contains("cannot replace the file"));
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"taken.xml"});
}

TEST(VexoXmlDocFile, CreateFileTruncatesOrReportsFailure) {
    TempFolder dir;
    const std::string path = dir.Write("x.xml", "<A/>");
    VexoXmlDoc doc;
    EXPECT_TRUE(doc.CreateFile(path));
    EXPECT_EQ(TempFolder::Read(path), "");
    LogCapture log;
    EXPECT_FALSE(doc.CreateFile(dir.File("missing/x.xml")));
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_NE(log.Lines()[0].find("Exception - VexoFileCreate failed with last error [0x00000002:"), std::string::npos)
        << log.Lines()[0];
}
