// The compiler fuzz target's seeds and regressions (see tests/common/fuzz_replay.h).
#include "tests/common/fuzz_replay.h"

TEST(CompilerFuzzReplay, SeedsAndRegressionsCompileCleanly) {
    EXPECT_GE(ovotest::replayFuzzInputs({"corpus-slc", "regressions-slc"}), 5);
}
