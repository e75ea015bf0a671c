#include "device/AccessKeyRules.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

using namespace VexoSource;

TEST(AccessKeyRules, MarksTheLetterWhenShown) {
    struct Row {
        const char* name;
        std::u16string text;
        char letter;
        std::u16string shown;
    } rows[] = {
        {"first letter", u"Done", 'D', u"_Done"},
        {"letter inside, other case", u"Advanced Setting", 's', u"Advanced _Setting"},
        {"first of several", u"Calibration", 'L', u"Ca_libration"},
        {"underscore in the text shows as itself", u"Pen_Sim", 'S', u"Pen___Sim"},
        {"underscore before the key", u"a_b", 'B', u"a___b"},
        {"Chinese text gets the key after it", u"\u5b8c\u6210", 'D', u"\u5b8c\u6210(_D)"},
        {"English text without the letter", u"Mouse", 'X', u"Mouse (_X)"},
        {"small letter is shown capital", u"\u53d6\u6d88", 'c', u"\u53d6\u6d88(_C)"},
        {"empty text stays empty", u"", 'D', u""},
        {"no letter given", u"Done", 0, u"Done"},
        {"digit is no access key", u"Done_1", '1', u"Done__1"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(WithAccessKey(r.text, r.letter), r.shown);
    }
}

TEST(AccessKeyRules, EachWindowHasDistinctLetters) {
    auto distinct = [](const auto& table, const char* window) {
        SCOPED_TRACE(window);
        std::set<char> seen;
        for (const AccessKey& k : table) {
            EXPECT_TRUE(std::isupper(static_cast<unsigned char>(k.letter))) << k.key;
            EXPECT_TRUE(seen.insert(k.letter).second) << k.key << " repeats " << k.letter;
        }
    };
    distinct(kMainWindowKeys, "main window");
    distinct(kAdvancedSettingKeys, "advanced settings");
    distinct(kConfirmationKeys, "confirmation box");
    EXPECT_EQ(AccessKeyOf(kMainWindowKeys, "Callibration"), 'L');
    EXPECT_EQ(AccessKeyOf(kMainWindowKeys, "Call"), 0);
    EXPECT_EQ(AccessKeyOf(kAdvancedSettingKeys, "Right_Click_Duration"), 'U');
}
