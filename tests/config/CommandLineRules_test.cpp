#include "config/CommandLineRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace VexoSource;

TEST(CommandLineRules, OptionsAnswerOrRunTheProgram) {
    struct Row {
        std::vector<std::string> args;
        bool run;
        int exitCode;
        const char* out;  // part of standard output ("" = nothing)
        const char* err;  // part of standard error ("" = nothing)
    } rows[] = {
        {{}, true, 0, "", ""},
        {{"--help"}, false, 0, "Usage: qlncfg [--help | --version | --language english|chinese]", ""},
        {{"-h"}, false, 0, "~/.config/qlncfg/", ""},
        {{"--version"}, false, 0, "configuration version 2.6.1\n", ""},
        {{"-V"}, false, 0, "qlncfg ", ""},
        {{"--verbose"}, false, 2, "", "qlncfg: unknown option '--verbose'\nUsage: qlncfg"},
        {{"file.xml"}, false, 2, "", "unexpected argument 'file.xml'"},
        {{"--help", "extra"}, false, 2, "", "unexpected argument 'extra'"},
        {{"--help", "--version"}, false, 2, "", "one option at a time"},
        {{"--display=:1"}, false, 2, "", "unknown option '--display=:1'"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.args.empty() ? std::string("(none)") : r.args[0]);
        int versionReads = 0;
        const CommandLineAnswer a = ReadCommandLine(r.args, [&versionReads] {
            ++versionReads;
            return std::string("2.6.1");
        });
        EXPECT_EQ(a.run, r.run);
        EXPECT_EQ(a.exitCode, r.exitCode);
        if (*r.out)
            EXPECT_NE(a.out.find(r.out), std::string::npos) << a.out;
        else
            EXPECT_EQ(a.out, "");
        if (*r.err)
            EXPECT_NE(a.err.find(r.err), std::string::npos) << a.err;
        else
            EXPECT_EQ(a.err, "");
        // Only --version looks at the configuration.
        EXPECT_EQ(versionReads, a.out.find("configuration version") != std::string::npos ? 1 : 0);
    }
    EXPECT_EQ(ReadCommandLine({"--version"}, [] { return std::string("2.0.0.0"); }).out,
              std::string("qlncfg ") + ProgramVersion() + "\nconfiguration version 2.0.0.0\n");
    EXPECT_STRNE(ProgramVersion(), "0.0.0") << "the build sets the version";
}

TEST(CommandLineRules, LanguageOptionRunsInThatLanguage) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        bool run;
        int exitCode;
        const char* language;
        const char* err;  // part of standard error ("" = nothing)
    } rows[] = {
        {"english", {"--language", "english"}, true, 0, "English", ""},
        {"chinese in capitals", {"--language", "CHINESE"}, true, 0, "Chinese", ""},
        {"one word", {"--language=Chinese"}, true, 0, "Chinese", ""},
        {"unknown language", {"--language", "french"}, false, 2, "", "--language: 'french' is not english or chinese"},
        {"empty value", {"--language="}, false, 2, "", "--language: '' is not english or chinese"},
        {"value missing", {"--language"}, false, 2, "", "--language takes one word, english or chinese"},
        {"with another option", {"--language", "english", "--help"}, false, 2, "", "and no other option"},
        {"no option", {}, true, 0, "", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const CommandLineAnswer a = ReadCommandLine(r.args, [] { return std::string("2.0"); });
        EXPECT_EQ(a.run, r.run);
        EXPECT_EQ(a.exitCode, r.exitCode);
        EXPECT_EQ(a.language, r.language);
        EXPECT_EQ(a.out, "");
        if (*r.err)
            EXPECT_NE(a.err.find(r.err), std::string::npos) << a.err;
        else
            EXPECT_EQ(a.err, "");
    }
}
