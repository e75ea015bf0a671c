#include "config/CPMultiLang.h"

#include <gtest/gtest.h>

#include "config/ProcessConfig.h"
#include "config/TempFolder.h"

using VexoSource::VexoConfgBase;
using VexoSource::VexoConfigOnXML;
using VexoSource::VexoWString;

namespace {

// Installs a configuration store on a temporary file as g_pConfig for one test.
class ConfigScope {
public:
    ConfigScope(const TempFolder& dir, const std::string& content) {
        store_.reset(new VexoConfigOnXML(dir.Write("Configuration.xml", content)));
        previous_ = g_pConfig;
        g_pConfig = store_.get();
    }
    ~ConfigScope() { g_pConfig = previous_; }

private:
    std::unique_ptr<VexoConfigOnXML> store_;
    VexoConfgBase* previous_ = nullptr;
};

// The chosen language lives in a narrow prefix; a store whose value can hold any text (trailing
// blanks included, which the XML parser would condense) shows the comparison itself.
class FixedLanguage : public VexoConfgBase {
public:
    explicit FixedLanguage(const std::u16string* value) : value_(value) {}
    int32_t Load() override { return 1; }
    int32_t Save() override { return 1; }
    int32_t Count(std::string) override { return 0; }
    int32_t WriteText(std::string, VexoWString, int32_t) override { return -1; }
    int32_t WriteFloat(std::string, double, int32_t) override { return -1; }
    int32_t WriteInt(std::string, int32_t, int32_t) override { return -1; }
    VexoWString ReadText(std::string key, VexoWString def, int32_t) override {
        if (key != "Configuration:Language" || !value_) return def;
        VexoWString v(*value_);
        v.ignoreCase = def.ignoreCase;
        return v;
    }
    double ReadFloat(std::string, double def, int32_t) override { return def; }
    int32_t ReadInt(std::string, int32_t def, int32_t) override { return def; }
    int32_t PushTag(std::string, int32_t) override { return 0; }
    int32_t PopTag() override { return 0; }

private:
    const std::u16string* value_;
};

const char* kTexts =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>"
    "<Lang>"
    "<EN><Done>Done!</Done><Commented><!-- x -->text</Commented></EN>"
    "<CN><Done>\xE7\xA1\xAE\xE5\xAE\x9A</Done></CN>"
    "</Lang>";

}  // namespace

TEST(CPMultiLang, LanguageChoiceFoldsAsciiCaseOnly) {
    struct Row {
        const char16_t* value;  // nullptr: the key is missing
        const char* prefix;
    } rows[] = {
        {u"Chinese", "Lang:CN:"},  {u"CHINESE", "Lang:CN:"}, {u"chInEsE", "Lang:CN:"},
        {u"Chinese ", "Lang:EN:"}, {u"English", "Lang:EN:"}, {u"\u4E2D\u6587", "Lang:EN:"},
        {u"Chines", "Lang:EN:"},   {nullptr, "Lang:EN:"},
    };
    VexoConfgBase* previous = g_pConfig;
    for (const Row& r : rows) {
        std::u16string value = r.value ? r.value : u"";
        FixedLanguage store(r.value ? &value : nullptr);
        g_pConfig = &store;
        CPMultiLang table("unused.xml");
        EXPECT_EQ(table.LanguagePrefix, "");
        EXPECT_EQ(table.Initialize(), 1);
        EXPECT_EQ(table.LanguagePrefix, r.prefix) << (r.value ? "value" : "missing");
    }
    g_pConfig = nullptr;
    CPMultiLang table("unused.xml");
    table.Initialize();
    EXPECT_EQ(table.LanguagePrefix, "Lang:EN:");
    g_pConfig = previous;
}

TEST(CPMultiLang, ChineseInCapitalsFromTheConfigurationFile) {
    TempFolder dir;
    ConfigScope config(dir, "<Configuration><Language>CHINESE</Language></Configuration>");
    CPMultiLang table(dir.Write("MultiLang.xml", kTexts));
    table.Initialize();
    ASSERT_TRUE(table.LoadTexts());
    EXPECT_EQ(table.GetText("Done", VexoWString(u"Done")).str, u"\u786E\u5B9A");
    EXPECT_EQ(table.GetText("Commented", VexoWString(u"fb")).str, u"fb");  // no CN entry
}

TEST(CPMultiLang, MissingEntriesGiveTheFallback) {
    TempFolder dir;
    ConfigScope config(dir, "<Configuration><Version>2.0.0.0</Version></Configuration>");
    CPMultiLang table(dir.Write("MultiLang.xml", kTexts));
    table.Initialize();
    ASSERT_TRUE(table.LoadTexts());
    EXPECT_EQ(table.LanguagePrefix, "Lang:EN:");
    EXPECT_EQ(table.GetText("Done", VexoWString(u"x")).str, u"Done!");
    EXPECT_EQ(table.GetText("QlnCfg", VexoWString(u"none")).str, u"none");
    EXPECT_EQ(table.GetText("Commented", VexoWString(u"fb")).str, u"fb");  // comment before the text
    VexoWString fallback(u"fb");
    fallback.ignoreCase = 0;
    EXPECT_EQ(table.GetText("Done", fallback).ignoreCase, 0);
    EXPECT_EQ(table.GetInt("Missing", 4), 4);
    EXPECT_FLOAT_EQ(table.GetFloat("Missing", 1.5f), 1.5f);

    // A file with only an English section gives every fallback in Chinese mode.
    CPMultiLang onlyEnglish(dir.Write("OnlyEN.xml", "<Lang><EN><Done>Done!</Done></EN></Lang>"));
    onlyEnglish.LanguagePrefix = "Lang:CN:";
    ASSERT_TRUE(onlyEnglish.LoadTexts());
    EXPECT_EQ(onlyEnglish.GetText("Done", VexoWString(u"fallback")).str, u"fallback");
}

TEST(CPMultiLang, LongTextIsCutAt1023Units) {
    TempFolder dir;
    std::string text;
    for (int i = 0; i < 1500; ++i) text += "\xE4\xB8\xAD";  // U+4E2D, three bytes, one unit
    CPMultiLang table(dir.Write("MultiLang.xml", "<Lang><EN><Long>" + text + "</Long></EN></Lang>"));
    VexoConfgBase* previous = g_pConfig;
    g_pConfig = nullptr;
    table.Initialize();
    g_pConfig = previous;
    ASSERT_TRUE(table.LoadTexts());
    std::u16string got = table.GetText("Long", VexoWString(u"")).str;
    EXPECT_EQ(got, std::u16string(1023, u'\u4E2D'));
}

TEST(CPMultiLang, LoadTextsFailsForMissingOrBrokenFile) {
    TempFolder dir;
    CPMultiLang missing(dir.File("none.xml"));
    EXPECT_FALSE(missing.LoadTexts());
    CPMultiLang broken(dir.Write("broken.xml", "<Lang><EN><Done>Done</EN></Lang>"));
    EXPECT_FALSE(broken.LoadTexts());
    broken.Initialize();
    EXPECT_EQ(broken.GetText("Done", VexoWString(u"fb")).str, u"fb");

    // Reloading sees a changed file.
    CPMultiLang table(dir.Write("t.xml", "<Lang><EN><A>1</A></EN></Lang>"));
    table.Initialize();
    ASSERT_TRUE(table.LoadTexts());
    dir.Write("t.xml", "<Lang><EN><A>2</A></EN></Lang>");
    ASSERT_TRUE(table.LoadTexts());
    EXPECT_EQ(table.GetText("A", VexoWString(u"")).str, u"2");
}
