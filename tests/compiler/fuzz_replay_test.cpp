// The compiler fuzz target's seeds and every input that once crashed, leaked or hung it,
// through the entry the fuzzer calls; under the sanitizers this is the fuzzer's own check.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

TEST(CompilerFuzzReplay, SeedsAndRegressionsCompileCleanly) {
    int inputs = 0;
    for (const char* folder : {"corpus-slc", "regressions-slc"}) {
        const fs::path dir = fs::path(OVO_SOURCE_DIR) / "tests" / "fuzz" / folder;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), {});
            SCOPED_TRACE(entry.path().string());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
            ++inputs;
        }
    }
    EXPECT_GE(inputs, 5);  // the seeds were found
}
