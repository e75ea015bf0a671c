// Type-safe printf-style formatting into UTF-16.
//
// The program's format strings follow the Windows conventions ("%s" a wide text, "%hs" a narrow
// one), which glibc's wide printf reads the other way round. Here every argument is formatted by
// its C++ type: the conversion letter only chooses the integer base or the float style, and any
// string type prints as text whatever the letter says. A wrong pairing therefore prints something
// readable instead of reading through a bad pointer, and a missing argument prints nothing.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

namespace VexoSource {

class VexoWString;

// One formatting argument, captured by value or by pointer for the duration of a call.
struct FormatArg {
    enum Kind { Signed, Unsigned, Float, Narrow, Wide16, Wide32, Pointer } kind;
    long long s = 0;
    unsigned long long u = 0;
    double f = 0.0;
    const void* p = nullptr;   // text start for the three text kinds
    size_t len = 0;            // text length in units
    int bits = 64;             // width of the original integer, for %u/%x of negative values

    FormatArg(bool v) : kind(Signed), s(v ? 1 : 0), bits(32) {}
    template <typename T, typename std::enable_if<std::is_integral<T>::value && std::is_signed<T>::value, int>::type = 0>
    FormatArg(T v) : kind(Signed), s(v), bits(int(sizeof(T) * 8)) {}
    template <typename T, typename std::enable_if<std::is_integral<T>::value && !std::is_signed<T>::value, int>::type = 0>
    FormatArg(T v) : kind(Unsigned), u(v), bits(int(sizeof(T) * 8)) {}
    template <typename T, typename std::enable_if<std::is_enum<T>::value, int>::type = 0>
    FormatArg(T v) : kind(Signed), s((long long)v), bits(32) {}
    FormatArg(float v) : kind(Float), f(v) {}
    FormatArg(double v) : kind(Float), f(v) {}
    FormatArg(const char* v);
    FormatArg(const std::string& v) : kind(Narrow), p(v.data()), len(v.size()) {}
    FormatArg(const char16_t* v);
    FormatArg(const std::u16string& v) : kind(Wide16), p(v.data()), len(v.size()) {}
    FormatArg(const wchar_t* v);
    FormatArg(const std::wstring& v) : kind(Wide32), p(v.data()), len(v.size()) {}
    FormatArg(const VexoWString& v);
    FormatArg(const void* v) : kind(Pointer), p(v) {}
};

// Formats `format` with `count` arguments and appends the result to `out`.
void AppendFormatted(std::u16string& out, const wchar_t* format, const FormatArg* args, size_t count);

template <typename... A>
std::u16string FormatText(const wchar_t* format, const A&... args) {
    std::u16string out;
    const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
    AppendFormatted(out, format, list, sizeof...(A));
    return out;
}

// Appends one code point (at most U+10FFFF, no surrogate) as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);

// UTF-16 <-> UTF-8, one decoder each way in two modes.
// Lenient, for diagnostics and output: each ill-formed byte or unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8Lenient(const std::u16string& text);
std::u16string Utf8ToUtf16Lenient(const std::string& text);
// Strict, for stored data: false on an ill-formed sequence or an unpaired surrogate (`out` is then
// unspecified).
bool Utf8ToUtf16Strict(const std::string& in, std::u16string& out);
bool Utf16ToUtf8Strict(const std::u16string& in, std::string& out);
std::u16string WideToUtf16(const std::wstring& text);

}  // namespace VexoSource
