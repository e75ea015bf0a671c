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

// One decoder, two modes: the lenient one keeps everything after a bad sequence (U+FFFD for each
// bad byte), the strict one refuses the whole text.
TEST(VexoFormat, Utf8DecodesLenientlyOrStrictly) {
    struct Row {
        std::string in;
        std::u16string lenient;
        bool valid;
    } rows[] = {
        {"ab\xE4" "A", u"ab\uFFFDA", false},            // lead byte cut short by an ASCII letter
        {"\xE4\xB8" "A", u"\uFFFD\uFFFDA", false},
        {"x\xE4\xB8", u"x\uFFFD\uFFFD", false},        // cut short at the very end
        {"\xE4\xB8\xAD", u"\u4E2D", true},
        {"\xF0\x9F\x98\x80", u"\U0001F600", true},
        {"\xFF" "z", u"\uFFFDz", false},
        {"\xC0\xAF", u"\uFFFD\uFFFD", false},           // overlong '/'
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false},  // a surrogate written as UTF-8
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},  // past U+10FFFF
        {"plain", u"plain", true},
        {"", u"", true},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(VexoSource::Utf8ToUtf16Lenient(r.in), r.lenient) << r.in;
        std::u16string strict;
        EXPECT_EQ(VexoSource::Utf8ToUtf16Strict(r.in, strict), r.valid) << r.in;
        if (r.valid) {
            EXPECT_EQ(strict, r.lenient) << r.in;
            // And back again, either way.
            std::string utf8;
            EXPECT_TRUE(VexoSource::Utf16ToUtf8Strict(strict, utf8));
            EXPECT_EQ(utf8, r.in);
            EXPECT_EQ(VexoSource::Utf16ToUtf8Lenient(strict), r.in);
        }
    }
    // An unpaired surrogate: replaced, or refused.
    const std::u16string unpaired{u'a', char16_t(0xD800), u'b'};
    std::string utf8;
    EXPECT_FALSE(VexoSource::Utf16ToUtf8Strict(unpaired, utf8));
    EXPECT_EQ(VexoSource::Utf16ToUtf8Lenient(unpaired), "a\xEF\xBF\xBD" "b");
}

TEST(VexoFormat, AbsurdWidthIsBounded) {
    // A width beyond any line the log writes is capped rather than allocating without bound.
    std::u16string text = FormatText(L"%999999999999d", 5);
    EXPECT_LE(text.size(), 1024u);
    EXPECT_EQ(text.back(), u'5');
}
