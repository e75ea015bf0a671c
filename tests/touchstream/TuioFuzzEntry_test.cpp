// The touch stream's fuzz entry over its seed corpus (packets of the recorded stream in several
// chunk sizes, joined, cut and noisy packets), in the ordinary build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "touchstream/TuioStream.h"

namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(TuioFuzzEntry, EverySeedKeepsThePipelinesBounds) {
    const std::filesystem::path seeds = std::filesystem::path(QLN_TEST_DATA) / "../../fuzz/corpus/tuio_stream_fuzz";
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(seeds)) {
        const std::string bytes = ReadAll(entry.path());
        EXPECT_EQ(0, VexoSource::VexoTuioFuzzOneInput(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()))
            << entry.path();
        ++count;
    }
    EXPECT_GT(count, 0u) << "no seeds in " << seeds;
}
