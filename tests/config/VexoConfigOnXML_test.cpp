#include "config/VexoConfigOnXML.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <memory>

#include "config/TempFolder.h"
#include "support/LogCapture.h"

using VexoSource::VexoConfigOnXML;
using VexoSource::VexoWString;

namespace {

std::u16string Version(VexoConfigOnXML& store) {
    return store.ReadText("Configuration:Version", VexoWString(u"2.0.0.0"), 0).str;
}
std::u16string Language(VexoConfigOnXML& store) {
    return store.ReadText("Configuration:Language", VexoWString(u"English"), 0).str;
}

}  // namespace

TEST(VexoConfigOnXML, MissingOrEmptyFileStartsEmptyWithDefaults) {
    for (bool startEmpty : {false, true}) {
        TempFolder dir;
        const std::string path = dir.File("Configuration.xml");
        if (startEmpty) dir.Write("Configuration.xml", "");
        {
            VexoConfigOnXML store(path);
            EXPECT_TRUE(TempFolder::Exists(path));
            EXPECT_EQ(Version(store), u"2.0.0.0");
            EXPECT_EQ(Language(store), u"English");
            EXPECT_TRUE(store.SaveAllowed());
            // Something else writes the file meanwhile: only a save at shutdown replaces it.
            dir.Write("Configuration.xml", "<Stale/>");
        }
        EXPECT_EQ(TempFolder::Read(path).find("Stale"), std::string::npos) << "the empty document was saved back";
        EXPECT_EQ(dir.Entries().size(), 1u) << "no temporary file left behind";
    }
}

TEST(VexoConfigOnXML, ReadsTheFileAndWritesChangesBackAtDestruction) {
    TempFolder dir;
    const std::string path = dir.Write(
        "Configuration.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<Configuration><Version>2.1</Version>"
        "<Language>Chinese</Language><Version2></Version2></Configuration>\n");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    {
        VexoConfigOnXML store(path);
        EXPECT_EQ(Version(store), u"2.1");
        EXPECT_EQ(Language(store), u"Chinese");
        EXPECT_EQ(store.ReadText("Configuration:Version2", VexoWString(u"d"), 0).str, u"d");
        EXPECT_EQ(store.WriteInt("Configuration:Count", 3, 0), 0);
        EXPECT_EQ(store.Count("Configuration:Version"), 1);
        EXPECT_EQ(store.PushTag("Configuration", 0), 1);
        EXPECT_DOUBLE_EQ(store.ReadFloat("Version", 0.0, 0), double(2.1f));
        EXPECT_EQ(store.PopTag(), 0);
    }
    VexoConfigOnXML again(path);
    EXPECT_EQ(again.ReadInt("Configuration:Count", 0, 0), 3);
    EXPECT_EQ(Version(again), u"2.1");
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST(VexoConfigOnXML, UnreadableFileSurvivesStartAndShutdown) {
    const char* contents[] = {
        "<Configuration><Version>2.1</Version>",        // cut off mid-write by someone else
        "this is not XML <<<",
        "<Configuration><Version>2.1</Configuration>",  // mismatched tags
    };
    for (const char* content : contents) {
        TempFolder dir;
        const std::string path = dir.Write("Configuration.xml", content);
        LogCapture log;
        {
            VexoConfigOnXML store(path);
            EXPECT_FALSE(store.SaveAllowed());
            EXPECT_EQ(Version(store), u"2.0.0.0");
            EXPECT_EQ(TempFolder::Read(path), content);
            EXPECT_EQ(store.Save(), 0);
        }
        EXPECT_EQ(TempFolder::Read(path), content) << content;
        EXPECT_TRUE(log.Contains("Exception - Configuration file " + path + " cannot be read")) << content;
        EXPECT_EQ(dir.Entries().size(), 1u);
    }
}

TEST(VexoConfigOnXML, FileThatCannotBeCreatedLeavesAnEmptyStore) {
    TempFolder dir;
    LogCapture log;
    auto store = std::make_unique<VexoConfigOnXML>(dir.File("missing/Configuration.xml"));
    EXPECT_TRUE(log.Contains("Exception - VexoFileCreate failed"));
    EXPECT_EQ(Language(*store), u"English");
    EXPECT_EQ(store->Save(), 0);  // a save that cannot happen is not reported as done
    store.reset();
    EXPECT_FALSE(TempFolder::Exists(dir.File("missing")));
}

TEST(VexoConfigOnXML, InvalidUtf8ValueReadsAsTheDefault) {
    TempFolder dir;
    const std::string path =
        dir.Write("Configuration.xml", "<Configuration><Language>Chin\xE9se</Language></Configuration>");
    VexoConfigOnXML store(path);
    EXPECT_EQ(Language(store), u"English");
}
