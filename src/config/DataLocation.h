// Where the program finds its data files and keeps the user's configuration.
//
// Run from a folder whose Data/ is writable (the build tree, a portable copy), both files stay in
// that Data/ folder, named relative to the working directory (the executable's folder), and the
// configuration is written back there.
//
// Installed, the executable's folder is not the user's to write: the shipped MultiLang.xml and
// Configuration.xml are read from the data folder, and the user's configuration is kept in
// $XDG_CONFIG_HOME/qlncfg/Configuration.xml (~/.config/qlncfg/ when the variable is unset),
// created from the shipped one on first start. The data folder is, in this order: a read-only
// Data/ beside the executable, ../share/qlncfg beside the executable's bin folder (so an install
// under any prefix, or into a scratch root, finds its own files), the folder the build installs to.
#pragma once

#include <functional>
#include <string>

namespace VexoSource {

// What the choice depends on. CurrentDataFacts() takes it from the running process; tests give
// their own folders.
struct DataFacts {
    std::string programFolder;        // the executable's folder, without a trailing '/'
    std::string configHome;           // $XDG_CONFIG_HOME as set (ignored unless absolute)
    std::string home;                 // the user's home folder
    std::string installedDataFolder;  // the data folder the build installs to
    // The user's locale for messages: the first of $LC_ALL, $LC_MESSAGES, $LANG that is set and
    // not empty (the order in which the C library looks). Empty when none is.
    std::string messagesLocale;
    // Whether the program may create and replace files in an existing folder. A seam because
    // root passes every permission check, and the tests run as root.
    std::function<bool(const std::string& folder)> writable;
};

struct DataFiles {
    bool portable = false;       // Data/ beside the executable is used as it stands
    std::string languageFile;    // MultiLang.xml to read
    std::string shippedConfig;   // the Configuration.xml that comes with the program
    std::string configFolder;    // installed: the per-user folder (empty when no home is known)
    std::string configFile;      // the configuration read at start and written back at exit
    bool writeBack = true;       // false: the file is only read (the shipped one, or a locked folder)
};

// The data folder the build installs to (set by CMake).
const char* InstalledDataFolder();

DataFacts CurrentDataFacts();

// Names the files; looks at the file system but changes nothing.
DataFiles ChooseDataFiles(const DataFacts& facts);

// The interface language for a locale name: "Chinese" for zh, zh_CN, zh_TW.UTF-8 ..., else "English"
// (also for C, POSIX and an empty name).
const char* LanguageForLocale(const std::string& locale);

// ChooseDataFiles, then makes the choice usable: creates the per-user folder and, when the user's
// configuration is missing or empty, writes it from the shipped one with the language of the
// user's locale (afterwards the user's file holds, whatever the locale); an existing one takes the
// shipped "Configuration:Version" when that differs. When the user's folder cannot be used the
// program runs on the shipped configuration without writing it back; a log line says why. Logs
// the configuration file used at Information.
DataFiles PrepareDataFiles(const DataFacts& facts);

// The version text ("Configuration:Version", default "2.0.0.0") of the configuration the program
// would read (the user's when it exists, else the shipped one), without creating anything.
std::string ConfigVersionText(const DataFacts& facts);

}  // namespace VexoSource
