#include "config/VexoXmlDoc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/LogCapture.h"

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
    EXPECT_EQ(Read(doc, "A:B"), u"<default>");
    EXPECT_EQ(Read(doc, "C:D"), u"2");  // keys resolve from the document again
    ASSERT_TRUE(doc.PushTag("C", 0));
    EXPECT_EQ(doc.PopTag(), 0) << "the depth started again from the document";
    EXPECT_EQ(std::string(doc.Document().RootElement()->Value()), "C");
    EXPECT_EQ(doc.Document().RootElement()->NextSiblingElement(), nullptr);
}

TEST(VexoXmlDocParse, MalformedTextIsLoggedAndChangesNothing) {
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.ParseText("<A><B>1</B></A>"));
    ASSERT_TRUE(doc.PushTag("A", 0));
    for (const char* bad : {"<A><B>1</A>", "", "not xml at all <", "<A></B>"}) {
        LogCapture log;
        EXPECT_FALSE(doc.ParseText(bad)) << bad;
        ASSERT_EQ(log.Lines().size(), 1u) << bad;
        EXPECT_NE(log.Lines()[0].find("Exception - "), std::string::npos);
        EXPECT_NE(log.Lines()[0].find("with last error"), std::string::npos);
        EXPECT_EQ(Read(doc, "B"), u"1");  // the cursor is still in A
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

namespace {

std::string Dump(VexoXmlDoc& doc) {
    TiXmlPrinter printer;
    doc.Document().Accept(&printer);
    return printer.Str();
}

const char* kSettings =
    "<?xml version=\"1.0\" ?>"
    "<Configuration>"
    "<Version>2.1</Version>"
    "<Empty></Empty>"
    "<Commented><!-- note -->text</Commented>"
    "<Nested><Inner>x</Inner></Nested>"
    "<Data><![CDATA[a<b]]></Data>"
    "<Item>first</Item><Item>second</Item>"
    "<Chinese>\xE4\xB8\xAD\xE6\x96\x87</Chinese>"
    "<Hex>0x10</Hex><Octal>010</Octal><Word>abc</Word><Signed> -12xyz</Signed><Big>99999999999</Big>"
    "<Small>-99999999999</Small><UpperHex>0X1f</UpperHex>"
    "<Float>0.3</Float><Exp>1e3</Exp>"
    "</Configuration>";

}  // namespace

TEST(VexoXmlDocRead, KeysResolveFromTheCursor) {
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.ParseText(kSettings));
    struct Row {
        const char* key;
        int32_t index;
        std::u16string expected;
    } rows[] = {
        {"Configuration:Version", 0, u"2.1"},
        {"Configuration:Empty", 0, u"<default>"},
        {"Configuration:Commented", 0, u"<default>"},  // first child is a comment
        {"Configuration:Nested", 0, u"<default>"},     // first child is an element
        {"Configuration:Nested:Inner", 0, u"x"},
        {"Configuration:Data", 0, u"a<b"},
        {"Configuration:Item", 0, u"first"},
        {"Configuration:Item", 1, u"second"},
        {"Configuration:Item", 2, u"<default>"},
        {"Configuration:Chinese", 0, u"\u4E2D\u6587"},
        {"Configuration::Version", 0, u"<default>"},
        {"Configuration:Version:", 0, u"<default>"},
        {":Configuration:Version", 0, u"<default>"},
        {"Configuration:Missing", 0, u"<default>"},
        {"Missing:Version", 0, u"<default>"},
        {"Version", 0, u"<default>"},  // not at the document's level
        {"", 0, u"<default>"},         // the document's first child is the declaration
    };
    for (const Row& r : rows) EXPECT_EQ(Read(doc, r.key, r.index), r.expected) << r.key << " #" << r.index;
}

TEST(VexoXmlDocRead, ResultKeepsTheDefaultsFlag) {
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.ParseText(kSettings));
    VexoWString def(u"d");
    for (uint8_t flag : {0, 1}) {
        def.ignoreCase = flag;
        EXPECT_EQ(doc.ReadText("Configuration:Version", def).ignoreCase, flag);
        EXPECT_EQ(doc.ReadText("Configuration:Missing", def).ignoreCase, flag);
    }
}

TEST(VexoXmlDocRead, NumbersFollowBaseZeroAndTheirDefaults) {
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.ParseText(kSettings));
    struct Row {
        const char* key;
        int32_t expected;
    } ints[] = {
        {"Configuration:Hex", 16},        {"Configuration:Octal", 8},
        {"Configuration:Word", 0},        {"Configuration:Signed", -12},
        {"Configuration:UpperHex", 31},   {"Configuration:Big", INT32_MAX},
        {"Configuration:Small", INT32_MIN}, {"Configuration:Version", 2},
        {"Configuration:Empty", 77},      {"Configuration:Missing", 77},
    };
    for (const Row& r : ints) EXPECT_EQ(doc.ReadInt(r.key, 77), r.expected) << r.key;

    EXPECT_FLOAT_EQ(doc.ReadFloat("Configuration:Float", 9.0), 0.3f);
    EXPECT_FLOAT_EQ(doc.ReadFloat("Configuration:Exp", 9.0), 1000.0f);
    EXPECT_FLOAT_EQ(doc.ReadFloat("Configuration:Word", 9.0), 0.0f);
    EXPECT_FLOAT_EQ(doc.ReadFloat("Configuration:Missing", 9.25), 9.25f);
}

TEST(VexoXmlDocRead, LongValueIsCutAt1023Units) {
    VexoXmlDoc doc;
    std::string value(2000, 'v');
    value[1022] = 'L';
    value[1023] = 'X';
    ASSERT_TRUE(doc.ParseText("<A>" + value + "</A>"));
    std::u16string got = Read(doc, "A");
    ASSERT_EQ(got.size(), 1023u);
    EXPECT_EQ(got.back(), u'L');

    // ReadValue fills no more than 1023 units and keeps the caller's terminating zero.
    std::vector<char16_t> buffer(VexoXmlDoc::kReadBufferUnits + 1, u'#');
    std::fill(buffer.begin(), buffer.begin() + VexoXmlDoc::kReadBufferUnits, u'\0');
    ASSERT_TRUE(doc.ReadValue("A", 0, buffer.data()));
    EXPECT_EQ(buffer[1023], u'\0');
    EXPECT_EQ(buffer[1024], u'#');
}

TEST(VexoXmlDocRead, TheCutNeverSplitsASurrogatePair) {
    // U+1F600 is two UTF-16 units (D83D DE00), four bytes of UTF-8.
    const std::string astral = "\xF0\x9F\x98\x80";
    struct Row {
        size_t before;  // BMP characters in front of the astral one
        size_t expected;
    } rows[] = {
        {1022, 1022},  // the pair would straddle the cut: it goes whole
        {1021, 1023},  // the pair ends exactly at the cut: it stays
        {1000, 1023},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.before);
        VexoXmlDoc doc;
        ASSERT_TRUE(doc.ParseText("<A>" + std::string(r.before, 'v') + astral + std::string(100, 'w') + "</A>"));
        const std::u16string got = Read(doc, "A");
        ASSERT_EQ(got.size(), r.expected);
        EXPECT_FALSE(got.back() >= 0xD800 && got.back() <= 0xDBFF) << "a lone high surrogate at the end";
    }
}

TEST(VexoXmlDocRead, InvalidUtf8ReadsAsMissing) {
    const char* bad[] = {
        "\xC3\x28",          // lead byte without its continuation
        "\xED\xA0\x80",      // an encoded surrogate
        "\xC0\xAF",          // overlong '/'
        "\xF4\x90\x80\x80",  // beyond U+10FFFF
        "ab\xE4\xB8 z",      // a sequence cut short
        "\x80",              // stray continuation byte
    };
    for (const char* value : bad) {
        VexoXmlDoc doc;
        ASSERT_TRUE(doc.ParseText(std::string("<A>") + value + "</A>")) << value;
        EXPECT_EQ(Read(doc, "A"), u"<default>") << value;
        EXPECT_EQ(doc.ReadInt("A", 5), 5);
    }
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.ParseText("<A>\xF0\x9F\x98\x80</A>"));  // a valid non-BMP character
    EXPECT_EQ(Read(doc, "A"), u"\U0001F600");
}

TEST(VexoXmlDocWrite, RecordSequenceOnAnEmptyDocument) {
    VexoXmlDoc doc;
    EXPECT_EQ(doc.WriteInt("A:B", 5, 0), 0);
    EXPECT_EQ(Dump(doc), "<A>\n    <B>5</B>\n</A>\n");
    EXPECT_EQ(doc.WriteInt("A:B", 7, 0), 0);  // replaces the text in place
    EXPECT_EQ(Dump(doc), "<A>\n    <B>7</B>\n</A>\n");
    EXPECT_EQ(doc.WriteInt("A:B", 9, -1), 1);  // appends a whole second record
    EXPECT_EQ(doc.Count("A"), 2);
    EXPECT_EQ(doc.ReadInt("A:B", 0, 0), 7);
    EXPECT_EQ(doc.ReadInt("A:B", 0, 1), 0);  // the index applies to B inside the first A
    ASSERT_TRUE(doc.PushTag("A", 1));
    EXPECT_EQ(doc.ReadInt("B", 0), 9);
    EXPECT_EQ(doc.Count("B"), 1);
    EXPECT_EQ(doc.PopTag(), 0);

    // A second B inside the first A, then an index that addresses it.
    EXPECT_EQ(doc.WriteText("A:C", VexoWString(u"c"), 0), 1);  // still two A records
    EXPECT_EQ(doc.WriteInt("A:B", 3, 1), 1);                  // B #1 of the first A is missing: added
    EXPECT_EQ(doc.ReadInt("A:B", 0, 1), 3);
    EXPECT_EQ(doc.Count("A:B"), 2);
}

TEST(VexoXmlDocWrite, ReplacingClearsEveryChild) {
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.ParseText("<A><B><!-- c --><X>1</X>old</B></A>"));
    EXPECT_EQ(doc.WriteText("A:B", VexoWString(u"new"), 0), 0);
    EXPECT_EQ(Dump(doc), "<A>\n    <B>new</B>\n</A>\n");
}

TEST(VexoXmlDocWrite, FormatsAndRoundTrips) {
    VexoXmlDoc doc;
    EXPECT_EQ(doc.WriteFloat("F", 0.3, 0), 0);
    EXPECT_EQ(Read(doc, "F"), u"0.300000");
    EXPECT_EQ(doc.WriteInt("I", -42, 0), 0);
    EXPECT_EQ(Read(doc, "I"), u"-42");
    const std::u16string text = u"\u4E2D\u6587 & <tag> \"q\" \U0001F600";
    EXPECT_EQ(doc.WriteText("T", VexoWString(text), 0), 0);
    EXPECT_EQ(Read(doc, "T"), text);

    // What is written parses back to the same values.
    VexoXmlDoc again;
    TiXmlPrinter printer;
    doc.Document().Accept(&printer);
    ASSERT_TRUE(again.ParseText(printer.Str()));
    EXPECT_EQ(Read(again, "T"), text);
    EXPECT_FLOAT_EQ(again.ReadFloat("F", 0), 0.3f);
}

TEST(VexoXmlDocWrite, RejectedWritesLeaveTheDocumentUntouched) {
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.ParseText("<A><B>1</B></A>"));
    const std::string before = Dump(doc);
    struct Row {
        const char* key;
        std::u16string value;
    } rows[] = {
        {"", u"v"},                   // no component at all
        {"A:B", u"\xD800"},           // lone high surrogate
        {"A:B", u"x\xDC00y"},         // lone low surrogate
        {"A:B", u"\xD800\xD800"},     // two highs
        {"A::B", u"v"},               // empty component would become an element named " "
        {"A:B:", u"v"},
        {"A:1st", u"v"},              // not an element name
        {"A:two words", u"v"},
    };
    for (const Row& r : rows) {
        LogCapture log;
        EXPECT_EQ(doc.WriteText(r.key, VexoWString(r.value), 0), -1) << r.key;
        EXPECT_EQ(doc.WriteValue(r.key, r.value, -1), 0) << r.key;
        EXPECT_EQ(Dump(doc), before) << r.key;
        EXPECT_TRUE(log.Contains("Exception - Write rejected")) << r.key;
    }
    EXPECT_EQ(doc.WriteFloat("A:F", 1e300, 0), -1);  // "%f" of it needs more than 256 units
    EXPECT_EQ(Dump(doc), before);
}

TEST(VexoXmlDocCount, CountsNodesOfTheLastName) {
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.ParseText("<R><I>1</I><I>2</I><J/><I>3</I></R><R/>"));
    const std::string before = Dump(doc);
    struct Row {
        const char* key;
        int32_t expected;
    } rows[] = {
        {"R", 2}, {"R:I", 3}, {"R:J", 1}, {"R:K", 0}, {"X:I", 0}, {"R::I", 0}, {"", 0},
    };
    for (const Row& r : rows) EXPECT_EQ(doc.Count(r.key), r.expected) << r.key;
    EXPECT_EQ(Dump(doc), before);
}

TEST(VexoXmlDocCursor, PushAndPopTags) {
    VexoXmlDoc doc;
    ASSERT_TRUE(doc.ParseText("<R><I><V>a</V></I><I><V>b</V></I></R>"));

    {
        LogCapture log;
        EXPECT_FALSE(doc.PushTag("Missing", 0));
        EXPECT_EQ(log.Count("Exception - PushTag - tag not found"), 1u);
    }
    EXPECT_EQ(Read(doc, "R:I:V"), u"a");  // the cursor stayed at the document

    EXPECT_TRUE(doc.PushTag("R:ignored", 0));  // only the part before ':' counts
    EXPECT_EQ(Read(doc, "I:V"), u"a");
    EXPECT_TRUE(doc.PushTag("I", 1));
    EXPECT_EQ(Read(doc, "V"), u"b");
    EXPECT_EQ(doc.WriteText("V", VexoWString(u"c"), 0), 0);  // writes are relative too
    EXPECT_EQ(doc.PopTag(), 1);
    EXPECT_EQ(doc.Count("I"), 2);
    EXPECT_EQ(doc.PopTag(), 0);
    EXPECT_EQ(Read(doc, "R:I:V"), u"a");
    EXPECT_EQ(doc.PopTag(), 0);  // already at the document
    EXPECT_EQ(Read(doc, "R:I:V"), u"a");
    EXPECT_EQ(Read(doc, "R:I", 1), u"<default>");  // I holds an element, not text
    ASSERT_TRUE(doc.PushTag("R", 0));
    ASSERT_TRUE(doc.PushTag("I", 1));
    EXPECT_EQ(Read(doc, "V"), u"c");

    // Loading a file resets the cursor whatever the outcome: a write lands at the top of the
    // (now empty) document, and the depth starts from there.
    EXPECT_FALSE(doc.LoadFile("/nonexistent/qln/none.xml"));
    EXPECT_EQ(doc.WriteText("X", VexoWString(u"x"), 0), 0);
    EXPECT_NE(doc.Document().FirstChildElement("X"), nullptr);
    ASSERT_TRUE(doc.PushTag("X", 0));
    EXPECT_EQ(doc.PopTag(), 0);
}
