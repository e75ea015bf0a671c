#include "foundation/VexoWString.h"

#include <climits>

namespace VexoSource {

VexoWString::VexoWString(const std::string& narrow, bool flag) : str(Widen(narrow)), ignoreCase(flag ? 1 : 0) {}

bool VexoWString::operator==(const std::u16string& right) const {
    if (!ignoreCase) return str == right;
    return ToLower(str) == ToLower(right);
}

namespace {

template <typename Text>
Text LowerAscii(const Text& text) {
    Text out(text);
    for (auto& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<typename Text::value_type>(c - 'A' + 'a');
    return out;
}

}  // namespace

std::u16string ToLower(const std::u16string& text) { return LowerAscii(text); }

std::string ToLower(const std::string& text) { return LowerAscii(text); }

std::string ToNarrow(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c == 0 || c >= 0x80) break;
        out.push_back(char(c));
    }
    return out;
}

std::u16string Widen(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == 0) break;
        out.push_back(char16_t((unsigned char)c));
    }
    return out;
}

VexoWString FromNarrow(const std::string& text, bool ignoreCase) { return VexoWString(text, ignoreCase); }

int32_t IntToText(std::u16string& out, int32_t value) {
    out = Format(L"%d", value).str;
    return 1;
}

int32_t UIntToText(std::u16string& out, uint32_t value) {
    out = Format(L"%u", value).str;
    return 1;
}

int32_t ParseInt(const std::u16string& text, bool hex) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    const unsigned base = hex ? 16 : 10;
    long long value = 0;
    bool any = false;
    // A hexadecimal stream accepts a "0x" prefix; the zero alone already counts as a digit.
    if (hex && i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        any = true;
        i += 2;
    }
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        unsigned digit;
        if (c >= u'0' && c <= u'9') digit = unsigned(c - u'0');
        else if (hex && c >= u'a' && c <= u'f') digit = unsigned(c - u'a' + 10);
        else if (hex && c >= u'A' && c <= u'F') digit = unsigned(c - u'A' + 10);
        else break;
        any = true;
        value = value * base + digit;
        if (value > (long long)UINT32_MAX + 1) value = (long long)UINT32_MAX + 1;  // saturate
    }
    if (!any) return 0;
    // A stream whose value does not fit its int stores the nearest limit (and fails).
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return int32_t(value);
}

namespace {

template <typename Item, typename Text>
std::vector<Item> SplitText(const Text& text, const Text& delimiters, bool compress, const Text& filler) {
    std::vector<Item> items;
    if (text.empty() || delimiters.empty()) return items;
    size_t pos = 0;
    size_t d = text.find_first_of(delimiters, pos);
    while (d != Text::npos) {
        if (d > pos)
            items.emplace_back(text.substr(pos, d - pos));
        else if (!compress)
            items.emplace_back(filler);
        pos = d + 1;
        d = text.find_first_of(delimiters, pos);
    }
    const Text rest = pos < text.size() ? text.substr(pos) : Text();
    if (!compress)
        items.emplace_back(rest.empty() ? filler : rest);
    else if (!rest.empty())
        items.emplace_back(rest);
    return items;
}

}  // namespace

std::vector<VexoWString> Split(const std::u16string& text, const std::u16string& delimiters, bool compress,
                               const std::u16string& filler) {
    return SplitText<VexoWString>(text, delimiters, compress, filler);
}

std::vector<std::string> Split(const std::string& text, const std::string& delimiters, bool compress,
                               const std::string& filler) {
    return SplitText<std::string>(text, delimiters, compress, filler);
}

}  // namespace VexoSource
