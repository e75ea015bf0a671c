// Text that ends inside a UTF-8 sequence. TinyXML steps over a sequence by the length its lead
// byte announces, so it used to step over the end of the text and parse whatever followed in
// memory (found by the configuration store's fuzz target as a heap over-read). Bytes placed
// behind a zero byte show it in every build: they must never take part in the parse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <tinyxml.h>

#include "config/TempFolder.h"
#include "config/VexoConfigOnXML.h"
#include "config/VexoXmlDoc.h"
#include "support/LogCapture.h"

using VexoSource::VexoConfigOnXML;
using VexoSource::VexoWString;
using VexoSource::VexoXmlDoc;

namespace {

const std::string kUtf8Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>";

// Each ends in a lead byte whose sequence the text no longer holds.
const char* const kCutTexts[] = {
    // The fuzz finding as it was found.
    "<A><B><<\xEA]]>\xEA\x16\x15\x15\x15\x15\xC3\xD0\xAC\xEA\xEA" "a\xEA\xEAM/>\xEA\xEA\xEA\xEA\xEA",
    "<A>\xEA",
    "<A>text\xF0",
    "<A \xE0",
    "<\xC3",
    "<Configuration><Version>2.\xF4",
};

// `text`, a zero byte, then what would complete it if the parser read on.
std::string BehindTheEnd(const std::string& text, const std::string& rest) { return text + std::string(1, '\0') + rest; }

}  // namespace

TEST(XmlParserBounds, ParsedTextEndsAtItsEndEvenInsideASequence) {
    LogCapture log;
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.ParseText("<Old>o</Old>"));
    // The four-byte lead byte would swallow the zero and "ab", leaving a well-formed "</A>".
    EXPECT_FALSE(doc.ParseText(BehindTheEnd("<A>\xF0", "ab</A>")));
    for (const char* text : kCutTexts) EXPECT_FALSE(doc.ParseText(text)) << text;
    EXPECT_EQ(doc.ReadText("Old", VexoWString(u"-")).str, u"o");  // failed parses change nothing
}

TEST(XmlParserBounds, ConfigurationFileEndingInsideASequenceIsKeptUnread) {
    LogCapture log;
    TempFolder dir;
    std::vector<std::string> files{
        BehindTheEnd(kUtf8Declaration + "<Configuration><Version>2.\xF0", "ab</Version></Configuration>")};
    for (const char* text : kCutTexts) files.push_back(kUtf8Declaration + text);
    for (const std::string& content : files) {
        const std::string path = dir.Write("Configuration.xml", content);
        {
            VexoConfigOnXML store(path);
            EXPECT_EQ(store.Load(), 0) << content;
            EXPECT_EQ(store.ReadText("Configuration:Version", VexoWString(u"default"), 0).str, u"default");
        }
        EXPECT_EQ(TempFolder::Read(path), content);  // the user's file survives the save at shutdown
    }
    EXPECT_TRUE(log.Contains("cannot be read"));
}

// The store reads files itself now; line ends must come out as TinyXML's own loader made them.
TEST(XmlParserBounds, FileLineEndsAreNormalisedAsTinyXmlDoes) {
    TempFolder dir;
    const std::string path = dir.Write("c.xml", "<A>\r\n<B>one\r\ntwo\rthree</B>\r\n</A>\r");
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.LoadFile(path)) << doc.Document().ErrorDesc();
    TiXmlDocument reference;
    ASSERT_TRUE(reference.LoadFile(path.c_str()));
    TiXmlPrinter ours, theirs;
    doc.Document().Accept(&ours);
    reference.Accept(&theirs);
    EXPECT_EQ(ours.Str(), theirs.Str());
    EXPECT_EQ(doc.ReadText("A:B", VexoWString(u"")).str, u"one two three");
    EXPECT_FALSE(doc.LoadFile(dir.File("missing.xml")));
    EXPECT_STREQ(doc.Document().ErrorDesc(), "Failed to open file");
}
