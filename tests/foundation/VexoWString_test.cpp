#include "foundation/VexoWString.h"

#include <gtest/gtest.h>

#include <climits>
#include <sstream>

using namespace VexoSource;

namespace {

std::vector<std::u16string> Texts(const std::vector<VexoWString>& items) {
    std::vector<std::u16string> out;
    for (const VexoWString& item : items) {
        EXPECT_EQ(item.ignoreCase, 1);
        out.push_back(item.str);
    }
    return out;
}

// What a wide input string stream reads, the behaviour ParseInt stands in for.
int32_t StreamRead(const std::u16string& text, bool hex) {
    std::wstring wide(text.begin(), text.end());
    std::wistringstream in(wide);
    if (hex) in >> std::hex;
    int value = 0;
    in >> value;
    return value;
}

}  // namespace

TEST(VexoWString, EqualityFoldsAsciiOnlyWhenTheLeftFlagIsSet) {
    struct Row {
        std::u16string left;
        uint8_t flag;
        std::u16string right;
        bool equal;
    } rows[] = {
        {u"English", 1, u"ENGLISH", true},
        {u"English", 0, u"ENGLISH", false},
        {u"English", 0, u"English", true},
        {u"Chinese", 1, u"Chinese ", false},
        {u"\u00C9t\u00E9", 1, u"\u00E9T\u00C9", false},  // accented letters do not fold
        {u"a[b", 1, u"A[B", true},
        {u"@", 1, u"`", false},  // neighbours of the letter ranges stay apart
        {u"", 1, u"", true},
    };
    for (const Row& r : rows) {
        VexoWString left(r.left);
        left.ignoreCase = r.flag;
        EXPECT_EQ(left == r.right, r.equal) << int(r.flag);
        EXPECT_EQ(left != r.right, !r.equal);
    }
}

TEST(VexoWString, ConstructorsAndAssignmentSetTheFlag) {
    EXPECT_EQ(VexoWString(u"x").ignoreCase, 1);
    EXPECT_EQ(VexoWString(std::u16string(u"x")).ignoreCase, 1);
    EXPECT_EQ(VexoWString(std::string("x"), false).ignoreCase, 0);
    EXPECT_EQ(FromNarrow("dev1", true).str, u"dev1");
    EXPECT_EQ(FromNarrow("dev1", false).ignoreCase, 0);
    VexoWString kept(u"a");
    kept.ignoreCase = 0;
    kept = std::u16string(u"b");
    EXPECT_EQ(kept.ignoreCase, 0);
    EXPECT_EQ(kept.str, u"b");
    const char16_t* none = nullptr;
    EXPECT_TRUE(VexoWString(none).str.empty());
}

TEST(VexoWString, NarrowWideAndCaseConversions) {
    EXPECT_EQ(ToLower(u"ABC xyz \u00C0[Z]"), u"abc xyz \u00C0[z]");
    EXPECT_EQ(ToNarrow(u"2.0.0.0"), "2.0.0.0");
    EXPECT_EQ(ToNarrow(u"ab\u4E2Dc"), "ab");  // stops at what the C locale cannot convert
    EXPECT_EQ(ToNarrow(std::u16string(u"a\0b", 3)), "a");
    EXPECT_EQ(ToNarrow(u""), "");
    EXPECT_EQ(Widen("USB\\VID_1234"), u"USB\\VID_1234");
    EXPECT_EQ(Widen(std::string("a\0b", 3)), u"a");
    EXPECT_EQ(Widen(""), u"");
}

TEST(VexoWString, NumbersToText) {
    std::u16string out = u"old";
    EXPECT_EQ(IntToText(out, -5), 1);
    EXPECT_EQ(out, u"-5");
    IntToText(out, INT32_MIN);
    EXPECT_EQ(out, u"-2147483648");
    EXPECT_EQ(UIntToText(out, UINT32_MAX), 1);
    EXPECT_EQ(out, u"4294967295");
    VexoWString f = Format(L"%s", std::u16string(2000, u'x'));
    EXPECT_EQ(f.str.size(), 1023u);
    EXPECT_EQ(f.ignoreCase, 1);
    EXPECT_EQ(Format(L"%u", 7u).str, u"7");
}

TEST(VexoWString, ParseIntReadsLikeAWideStream) {
    struct Row {
        std::u16string text;
        bool hex;
        int32_t expected;
    } rows[] = {
        {u"1f", true, 31},
        {u"1f", false, 1},
        {u"  -12", false, -12},
        {u"\t\n+7x", false, 7},
        {u"abc", false, 0},
        {u"abc", true, 0xABC},
        {u"", false, 0},
        {u"-", false, 0},
        {u"12 34", false, 12},
        {u"0x1F", true, 31},  // a hexadecimal stream takes the prefix
        {u"0x", true, 0},
        {u"0x1f", false, 0},
        {u"-1f", true, -31},
        {u"2147483647", false, INT32_MAX},
        {u"2147483648", false, INT32_MAX},  // out of range: the limit
        {u"-2147483648", false, INT32_MIN},
        {u"-99999999999999999999", false, INT32_MIN},
        {u"FFFFFFFF", true, INT32_MAX},
    };
    for (const Row& r : rows) {
        const std::string shown(r.text.begin(), r.text.end());
        EXPECT_EQ(ParseInt(r.text, r.hex), r.expected) << shown << (r.hex ? " hex" : " dec");
        EXPECT_EQ(StreamRead(r.text, r.hex), r.expected) << shown << " (stream)";
    }
}

TEST(VexoWString, SplitTable) {
    struct Row {
        std::u16string text, delimiters;
        bool compress;
        std::u16string filler;
        std::vector<std::u16string> items;
    } rows[] = {
        {u"A::B:", u":", true, u"", {u"A", u"B"}},
        {u"A::B:", u":", false, u"", {u"A", u"", u"B", u""}},
        {u"A::B:", u":", false, u" ", {u"A", u" ", u"B", u" "}},
        {u":A", u":", false, u"", {u"", u"A"}},
        {u":::", u":", true, u"", {}},
        {u":::", u":", false, u"-", {u"-", u"-", u"-", u"-"}},
        {u"", u":", false, u"-", {}},
        {u"A:B", u"", false, u"-", {}},
        {u"A", u":", false, u"-", {u"A"}},
        {u"a b,c;;d", u" ,;", true, u"", {u"a", u"b", u"c", u"d"}},
        {u"dev1:dev2:", u":", true, u"", {u"dev1", u"dev2"}},
    };
    for (const Row& r : rows) {
        const std::string shown(r.text.begin(), r.text.end());
        EXPECT_EQ(Texts(Split(r.text, r.delimiters, r.compress, r.filler)), r.items) << shown;
        // Narrow text (keys, version and series texts) follows the same rule.
        auto narrow = [](const std::u16string& t) { return std::string(t.begin(), t.end()); };
        std::vector<std::string> narrowItems;
        for (const std::u16string& item : r.items) narrowItems.push_back(narrow(item));
        EXPECT_EQ(Split(narrow(r.text), narrow(r.delimiters), r.compress, narrow(r.filler)), narrowItems) << shown;
    }
}
