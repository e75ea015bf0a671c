// Conversions between the program's UTF-16 texts and wxString (wchar_t is 32 bits here).
#pragma once

#include <wx/string.h>
#include <wx/strconv.h>

#include <string>

#include "config/ProcessConfig.h"

inline wxString ToWx(const std::u16string& text) {
    if (text.empty()) return wxString();
    return wxString(reinterpret_cast<const char*>(text.data()), wxMBConvUTF16(), text.size() * 2);
}

inline std::u16string FromWx(const wxString& text) {
    const wxCharBuffer bytes = text.mb_str(wxMBConvUTF16());
    const size_t units = bytes.length() / 2;
    return std::u16string(reinterpret_cast<const char16_t*>(bytes.data()), units);
}

// A text of the language table, with its fallback.
inline wxString LangText(const char* key, const char16_t* fallback) {
    return ToWx(g_MultiLang.GetText(key, VexoSource::VexoWString(fallback)).str);
}
