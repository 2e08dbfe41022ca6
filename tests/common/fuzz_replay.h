// Replays a fuzz target's seeds and every input that once crashed, leaked or hung it through
// the entry the fuzzer calls; under the sanitizers this is the fuzzer's own check, in every CI
// run. A crash, a leak or a memory error fails the suite: there is no result to compare.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace ovotest {

// The inputs replayed from the named folders of tests/fuzz.
inline int replayFuzzInputs(std::initializer_list<const char*> folders) {
    namespace fs = std::filesystem;
    int inputs = 0;
    for (const char* folder : folders) {
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
    return inputs;
}

}  // namespace ovotest
