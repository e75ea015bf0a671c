// The Alt-letter access keys of our windows. The language file's texts stay as they are: the key
// is added when a text is shown, the GTK way (an underscore before the letter that Alt underlines).
// A text that lacks the letter (a Chinese one) gets it after itself in parentheses, as Chinese
// GTK programs show theirs: "完成(_D)".
#pragma once

#include <cstddef>
#include <string>

namespace VexoSource {

// `text` with an underscore before the first `letter` (ASCII, either case), its own underscores
// doubled so that they show as they are; " (_L)" appended when the text has no such letter
// (without the blank after a non-ASCII character). An empty text or a letter that is not an
// ASCII letter leaves the text as it is (underscores still doubled).
std::u16string WithAccessKey(const std::u16string& text, char letter);

// One window's access keys: the language key of a control's text and its letter. The same letters
// in every language, so that instructions (and a user's habits) carry over.
struct AccessKey {
    const char* key;
    char letter;
};

// The main window: its commands, the two modes and the device choice (through its caption).
inline constexpr AccessKey kMainWindowKeys[] = {
    {"Done", 'D'},     {"Cancel", 'C'},           {"Apply", 'A'},
    {"MultiTouch", 'M'}, {"Mouse", 'O'},          {"Callibration", 'L'},
    {"Advanced_Setting", 'S'}, {"Manu_Setting", 'F'}, {"Update", 'U'},
    {"Current_Device", 'V'},
};

// The advanced settings: both options and the four sliders (through their captions).
inline constexpr AccessKey kAdvancedSettingKeys[] = {
    {"Done", 'D'},
    {"Cancel", 'C'},
    {"Right_Click_Simulation", 'R'},
    {"Pen_Simulation", 'P'},
    {"Right_Click_Duration", 'U'},
    {"Smooth_Effection", 'S'},
    {"Double_Click_Speed", 'O'},
    {"Right_Double_Click_Range", 'N'},
};

// The calibration's confirmation box.
inline constexpr AccessKey kConfirmationKeys[] = {{"Done", 'D'}, {"Cancel", 'C'}};

// The letter of `key` in a window's table; 0 when the table has none.
template <size_t N>
constexpr char AccessKeyOf(const AccessKey (&table)[N], const char* key) {
    for (const AccessKey& k : table) {
        const char* a = k.key;
        const char* b = key;
        while (*a && *a == *b) ++a, ++b;
        if (*a == *b) return k.letter;
    }
    return 0;
}

}  // namespace VexoSource
