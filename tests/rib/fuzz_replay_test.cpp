// The RIB fuzz target's seeds and regressions (see tests/common/fuzz_replay.h).
#include "tests/common/fuzz_replay.h"

TEST(FuzzReplay, CorpusAndRegressionsReadCleanly) {
    EXPECT_GE(ovotest::replayFuzzInputs({"corpus", "regressions"}), 5);
}
