#include "config/CPMultiLang.h"

#include "config/ProcessConfig.h"

using VexoSource::VexoWString;

CPMultiLang::CPMultiLang(const std::string& path) : path_(path) {}

int32_t CPMultiLang::Initialize() {
    VexoWString english(u"English");
    VexoWString language = g_pConfig ? g_pConfig->ReadText("Configuration:Language", english, 0) : english;
    LanguagePrefix = (language == u"Chinese") ? "Lang:CN:" : "Lang:EN:";
    return 1;
}

float CPMultiLang::GetFloat(const std::string& key, float def) {
    return texts_.ReadFloat(LanguagePrefix + key, def, 0);
}

int32_t CPMultiLang::GetInt(const std::string& key, int32_t def) {
    return texts_.ReadInt(LanguagePrefix + key, def, 0);
}

VexoWString CPMultiLang::GetText(const std::string& key, const VexoWString& fallback) {
    return texts_.ReadText(LanguagePrefix + key, fallback, 0);
}

bool CPMultiLang::LoadTexts() { return texts_.LoadFile(path_, VexoSource::VexoXmlDoc::kLanguageFileLimit); }
