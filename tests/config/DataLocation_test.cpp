// Where the program reads its data files and keeps the configuration: a writable Data/ beside the
// program, the installed layout with a per-user configuration, and the ways the user's folder can
// fail. Each test lays out its own folders; writability comes through the seam (the tests run as
// root, whom no permission bit stops).
#include "config/DataLocation.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "config/TempFolder.h"
#include "config/VexoConfigOnXML.h"
#include "support/LogCapture.h"

using namespace VexoSource;

namespace {

const char* kShippedConfig =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<Configuration>\n    <Version>2.0.0.0</Version>\n"
    "    <Language>English</Language>\n</Configuration>\n";
const char* kLanguageFile = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<Lang><EN><Done>Done</Done></EN></Lang>\n";

std::string Language(const std::string& path) {
    VexoConfigOnXML store(path, false);
    return ToNarrow(store.ReadText("Configuration:Language", VexoWString(u"English"), 0).str);
}

std::string WithLanguage(const std::string& language) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<Configuration><Version>2.1</Version><Language>" + language +
           "</Language></Configuration>\n";
}

// A scratch root: <root>/usr/bin is the program's folder, <root>/usr/share/qlncfg the data it
// ships, <root>/home/user the user's home. Folders named in `locked` count as not writable.
class Layout {
public:
    Layout() {
        Make("usr/bin");
        Make("home/user");
    }
    void Make(const std::string& folder) const {
        std::string path = root_.Path();
        size_t start = 0;
        while (start < folder.size()) {
            size_t slash = folder.find('/', start);
            if (slash == std::string::npos) slash = folder.size();
            path = root_.Path() + "/" + folder.substr(0, slash);
            mkdir(path.c_str(), 0755);
            start = slash + 1;
        }
    }
    // Data files (MultiLang.xml, Configuration.xml) in a folder relative to the root.
    void Ship(const std::string& folder, const std::string& config = kShippedConfig) const {
        Make(folder);
        root_.Write(folder + "/MultiLang.xml", kLanguageFile);
        if (!config.empty()) root_.Write(folder + "/Configuration.xml", config);
    }
    std::string Path(const std::string& relative) const { return root_.Path() + "/" + relative; }

    DataFacts Facts() const {
        DataFacts facts;
        facts.programFolder = Path("usr/bin");
        facts.home = Path("home/user");
        facts.configHome = configHome;
        facts.installedDataFolder = Path("opt/qlncfg/share");
        facts.writable = [this](const std::string& folder) { return locked.count(folder) == 0; };
        return facts;
    }

    std::string configHome;
    std::set<std::string> locked;

private:
    TempFolder root_;
};

}  // namespace

TEST(DataLocation, WritableDataBesideTheProgramIsUsedAsAlways) {
    Layout layout;
    layout.Ship("usr/bin/Data");
    layout.Ship("usr/share/qlncfg");  // an installed copy does not take over a portable one
    LogCapture log(1);
    const DataFiles files = PrepareDataFiles(layout.Facts());
    EXPECT_TRUE(files.portable);
    EXPECT_EQ(files.configFile, "Data/Configuration.xml");
    EXPECT_EQ(files.languageFile, "Data/MultiLang.xml");
    EXPECT_TRUE(files.writeBack);
    EXPECT_FALSE(TempFolder::Exists(layout.Path("home/user/.config"))) << "nothing is made in the home";
    EXPECT_TRUE(log.Contains("Information - Configuration file Data/Configuration.xml, language file Data/MultiLang.xml"));
}

TEST(DataLocation, InstalledProgramKeepsTheUsersOwnCopyOfTheShippedConfiguration) {
    Layout layout;
    layout.Ship("usr/share/qlncfg");
    const std::string userFile = layout.Path("home/user/.config/qlncfg/Configuration.xml");
    {
        LogCapture log(1);
        const DataFiles files = PrepareDataFiles(layout.Facts());
        EXPECT_FALSE(files.portable);
        EXPECT_EQ(files.languageFile, layout.Path("usr/share/qlncfg/MultiLang.xml"));
        EXPECT_EQ(files.shippedConfig, layout.Path("usr/share/qlncfg/Configuration.xml"));
        EXPECT_EQ(files.configFile, userFile);
        EXPECT_TRUE(files.writeBack);
        EXPECT_TRUE(log.Contains("Configuration file " + userFile + " created from " + files.shippedConfig));
        EXPECT_TRUE(log.Contains("Information - Configuration file " + userFile + ", language file"));
    }
    struct stat info;
    ASSERT_EQ(stat(layout.Path("home/user/.config/qlncfg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "the user's folder is private";
    EXPECT_EQ(Language(userFile), "English");

    // The user's setting survives the program's save and the next start; the shipped file is untouched.
    {
        VexoConfigOnXML store(userFile);
        store.WriteText("Configuration:Language", VexoWString(u"Chinese"), 0);
    }
    {
        LogCapture log(1);
        EXPECT_EQ(PrepareDataFiles(layout.Facts()).configFile, userFile);
        EXPECT_FALSE(log.Contains("created from"));
        EXPECT_FALSE(log.Contains("takes the version"));
        EXPECT_EQ(Language(userFile), "Chinese");
        EXPECT_EQ(TempFolder::Read(layout.Path("usr/share/qlncfg/Configuration.xml")), kShippedConfig);
    }

    // An upgrade ships another version: the user's copy follows it and keeps the language.
    layout.Ship("usr/share/qlncfg", WithLanguage("English"));
    LogCapture log(1);
    PrepareDataFiles(layout.Facts());
    EXPECT_TRUE(log.Contains("Configuration file " + userFile + " takes the version 2.1 of "));
    EXPECT_EQ(ConfigVersionText(layout.Facts()), "2.1");
    EXPECT_EQ(Language(userFile), "Chinese");
}

TEST(DataLocation, ConfigurationFolderFollowsXdgConfigHomeWhenItIsAbsolute) {
    struct Row {
        const char* configHome;  // relative to the root when it starts with '@'
        const char* expected;    // relative to the root
    } rows[] = {
        {"", "home/user/.config/qlncfg/Configuration.xml"},
        {"@xdg", "xdg/qlncfg/Configuration.xml"},
        {"relative/config", "home/user/.config/qlncfg/Configuration.xml"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.configHome);
        Layout layout;
        layout.Ship("usr/share/qlncfg");
        const std::string home = r.configHome;
        layout.configHome = home.compare(0, 1, "@") == 0 ? layout.Path(home.substr(1)) : home;
        LogCapture log(1);
        const DataFiles files = PrepareDataFiles(layout.Facts());
        EXPECT_EQ(files.configFile, layout.Path(r.expected));
        EXPECT_EQ(Language(files.configFile), "English") << "created with missing parents";
    }
}

TEST(DataLocation, DataFolderIsFoundBesideTheProgramOrBesideItsBinFolderOrWhereTheBuildInstalls) {
    struct Row {
        const char* name;
        const char* shippedIn;  // relative to the root; empty: nowhere
        bool lockData;          // Data/ beside the program exists but is read-only
        const char* expected;   // data folder, relative to the root
    } rows[] = {
        {"read-only Data beside the program", "usr/bin/Data", true, "usr/bin/Data"},
        {"share beside the bin folder", "usr/share/qlncfg", false, "usr/share/qlncfg"},
        {"the build's install folder", "opt/qlncfg/share", false, "opt/qlncfg/share"},
        {"nothing shipped", "", false, "opt/qlncfg/share"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Layout layout;
        if (*r.shippedIn) layout.Ship(r.shippedIn);
        if (r.lockData) layout.locked.insert(layout.Path("usr/bin/Data"));
        const DataFiles files = ChooseDataFiles(layout.Facts());
        EXPECT_FALSE(files.portable);
        EXPECT_EQ(files.languageFile, layout.Path(std::string(r.expected) + "/MultiLang.xml"));
        EXPECT_EQ(files.shippedConfig, layout.Path(std::string(r.expected) + "/Configuration.xml"));
        EXPECT_EQ(files.configFile, layout.Path("home/user/.config/qlncfg/Configuration.xml"));
        EXPECT_FALSE(TempFolder::Exists(layout.Path("home/user/.config"))) << "choosing creates nothing";
    }
}

TEST(DataLocation, UnusableUserFolderRunsOnTheShippedConfigurationWithoutWritingIt) {
    struct Row {
        const char* name;
        const char* configHome;  // relative to the root; "" leaves it unset
        bool noHome;
        bool lockFolder;         // the user's folder exists but is not writable
        bool userFileExists;
        const char* logged;
        bool usesUserFile;
    } rows[] = {
        {"XDG folder below a plain file", "file/config", false, false, false, "cannot be created", false},
        {"no home and no XDG folder", "", true, false, false, "No home folder for the configuration", false},
        {"user folder not writable", "", false, true, false, "is not writable; running on the shipped", false},
        {"user folder not writable, file there", "", false, true, true, "settings will not be saved", true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Layout layout;
        layout.Ship("usr/share/qlncfg");
        std::ofstream(layout.Path("file")) << "not a folder";
        if (*r.configHome) layout.configHome = layout.Path(r.configHome);
        const std::string userFolder = layout.Path("home/user/.config/qlncfg");
        if (r.lockFolder) {
            layout.Make("home/user/.config/qlncfg");
            layout.locked.insert(userFolder);
        }
        if (r.userFileExists) std::ofstream(userFolder + "/Configuration.xml") << WithLanguage("Chinese");
        DataFacts facts = layout.Facts();
        if (r.noHome) facts.home.clear();

        LogCapture log(1);
        const DataFiles files = PrepareDataFiles(facts);
        EXPECT_TRUE(log.Contains("Exception - "));
        EXPECT_TRUE(log.Contains(r.logged));
        EXPECT_FALSE(files.writeBack);
        EXPECT_TRUE(log.Contains("(read only)"));
        const std::string shipped = layout.Path("usr/share/qlncfg/Configuration.xml");
        EXPECT_EQ(files.configFile, r.usesUserFile ? userFolder + "/Configuration.xml" : shipped);

        // The program runs on what it read, and its exit saves nothing.
        {
            VexoConfigOnXML store(files.configFile, files.writeBack);
            EXPECT_EQ(ToNarrow(store.ReadText("Configuration:Language", VexoWString(u"?"), 0).str),
                      r.usesUserFile ? "Chinese" : "English");
            store.WriteText("Configuration:Language", VexoWString(u"Changed"), 0);
            EXPECT_EQ(store.Save(), 0);
        }
        EXPECT_EQ(TempFolder::Read(shipped), kShippedConfig);
        EXPECT_TRUE(log.Contains("is only read, not written back"));
    }
}

TEST(DataLocation, EmptyUserFileIsRefilledAnUnreadableOneIsKept) {
    struct Row {
        const char* name;
        const char* userFile;
        const char* expectedLanguage;  // as the store reads it afterwards
        bool copied;
        bool keptAsItWas;
    } rows[] = {
        {"empty", "", "English", true, false},
        {"not XML", "<Configuration><Language>Chinese", "English", false, true},
        {"the user's own", "<Configuration><Language>Chinese</Language></Configuration>", "Chinese", false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Layout layout;
        layout.Ship("usr/share/qlncfg", WithLanguage("English"));
        layout.Make("home/user/.config/qlncfg");
        const std::string userFile = layout.Path("home/user/.config/qlncfg/Configuration.xml");
        std::ofstream(userFile) << r.userFile;
        LogCapture log(1);
        const DataFiles files = PrepareDataFiles(layout.Facts());
        EXPECT_EQ(files.configFile, userFile);
        EXPECT_TRUE(files.writeBack);
        EXPECT_EQ(log.Contains("created from"), r.copied);
        {
            VexoConfigOnXML store(files.configFile, files.writeBack);
            EXPECT_EQ(ToNarrow(store.ReadText("Configuration:Language", VexoWString(u"English"), 0).str),
                      r.expectedLanguage);
        }
        if (r.keptAsItWas) {
            EXPECT_EQ(TempFolder::Read(userFile), r.userFile);
        }
    }
}

TEST(DataLocation, UnreadableShippedConfigurationIsNotCopied) {
    Layout layout;
    layout.Ship("usr/share/qlncfg", "<Configuration><Version>");
    LogCapture log(1);
    const DataFiles files = PrepareDataFiles(layout.Facts());
    EXPECT_TRUE(log.Contains("Shipped configuration " + files.shippedConfig + " cannot be read"));
    EXPECT_FALSE(TempFolder::Exists(files.configFile)) << "the store starts it empty, as a missing file";
    EXPECT_TRUE(files.writeBack);
}

TEST(DataLocation, VersionTextComesFromTheFileTheProgramWouldReadAndCreatesNothing) {
    Layout layout;
    layout.Ship("usr/share/qlncfg");
    EXPECT_EQ(ConfigVersionText(layout.Facts()), "2.0.0.0");
    EXPECT_FALSE(TempFolder::Exists(layout.Path("home/user/.config")));

    layout.Make("home/user/.config/qlncfg");
    std::ofstream(layout.Path("home/user/.config/qlncfg/Configuration.xml")) << WithLanguage("English");
    EXPECT_EQ(ConfigVersionText(layout.Facts()), "2.1");

    Layout portable;
    portable.Ship("usr/bin/Data", WithLanguage("English"));
    EXPECT_EQ(ConfigVersionText(portable.Facts()), "2.1");

    Layout bare;  // nothing shipped at all: the default
    EXPECT_EQ(ConfigVersionText(bare.Facts()), "2.0.0.0");
}

TEST(DataLocation, StoreWithoutWriteBackNeverCreatesItsFile) {
    TempFolder dir;
    const std::string path = dir.File("Configuration.xml");
    LogCapture log(1);
    {
        VexoConfigOnXML store(path, false);
        EXPECT_EQ(ToNarrow(store.ReadText("Configuration:Version", VexoWString(u"2.0.0.0"), 0).str), "2.0.0.0");
        EXPECT_FALSE(store.SaveAllowed());
    }
    EXPECT_FALSE(TempFolder::Exists(path));
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(DataLocation, FirstStartTakesTheLanguageFromTheLocaleAndTheUsersFileHoldsAfterwards) {
    struct Row {
        const char* name;
        const char* locale;  // the first of LC_ALL, LC_MESSAGES, LANG that is set
        const char* language;
    } rows[] = {
        {"unset", "", "English"},          {"C", "C", "English"},
        {"en_US", "en_US.UTF-8", "English"}, {"zh_CN", "zh_CN.UTF-8", "Chinese"},
        {"zh_TW", "zh_TW.UTF-8", "Chinese"}, {"POSIX", "POSIX", "English"},
        {"Chinese without a country", "zh", "Chinese"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Layout layout;
        layout.Ship("usr/share/qlncfg");  // ships English
        DataFacts facts = layout.Facts();
        facts.messagesLocale = r.locale;
        const DataFiles files = PrepareDataFiles(facts);
        EXPECT_EQ(Language(files.configFile), r.language);
        // The file now exists: another locale on a later start changes nothing.
        facts.messagesLocale = std::string(r.language) == "Chinese" ? "en_US.UTF-8" : "zh_CN.UTF-8";
        EXPECT_EQ(Language(PrepareDataFiles(facts).configFile), r.language);
    }
}

TEST(DataLocation, LocaleIsTakenInTheOrderTheCLibraryLooks) {
    struct Row {
        const char* name;
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        const char* locale;
    } rows[] = {
        {"LC_ALL first", "zh_CN.UTF-8", "en_US.UTF-8", "en_US.UTF-8", "zh_CN.UTF-8"},
        {"empty LC_ALL is skipped", "", "zh_TW", "en_US", "zh_TW"},
        {"LANG last", nullptr, nullptr, "zh_CN.GB2312", "zh_CN.GB2312"},
        {"none", nullptr, nullptr, nullptr, ""},
    };
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::string saved[3];
    bool had[3];
    for (int k = 0; k < 3; ++k) {
        const char* v = std::getenv(names[k]);
        had[k] = v != nullptr;
        if (v) saved[k] = v;
    }
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const char* values[] = {r.lcAll, r.lcMessages, r.lang};
        for (int k = 0; k < 3; ++k) {
            if (values[k])
                setenv(names[k], values[k], 1);
            else
                unsetenv(names[k]);
        }
        EXPECT_EQ(CurrentDataFacts().messagesLocale, r.locale);
    }
    for (int k = 0; k < 3; ++k) {
        if (had[k])
            setenv(names[k], saved[k].c_str(), 1);
        else
            unsetenv(names[k]);
    }
}
