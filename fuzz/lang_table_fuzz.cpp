// The language table: an arbitrary language file, the language the configuration names, and
// text lookups with fuzzed keys (a text is handed out cut at 1023 units).
#include <fuzzer/FuzzedDataProvider.h>

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzSupport.h"
#include "config/CPMultiLang.h"
#include "config/ProcessConfig.h"

using VexoSource::VexoWString;

namespace {

using QlnFuzz::Check;

std::string g_folder;

// The configuration store as the language choice sees it: "Configuration:Language" holds the
// fuzzed text, everything else is missing.
class LanguageOnly : public VexoSource::VexoConfgBase {
public:
    explicit LanguageOnly(std::u16string language) : language_(std::move(language)) {}
    int32_t Load() override { return 1; }
    int32_t Save() override { return 1; }
    int32_t Count(std::string) override { return 0; }
    int32_t WriteText(std::string, VexoWString, int32_t) override { return -1; }
    int32_t WriteFloat(std::string, double, int32_t) override { return -1; }
    int32_t WriteInt(std::string, int32_t, int32_t) override { return -1; }
    VexoWString ReadText(std::string key, VexoWString def, int32_t) override {
        if (key != "Configuration:Language") return def;
        VexoWString value(language_);
        value.ignoreCase = def.ignoreCase;
        return value;
    }
    double ReadFloat(std::string, double def, int32_t) override { return def; }
    int32_t ReadInt(std::string, int32_t def, int32_t) override { return def; }
    int32_t PushTag(std::string, int32_t) override { return 0; }
    int32_t PopTag() override { return 0; }

private:
    std::u16string language_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    QlnFuzz::QuietLog();
    g_folder = QlnFuzz::ScratchFolder("qln-lang-fuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    static const char16_t* const kLanguages[] = {u"English", u"Chinese", u"chinese", u"CHINESE", u"Chinese ", u""};
    std::u16string language;
    if (in.ConsumeBool()) {
        language = kLanguages[in.ConsumeIntegralInRange<size_t>(0, std::size(kLanguages) - 1)];
    } else {
        const std::string bytes = in.ConsumeRandomLengthString(32);
        for (char c : bytes) language.push_back(char16_t(uint8_t(c)));
    }
    const std::string file = in.ConsumeRandomLengthString(8192);

    const std::string path = g_folder + "/MultiLang.xml";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << file;
    }
    LanguageOnly config(language);
    g_pConfig = &config;
    CPMultiLang table(path);
    Check(table.Initialize() == 1);
    g_pConfig = nullptr;
    Check(table.LanguagePrefix == "Lang:EN:" || table.LanguagePrefix == "Lang:CN:");
    const bool loaded = table.LoadTexts();

    static const char* const kKeys[] = {"Apply", "Cancel", "Done", "Inches", "Running", "Device_Undetected"};
    while (in.remaining_bytes() > 0) {
        const std::string key = in.ConsumeBool() ? kKeys[in.ConsumeIntegralInRange<size_t>(0, std::size(kKeys) - 1)]
                                                 : in.ConsumeRandomLengthString(40);
        const VexoWString fallback(u"none");
        const VexoWString text = table.GetText(key, fallback);
        Check(text.str.size() <= VexoSource::VexoXmlDoc::kMaxValueUnits);
        Check(text.ignoreCase == fallback.ignoreCase);
        if (!loaded) Check(text.str == fallback.str);
        table.GetInt(key, -1);
        table.GetFloat(key, -1.0f);
    }
    return 0;
}
