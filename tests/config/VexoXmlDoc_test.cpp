#include "config/VexoXmlDoc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/LogCapture.h"

using VexoSource::VexoWString;
using VexoSource::VexoXmlDoc;

namespace {

std::u16string Read(VexoXmlDoc& doc, const std::string& key, int32_t index = 0) {
    return doc.ReadText(key, VexoWString(u"<default>"), index).str;
}

}  // namespace

TEST(VexoXmlDocParse, ReplacesContentAndResetsCursor) {
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.ParseText("<A><B>1</B></A>"));
    ASSERT_TRUE(doc.PushTag("A", 0));
    // A reused document holds exactly the latest packet, and the cursor is back at the document.
    ASSERT_TRUE(doc.ParseText("<C><D>2</D></C>"));
    EXPECT_EQ(doc.Cursor(), &doc.Document());
    EXPECT_EQ(doc.Depth(), 0);
    EXPECT_EQ(Read(doc, "A:B"), u"<default>");
    EXPECT_EQ(Read(doc, "C:D"), u"2");
    EXPECT_EQ(std::string(doc.Document().RootElement()->Value()), "C");
    EXPECT_EQ(doc.Document().RootElement()->NextSiblingElement(), nullptr);
}

TEST(VexoXmlDocParse, MalformedTextIsLoggedAndChangesNothing) {
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.ParseText("<A><B>1</B></A>"));
    ASSERT_TRUE(doc.PushTag("A", 0));
    TiXmlNode* cursor = doc.Cursor();
    for (const char* bad : {"<A><B>1</A>", "", "not xml at all <", "<A></B>"}) {
        LogCapture log;
        EXPECT_FALSE(doc.ParseText(bad)) << bad;
        ASSERT_EQ(log.Lines().size(), 1u) << bad;
        EXPECT_NE(log.Lines()[0].find("Exception - "), std::string::npos);
        EXPECT_NE(log.Lines()[0].find("with last error"), std::string::npos);
        EXPECT_EQ(doc.Cursor(), cursor);
        EXPECT_EQ(Read(doc, "B"), u"1");
    }
}

TEST(VexoXmlDocParse, PacketWithUtf8AndAttributes) {
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.ParseText(
        "<OSCPACKET ADDRESS=\"127.0.0.1\"><MESSAGE NAME=\"/tuio/2Dcur\">"
        "<ARGUMENT TYPE=\"f\" VALUE=\"-8.195638E-5\" /></MESSAGE></OSCPACKET>"));
    TiXmlElement* arg = TiXmlHandle(&doc.Document())
                            .FirstChildElement("OSCPACKET")
                            .FirstChildElement("MESSAGE")
                            .FirstChildElement("ARGUMENT")
                            .ToElement();
    ASSERT_NE(arg, nullptr);
    EXPECT_STREQ(arg->Attribute("VALUE"), "-8.195638E-5");
}
