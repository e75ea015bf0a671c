// The receive side's fuzz entry over its seed corpus, in the ordinary build: the real replies of
// the simulated service, too-long and empty replies, calls from the service and late replies all
// keep the entry's checks (result within the capacity, canary intact, bytes as sent, ok).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "servicelink/VexoRPC.h"

namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(ReceiveFuzzEntry, EverySeedKeepsTheReplySlotsBounds) {
    const std::filesystem::path seeds = std::filesystem::path(QLN_TEST_DATA) / "../../fuzz/corpus/rpc_receive_fuzz";
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(seeds)) {
        const std::string bytes = ReadAll(entry.path());
        EXPECT_EQ(0, VexoSource::VexoRPCFuzzOneInput(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()))
            << entry.path();
        ++count;
    }
    EXPECT_GT(count, 0u) << "no seeds in " << seeds;
}
