// A working directory of its own holding Data/MultiLang.xml with the given English section (or no
// language file at all), selected as the English table; the previous directory comes back after.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "config/ProcessConfig.h"

namespace guitest {

class LanguageDir {
public:
    explicit LanguageDir(const std::string& englishBody) : LanguageDir(&englishBody) {}
    // nullptr: the folder has Data/ but no language file.
    explicit LanguageDir(const std::string* englishBody) {
        char pattern[] = "/tmp/qln-lang-XXXXXX";
        dir_ = mkdtemp(pattern);
        mkdir((dir_ + "/Data").c_str(), 0755);
        if (englishBody) {
            std::ofstream(dir_ + "/Data/MultiLang.xml")
                << "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<Lang><EN>" << *englishBody << "</EN></Lang>\n";
        }
        char cwd[4096];
        old_ = getcwd(cwd, sizeof cwd) ? cwd : ".";
        EXPECT_EQ(chdir(dir_.c_str()), 0);
        g_MultiLang.LanguagePrefix = "Lang:EN:";
    }
    ~LanguageDir() {
        EXPECT_EQ(chdir(old_.c_str()), 0);
        std::remove((dir_ + "/Data/MultiLang.xml").c_str());
        rmdir((dir_ + "/Data").c_str());
        rmdir(dir_.c_str());
    }
    LanguageDir(const LanguageDir&) = delete;
    LanguageDir& operator=(const LanguageDir&) = delete;

private:
    std::string dir_, old_;
};

}  // namespace guitest
