#include "config/LinearityStore.h"

#include <gtest/gtest.h>

#include <string>

#include "support/RegistryFile.h"

using namespace VexoSource;

using testsupport::RegistryFile;

TEST(LinearityStore, ValuePresenceDecidesTheCheck) {
    RegistryFile file;
    const std::string key = std::string("[") + kLinearityKey + "]\n";
    struct Row {
        const char* name;
        std::string text;  // empty name: no file at all
        int32_t result;
    } rows[] = {
        {"no file", "", 0},
        {"key without the value", key + "other=1\n", 0},
        {"value with data", key + "fdrlmtouch&col01=0a0b0c\n", 1},
        {"value without data", key + "fdrlmtouch&col01=\n", 1},
        {"names ignore letter case", "[system\\currentcontrolset\\control\\tabletpc\\userlinearitydata]\r\nFDRLMTOUCH&COL01 = x\r\n", 1},
        {"value under another key", "[SYSTEM\\Other]\nfdrlmtouch&col01=1\n" + key, 0},
        {"comment is no value", key + ";fdrlmtouch&col01=1\n", 0},
        {"garbage", std::string("\0\xff[\n=\n", 6), 0},
    };
    for (const Row& r : rows) {
        file.Remove();
        if (!r.text.empty()) file.Write(r.text);
        EXPECT_EQ(CheckLinearityData(), r.result) << r.name;
    }
}

TEST(LinearityStore, OnlyTheBoundIsReadWhateverTheFileHolds) {
    RegistryFile file;
    const std::string key = std::string("[") + kLinearityKey + "]\n";
    struct Row {
        const char* name;
        std::string text;
        int32_t result;
    } rows[] = {
        {"the value within the bound", key + "fdrlmtouch&col01=1\n" + std::string(2 * kRegistryFileLimit, 'x'), 1},
        {"the value beyond the bound", std::string(kRegistryFileLimit, 'x') + "\n" + key + "fdrlmtouch&col01=1\n", 0},
        {"the value's line cut by the bound",
         std::string(kRegistryFileLimit - key.size() - 10, ';') + "\n" + key + "fdrlmtouch&col01=1\n", 0},
    };
    for (const Row& r : rows) {
        file.Write(r.text);
        EXPECT_EQ(CheckLinearityData(), r.result) << r.name;
    }
    // A file that never ends and has no line end at all: read up to the bound, not until memory
    // runs out.
    const std::string previous = SetRegistryFilePath("/dev/zero");
    EXPECT_EQ(CheckLinearityData(), 0);
    SetRegistryFilePath(previous);
}
