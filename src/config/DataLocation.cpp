#include "config/DataLocation.h"

#include <cstdlib>

#include "config/VexoXmlDoc.h"
#include "foundation/VexoLog.h"
#include "foundation/VexoWString.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/ModuleFolder.h"

#ifndef QLN_INSTALLED_DATA_FOLDER
#define QLN_INSTALLED_DATA_FOLDER "/usr/share/qlncfg"
#endif

namespace VexoSource {

namespace {

constexpr const char* kConfigName = "Configuration.xml";
constexpr const char* kLanguageName = "MultiLang.xml";
constexpr const char* kVersionKey = "Configuration:Version";
constexpr const char* kLanguageKey = "Configuration:Language";

using VexoPlatform::IsFolder;
using VexoPlatform::IsMissingOrEmpty;

bool IsFile(const std::string& path) { return VexoPlatform::IsRegularFile(path); }

bool Absolute(const std::string& path) { return !path.empty() && path[0] == '/'; }

// "/usr/bin" -> "/usr"; "" when there is no parent.
std::string ParentFolder(const std::string& folder) {
    const size_t slash = folder.rfind('/');
    if (slash == std::string::npos || slash == 0) return std::string();
    return folder.substr(0, slash);
}

std::string DataFolderOf(const DataFacts& facts) {
    const std::string beside = facts.programFolder + "/Data";
    if (IsFile(beside + "/" + kLanguageName)) return beside;
    const std::string prefix = ParentFolder(facts.programFolder);
    if (!prefix.empty() && IsFile(prefix + "/share/qlncfg/" + kLanguageName)) return prefix + "/share/qlncfg";
    return facts.installedDataFolder;
}

// Creates the folder and its missing parents, private to the user as the base directory rules ask.
bool MakeFolders(const std::string& folder) {
    const int error = VexoPlatform::MakeFolders(folder, 0700);
    if (error != 0) VexoPlatform::SetLastError(uint32_t(error));
    return error == 0;
}

bool DefaultWritable(const std::string& folder) { return VexoPlatform::MayWriteInFolder(folder); }

// The version text says what the installed program supports, not what the user chose: after an
// upgrade ships another one, the user's copy takes it (and keeps everything else), or a device
// that needs the new version would be refused.
void FollowShippedVersion(const DataFiles& files) {
    VexoXmlDoc shipped, user;
    if (!shipped.LoadFile(files.shippedConfig) || !user.LoadFile(files.configFile)) return;
    const std::u16string version = shipped.ReadText(kVersionKey, VexoWString(u"")).str;
    if (version.empty() || user.ReadText(kVersionKey, VexoWString(u"")).str == version) return;
    if (user.WriteText(kVersionKey, VexoWString(version)) < 0 || !user.SaveFileChecked(files.configFile)) return;
    VexoLogInfo(L"Configuration file %hs takes the version %hs of %hs", files.configFile, ToNarrow(version),
                files.shippedConfig);
}

}  // namespace

const char* LanguageForLocale(const std::string& locale) {
    return locale.compare(0, 2, "zh") == 0 ? "Chinese" : "English";
}

const char* InstalledDataFolder() { return QLN_INSTALLED_DATA_FOLDER; }

DataFacts CurrentDataFacts() {
    DataFacts facts;
    VexoPlatform::GetExecutableFolder(facts.programFolder);
    if (const char* value = std::getenv("XDG_CONFIG_HOME")) facts.configHome = value;
    if (const char* value = std::getenv("HOME")) {
        facts.home = value;
    } else {
        facts.home = VexoPlatform::HomeFromPasswordDatabase();
    }
    facts.installedDataFolder = InstalledDataFolder();
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            facts.messagesLocale = value;
            break;
        }
    }
    facts.writable = DefaultWritable;
    return facts;
}

DataFiles ChooseDataFiles(const DataFacts& facts) {
    const auto writable = facts.writable ? facts.writable : DefaultWritable;
    DataFiles files;
    const std::string beside = facts.programFolder + "/Data";
    if (IsFolder(beside) && writable(beside)) {
        // As the program has always run: relative to the working directory, the executable's folder.
        files.portable = true;
        files.languageFile = std::string("Data/") + kLanguageName;
        files.shippedConfig = files.configFile = std::string("Data/") + kConfigName;
        return files;
    }
    const std::string data = DataFolderOf(facts);
    files.languageFile = data + "/" + kLanguageName;
    files.shippedConfig = data + "/" + kConfigName;
    // A relative XDG_CONFIG_HOME is invalid by the base directory rules and is ignored.
    if (Absolute(facts.configHome))
        files.configFolder = facts.configHome + "/qlncfg";
    else if (Absolute(facts.home))
        files.configFolder = facts.home + "/.config/qlncfg";
    files.configFile = files.configFolder.empty() ? files.shippedConfig : files.configFolder + "/" + kConfigName;
    return files;
}

DataFiles PrepareDataFiles(const DataFacts& facts) {
    const auto writable = facts.writable ? facts.writable : DefaultWritable;
    DataFiles files = ChooseDataFiles(facts);
    if (!files.portable) {
        if (files.configFolder.empty()) {
            VexoLogException(L"No home folder for the configuration; running on the shipped configuration");
            files.configFile = files.shippedConfig;
            files.writeBack = false;
        } else if (!MakeFolders(files.configFolder)) {
            VexoLogException(L"Configuration folder %hs cannot be created; running on the shipped configuration",
                             files.configFolder);
            files.configFile = files.shippedConfig;
            files.writeBack = false;
        } else if (!writable(files.configFolder)) {
            if (IsFile(files.configFile)) {
                VexoLogException(L"Configuration folder %hs is not writable; settings will not be saved",
                                 files.configFolder);
            } else {
                VexoLogException(L"Configuration folder %hs is not writable; running on the shipped configuration",
                                 files.configFolder);
                files.configFile = files.shippedConfig;
            }
            files.writeBack = false;
        } else if (IsMissingOrEmpty(files.configFile)) {
            // First start: the user's copy begins as the shipped file. One that does not load is
            // not copied, so the user never inherits an unreadable file; the store then starts empty.
            VexoXmlDoc shipped;
            const char* language = LanguageForLocale(facts.messagesLocale);
            if (!shipped.LoadFile(files.shippedConfig)) {
                VexoLogException(L"Shipped configuration %hs cannot be read; starting an empty one",
                                 files.shippedConfig);
            } else if (shipped.WriteText(kLanguageKey, FromNarrow(language, false)) >= 0 &&
                       shipped.SaveFileChecked(files.configFile)) {
                VexoLogInfo(L"Configuration file %hs created from %hs", files.configFile, files.shippedConfig);
                VexoLogInfo(L"Interface language %hs, from the locale '%hs'", language, facts.messagesLocale);
            } else {
                VexoLogException(L"Configuration file %hs cannot be written; running on the shipped configuration",
                                 files.configFile);
                files.configFile = files.shippedConfig;
                files.writeBack = false;
            }
        } else {
            FollowShippedVersion(files);
        }
    }
    VexoLogInfo(L"Configuration file %hs%hs, language file %hs", files.configFile,
                files.writeBack ? "" : " (read only)", files.languageFile);
    return files;
}

std::string ConfigVersionText(const DataFacts& facts) {
    const DataFiles files = ChooseDataFiles(facts);
    auto absolute = [&facts](const std::string& path) {
        return Absolute(path) ? path : facts.programFolder + "/" + path;
    };
    VexoXmlDoc doc;
    if (!doc.LoadFile(absolute(files.configFile))) doc.LoadFile(absolute(files.shippedConfig));
    const VexoWString text = doc.ReadText(kVersionKey, VexoWString(u"2.0.0.0"));
    return ToNarrow(text.str);
}

}  // namespace VexoSource
