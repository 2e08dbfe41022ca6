// The fuzz target's seed corpus and every input that once crashed, leaked or hung it, through
// the same entry the fuzzer calls; under the sanitizers (scripts/test.sh --asan) this is the
// fuzzer's own check, in every CI run.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

TEST(FuzzReplay, CorpusAndRegressionsReadCleanly) {
    int inputs = 0;
    for (const char* folder : {"corpus", "regressions"}) {
        const fs::path dir = fs::path(OVO_SOURCE_DIR) / "tests" / "fuzz" / folder;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), {});
            SCOPED_TRACE(entry.path().string());
            // A crash, a leak or a memory error fails the suite; there is no result to compare.
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
            ++inputs;
        }
    }
    EXPECT_GE(inputs, 5);  // the seeds were found
}
