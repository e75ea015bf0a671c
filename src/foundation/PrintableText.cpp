#include "foundation/PrintableText.h"

#include <cstdint>

namespace VexoSource {

namespace {

// Length of the valid UTF-8 sequence at text[k], 0 when it is not one (overlong forms, surrogates
// and values past U+10FFFF included).
size_t SequenceLength(const std::string& text, size_t k) {
    const uint8_t b0 = uint8_t(text[k]);
    if (b0 < 0x80) return 1;
    size_t length = 0;
    uint32_t value = 0, minimum = 0;
    if ((b0 & 0xE0) == 0xC0) length = 2, value = b0 & 0x1F, minimum = 0x80;
    else if ((b0 & 0xF0) == 0xE0) length = 3, value = b0 & 0x0F, minimum = 0x800;
    else if ((b0 & 0xF8) == 0xF0) length = 4, value = b0 & 0x07, minimum = 0x10000;
    else return 0;
    if (k + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        const uint8_t b = uint8_t(text[k + i]);
        if ((b & 0xC0) != 0x80) return 0;
        value = (value << 6) | (b & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    if (value >= 0x80 && value <= 0x9F) return 0;  // C1 controls
    return length;
}

}  // namespace

std::string PrintableText(const std::string& text, size_t maxBytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t k = 0; k < text.size();) {
        size_t length = SequenceLength(text, k);
        const uint8_t b = uint8_t(text[k]);
        std::string piece;
        if (length == 0 || b < 0x20 || b == 0x7F) {
            piece = std::string("\\x") + digits[b >> 4] + digits[b & 15];
            length = 1;
        } else {
            piece = text.substr(k, length);
        }
        if (out.size() + piece.size() > maxBytes) return out + "...";
        out += piece;
        k += length;
    }
    return out;
}

}  // namespace VexoSource
