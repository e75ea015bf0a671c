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
