#include "device/AccessKeyRules.h"

namespace VexoSource {

namespace {
char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; }
bool AsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
}  // namespace

std::u16string WithAccessKey(const std::u16string& text, char letter) {
    std::u16string shown;
    shown.reserve(text.size() + 6);
    const bool usable = AsciiLetter(letter) && !text.empty();
    const char16_t wanted = Lower(char16_t(letter));
    bool placed = !usable;
    for (char16_t c : text) {
        if (!placed && Lower(c) == wanted) {
            shown += u'_';
            placed = true;
        }
        if (c == u'_') shown += u'_';
        shown += c;
    }
    if (!placed) {
        if (text.back() < 0x80) shown += u' ';
        shown += u"(_";
        shown += char16_t(letter >= 'a' ? letter - 'a' + 'A' : letter);
        shown += u')';
    }
    return shown;
}

}  // namespace VexoSource
