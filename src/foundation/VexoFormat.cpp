#include "foundation/VexoFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "foundation/VexoWString.h"

namespace VexoSource {

FormatArg::FormatArg(const char* v) : kind(Narrow), p(v ? v : ""), len(v ? std::strlen(v) : 0) {}

FormatArg::FormatArg(const char16_t* v) : kind(Wide16), p(v ? v : u"") {
    len = 0;
    if (v)
        while (v[len]) ++len;
}

FormatArg::FormatArg(const wchar_t* v) : kind(Wide32), p(v ? v : L""), len(v ? std::wcslen(v) : 0) {}

FormatArg::FormatArg(const VexoWString& v) : kind(Wide16), p(v.str.data()), len(v.str.size()) {}

namespace {

constexpr int kMaxWidth = 1024;
constexpr int kMaxPrecision = 512;

void AppendAscii(std::u16string& out, const char* text) {
    for (; *text; ++text) out.push_back(char16_t((unsigned char)*text));
}

std::u16string ArgText(const FormatArg& a) {
    switch (a.kind) {
    case FormatArg::Narrow: {
        // Narrow texts in this program are ASCII or UTF-8.
        return Utf8ToUtf16Lenient(std::string(static_cast<const char*>(a.p), a.len));
    }
    case FormatArg::Wide16:
        return std::u16string(static_cast<const char16_t*>(a.p), a.len);
    case FormatArg::Wide32:
        return WideToUtf16(std::wstring(static_cast<const wchar_t*>(a.p), a.len));
    default:
        return std::u16string();
    }
}

void PadTo(std::u16string& out, const std::u16string& text, int width, bool left) {
    if (!left)
        for (int i = int(text.size()); i < width; ++i) out.push_back(u' ');
    out += text;
    if (left)
        for (int i = int(text.size()); i < width; ++i) out.push_back(u' ');
}

}  // namespace

void AppendFormatted(std::u16string& out, const wchar_t* format, const FormatArg* args, size_t count) {
    if (!format) return;
    size_t next = 0;
    for (const wchar_t* c = format; *c; ++c) {
        if (*c != L'%') {
            const std::u16string piece = WideToUtf16(std::wstring(1, *c));
            out += piece;
            continue;
        }
        if (c[1] == L'%') {
            out.push_back(u'%');
            ++c;
            continue;
        }
        // %[flags][width][.precision][length]conversion
        std::string spec = "%";
        const wchar_t* q = c + 1;
        bool left = false;
        while (*q && std::wcschr(L"-+ #0", *q)) {
            if (*q == L'-') left = true;
            spec.push_back(char(*q++));
        }
        // Width and precision are capped: a line never needs more, and the buffers stay bounded.
        int width = 0;
        bool hasWidth = false;
        while (*q >= L'0' && *q <= L'9') {
            width = std::min(kMaxWidth, width * 10 + int(*q++ - L'0'));
            hasWidth = true;
        }
        if (hasWidth) spec += std::to_string(width);
        if (*q == L'.') {
            ++q;
            int precision = 0;
            while (*q >= L'0' && *q <= L'9') precision = std::min(kMaxPrecision, precision * 10 + int(*q++ - L'0'));
            spec += "." + std::to_string(precision);
        }
        while (*q && std::wcschr(L"hlLqjzt", *q)) ++q;  // length modifiers: the argument's type decides
        const wchar_t conv = *q;
        if (!conv) break;
        c = q;
        if (next >= count) continue;  // missing argument: print nothing
        const FormatArg& a = args[next++];

        char buf[kMaxWidth + kMaxPrecision + 400];  // room for any double in %f plus the caps
        buf[0] = 0;
        const bool textual = (a.kind == FormatArg::Narrow || a.kind == FormatArg::Wide16 || a.kind == FormatArg::Wide32);
        if (textual) {
            PadTo(out, ArgText(a), width, left);
            continue;
        }
        switch (conv) {
        case L'd':
        case L'i': {
            long long v = a.kind == FormatArg::Signed ? a.s
                        : a.kind == FormatArg::Unsigned ? (long long)a.u
                        : a.kind == FormatArg::Float ? (long long)a.f
                        : (long long)(uintptr_t)a.p;
            std::snprintf(buf, sizeof buf, (spec + "lld").c_str(), v);
            break;
        }
        case L'u':
        case L'x':
        case L'X':
        case L'o': {
            unsigned long long v;
            if (a.kind == FormatArg::Signed) {
                // A negative 32-bit value prints as its 32-bit pattern, as the program's
                // formats expect.
                v = a.bits <= 32 ? (unsigned long long)(uint32_t)a.s : (unsigned long long)a.s;
            } else if (a.kind == FormatArg::Unsigned) {
                v = a.u;
            } else if (a.kind == FormatArg::Float) {
                v = (unsigned long long)(long long)a.f;
            } else {
                v = (unsigned long long)(uintptr_t)a.p;
            }
            const char* suffix = conv == L'u' ? "llu" : conv == L'x' ? "llx" : conv == L'X' ? "llX" : "llo";
            std::snprintf(buf, sizeof buf, (spec + suffix).c_str(), v);
            break;
        }
        case L'f':
        case L'F':
        case L'e':
        case L'E':
        case L'g':
        case L'G': {
            double v = a.kind == FormatArg::Float ? a.f
                     : a.kind == FormatArg::Signed ? double(a.s)
                     : a.kind == FormatArg::Unsigned ? double(a.u) : 0.0;
            spec.push_back(char(conv));
            std::snprintf(buf, sizeof buf, spec.c_str(), v);
            break;
        }
        case L'c': {
            long long v = a.kind == FormatArg::Signed ? a.s : (long long)a.u;
            PadTo(out, WideToUtf16(std::wstring(1, wchar_t(v))), width, left);
            continue;
        }
        case L'p':
            std::snprintf(buf, sizeof buf, "%p", a.p);
            break;
        default:  // unknown conversion: print the argument plainly
            if (a.kind == FormatArg::Float)
                std::snprintf(buf, sizeof buf, "%f", a.f);
            else if (a.kind == FormatArg::Signed)
                std::snprintf(buf, sizeof buf, "%lld", a.s);
            else
                std::snprintf(buf, sizeof buf, "%llu", a.u);
            break;
        }
        AppendAscii(out, buf);
    }
}

std::u16string WideToUtf16(const std::wstring& text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        uint32_t cp = uint32_t(wc);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else if (cp > 0x10FFFF) {
            out.push_back(u'\uFFFD');
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

namespace {

// The one UTF-8 decoder: the code point of the well-formed sequence at text[i] and its length, or
// 0 when the sequence there is ill-formed (a stray or C0/C1/F5..FF lead byte, a missing or bad
// continuation byte, an overlong form, a surrogate, a value past U+10FFFF).
size_t DecodeUtf8At(const std::string& text, size_t i, uint32_t& cp) {
    const size_t n = text.size();
    const unsigned char b = static_cast<unsigned char>(text[i]);
    size_t length;
    uint32_t minimum;
    if (b < 0x80) {
        cp = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        length = 2, cp = b & 0x1F, minimum = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3, cp = b & 0x0F, minimum = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4, cp = b & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (n - i < length) return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

// The one UTF-16 decoder: the code point at text[i] and its length in units, or 0 for an unpaired
// surrogate.
size_t DecodeUtf16At(const std::u16string& text, size_t i, uint32_t& cp) {
    cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        return 2;
    }
    return (cp >= 0xD800 && cp <= 0xDFFF) ? 0 : 1;
}

void AppendUtf16(std::u16string& out, uint32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(char16_t(0xD800 + (cp >> 10)));
        out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(char16_t(cp));
    }
}

}  // namespace

std::string Utf16ToUtf8Lenient(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t cp;
        const size_t n = DecodeUtf16At(text, i, cp);
        AppendUtf8(out, n ? cp : 0xFFFD);
        i += n ? n : 1;
    }
    return out;
}

std::u16string Utf8ToUtf16Lenient(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t cp;
        const size_t n = DecodeUtf8At(text, i, cp);
        AppendUtf16(out, n ? cp : 0xFFFD);
        i += n ? n : 1;
    }
    return out;
}

bool Utf8ToUtf16Strict(const std::string& in, std::u16string& out) {
    out.clear();
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        uint32_t cp;
        const size_t n = DecodeUtf8At(in, i, cp);
        if (n == 0) return false;
        AppendUtf16(out, cp);
        i += n;
    }
    return true;
}

bool Utf16ToUtf8Strict(const std::u16string& in, std::string& out) {
    out.clear();
    out.reserve(in.size() * 3 + 1);
    for (size_t i = 0; i < in.size();) {
        uint32_t cp;
        const size_t n = DecodeUtf16At(in, i, cp);
        if (n == 0) return false;
        AppendUtf8(out, cp);
        i += n;
    }
    return true;
}

}  // namespace VexoSource
