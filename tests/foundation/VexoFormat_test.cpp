#include "foundation/VexoFormat.h"

#include <gtest/gtest.h>

#include <string>

using VexoSource::FormatText;

TEST(VexoFormat, ArgumentsPrintByTheirTypeWhateverTheLetter) {
    const std::string narrow = "abc";
    const std::u16string wide = u"\u4E2D\u6587";
    struct Row {
        std::u16string got, expected;
    } rows[] = {
        {FormatText(L"Connect(%hs, %i) failed", "127.0.0.1", 28875), u"Connect(127.0.0.1, 28875) failed"},
        {FormatText(L"%s|%hs", narrow, wide), u"abc|\u4E2D\u6587"},  // swapped pairing still prints text
        {FormatText(L"0x%0.8X", 0xABCu), u"0x00000ABC"},
        {FormatText(L"%u", -1), u"4294967295"},
        {FormatText(L"%d", -5), u"-5"},
        {FormatText(L"%f", 0.3), u"0.300000"},
        {FormatText(L"%i:%i", 7), u"7:"},  // missing argument prints nothing
        {FormatText(L"100%%"), u"100%"},
        {FormatText(L"%s", 12), u"12"},
    };
    for (const Row& r : rows) EXPECT_EQ(r.got, r.expected);
}

TEST(VexoFormat, LenientUtf8KeepsEverythingAfterABadSequence) {
    struct Row {
        std::string in;
        std::u16string out;
    } rows[] = {
        {"ab\xE4" "A", u"ab\uFFFDA"},            // lead byte cut short by an ASCII letter
        {"\xE4\xB8" "A", u"\uFFFD\uFFFDA"},
        {"x\xE4\xB8", u"x\uFFFD\uFFFD"},        // cut short at the very end
        {"\xE4\xB8\xAD", u"\u4E2D"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xFF" "z", u"\uFFFDz"},
    };
    for (const Row& r : rows) EXPECT_EQ(VexoSource::Utf8ToUtf16Lenient(r.in), r.out) << r.in;
}

TEST(VexoFormat, AbsurdWidthIsBounded) {
    // A width beyond any line the log writes is capped rather than allocating without bound.
    std::u16string text = FormatText(L"%999999999999d", 5);
    EXPECT_LE(text.size(), 1024u);
    EXPECT_EQ(text.back(), u'5');
}
