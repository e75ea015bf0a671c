// The language table: every user-visible text, looked up by key in Data/MultiLang.xml under the
// language the configuration names, with a fallback for keys the file lacks.
#pragma once

#include <cstdint>
#include <string>

#include "config/VexoXmlDoc.h"
#include "foundation/VexoObj.h"
#include "foundation/VexoWString.h"

class CPMultiLang : public VexoObj {
public:
    // "Lang:EN:" or "Lang:CN:", put in front of every key; empty until Initialize.
    std::string LanguagePrefix;

    explicit CPMultiLang(const std::string& path);
    ~CPMultiLang() override = default;

    // Chooses the language from "Configuration:Language" of g_pConfig ("English" when there is no
    // store): "Chinese" in any ASCII letter case selects Chinese. Returns 1.
    int32_t Initialize() override;
    void Release() override {}

    virtual float GetFloat(const std::string& key, float def);
    virtual int32_t GetInt(const std::string& key, int32_t def);
    // The result carries the fallback's ignore-case flag.
    virtual VexoSource::VexoWString GetText(const std::string& key, const VexoSource::VexoWString& fallback);

    // (Re)loads the language file; false when it is missing or not well-formed.
    bool LoadTexts();

    const std::string& Path() const { return path_; }
    // Start-up points the table at the installed data folder's file; takes effect at the next load.
    void SetPath(const std::string& path) { path_ = path; }

private:
    VexoSource::VexoXmlDoc texts_;
    std::string path_;
};
