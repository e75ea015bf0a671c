// Runs one fuzz target over the files of the given folders, without libFuzzer: the ordinary
// build's check that every seed keeps the target's checks. A broken check aborts, so the run
// fails where the input broke it; the names of the inputs go to standard error first.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    LLVMFuzzerInitialize(&argc, &argv);
    size_t count = 0;
    for (int k = 1; k < argc; ++k) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(argv[k], error)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::fprintf(stderr, "%s\n", entry.path().c_str());
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++count;
        }
        if (error) std::fprintf(stderr, "cannot read %s: %s\n", argv[k], error.message().c_str());
    }
    std::printf("%zu inputs\n", count);
    return count > 0 ? 0 : 1;  // an empty or missing corpus checks nothing
}
