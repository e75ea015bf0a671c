// The wide text type and the small conversions every subsystem shares.
//
// Texts are UTF-16 (`std::u16string`): wchar_t is 32 bits on this platform, and the data files,
// the language table and the log all work in UTF-16 units.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/VexoFormat.h"

namespace VexoSource {

class VexoWString {
public:
    std::u16string str;
    uint8_t ignoreCase = 1;  // only the equality test looks at it, and only on the left side

    VexoWString() = default;
    VexoWString(const char16_t* text) : str(text ? text : u""), ignoreCase(1) {}
    VexoWString(const std::u16string& text) : str(text), ignoreCase(1) {}
    VexoWString(const std::string& narrow, bool flag);

    // Replaces the characters and keeps the flag.
    VexoWString& operator=(const std::u16string& text) {
        str = text;
        return *this;
    }

    bool operator==(const std::u16string& right) const;
    bool operator!=(const std::u16string& right) const { return !(*this == right); }
};

// Every unit through the C runtime's tolower in the C locale: only 'A'-'Z' change.
std::u16string ToLower(const std::u16string& text);
// The same on narrow text: only the bytes 'A'-'Z' change, whatever the process's locale.
std::string ToLower(const std::string& text);

// As wcstombs in the C locale: converts up to the first unit that is not ASCII (or a zero unit).
std::string ToNarrow(const std::u16string& text);

// Each byte up to the first zero byte becomes one UTF-16 unit.
std::u16string Widen(const std::string& text);

VexoWString FromNarrow(const std::string& text, bool ignoreCase);

// Formats one value into at most 1023 units; flag 1.
template <typename T>
VexoWString Format(const wchar_t* format, const T& value) {
    std::u16string text = FormatText(format, value);
    if (text.size() > 1023) text.resize(1023);
    return VexoWString(text);
}

int32_t IntToText(std::u16string& out, int32_t value);
int32_t UIntToText(std::u16string& out, uint32_t value);

// Reads one integer like a wide input stream: leading blanks skipped, a sign accepted, reading
// stops at the first unit that does not fit; 0 when nothing can be read.
int32_t ParseInt(const std::u16string& text, bool hex);

// Cuts `text` at any unit of `delimiters`. Empty items become `filler` unless `compress` drops
// them. Every item carries flag 1.
std::vector<VexoWString> Split(const std::u16string& text, const std::u16string& delimiters, bool compress,
                               const std::u16string& filler);
// The same rule on narrow text (configuration keys, version and product series texts).
std::vector<std::string> Split(const std::string& text, const std::string& delimiters, bool compress,
                               const std::string& filler);

}  // namespace VexoSource
