#include "config/CommandLineRules.h"

#ifndef QLN_PROGRAM_VERSION
#define QLN_PROGRAM_VERSION "0.0.0"
#endif

namespace VexoSource {

const char* ProgramVersion() { return QLN_PROGRAM_VERSION; }

std::string UsageText() {
    return "Usage: qlncfg [--help | --version | --language english|chinese]\n"
           "Configures an infrared multi-touch screen frame through its touch service\n"
           "(127.0.0.1:28875), which must be running.\n"
           "\n"
           "  -h, --help     show this help and exit\n"
           "  -V, --version  show the program's and the configuration's version and exit\n"
           "  --language english|chinese\n"
           "                 run in that language and keep it in the configuration\n"
           "                 (on the first start the language follows the locale)\n"
           "\n"
           "The configuration is kept in $XDG_CONFIG_HOME/qlncfg/Configuration.xml\n"
           "(~/.config/qlncfg/ by default), or in the Data folder beside the program when\n"
           "that folder is writable.\n";
}

CommandLineAnswer ReadCommandLine(const std::vector<std::string>& args,
                                  const std::function<std::string()>& configVersion) {
    CommandLineAnswer answer;
    if (args.empty()) return answer;
    answer.run = false;
    const std::string& option = args[0];
    std::string value;
    bool languageGiven = false;
    if (option == "--language" && args.size() == 2) {
        value = args[1];
        languageGiven = true;
    } else if (option.compare(0, 11, "--language=") == 0 && args.size() == 1) {
        value = option.substr(11);
        languageGiven = true;
    }
    if (!languageGiven && (option == "--language" || option.compare(0, 11, "--language=") == 0)) {
        answer.err = "qlncfg: --language takes one word, english or chinese, and no other option\n" + UsageText();
        answer.exitCode = 2;
        return answer;
    }
    if (languageGiven) {
        std::string lower;
        for (char c : value) lower += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        if (lower == "english" || lower == "chinese") {
            answer.run = true;
            answer.language = lower == "english" ? "English" : "Chinese";
        } else {
            answer.err = "qlncfg: --language: '" + value + "' is not english or chinese\n" + UsageText();
            answer.exitCode = 2;
        }
        return answer;
    }
    if (args.size() == 1 && (option == "--help" || option == "-h")) {
        answer.out = UsageText();
    } else if (args.size() == 1 && (option == "--version" || option == "-V")) {
        answer.out = std::string("qlncfg ") + ProgramVersion() + "\nconfiguration version " +
                     (configVersion ? configVersion() : std::string()) + "\n";
    } else {
        for (const std::string& arg : args) {
            if (arg != "--help" && arg != "-h" && arg != "--version" && arg != "-V") {
                answer.err = std::string("qlncfg: ") + (arg.compare(0, 1, "-") == 0 ? "unknown option" : "unexpected argument") +
                             " '" + arg + "'\n";
                break;
            }
        }
        if (answer.err.empty()) answer.err = "qlncfg: give one option at a time\n";
        answer.err += UsageText();
        answer.exitCode = 2;
    }
    return answer;
}

}  // namespace VexoSource
