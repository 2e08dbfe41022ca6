// Detail and DetailRange become the "detail:bound" and "detail:range" attributes; malformed
// ones are refused where they stand.
#include <gtest/gtest.h>

#include "tests/rib/recorder.h"

TEST(RibDetail, BoundAndRangeBecomeAttributes) {
    ovotest::expectRows({
        {"Detail [-1 1 -2 2 -3 3] DetailRange [0 0 20 30] DetailRange 500 600 1e38 1e38",
         "Attribute(float[6] detail:bound: -1 1 -2 2 -3 3); Attribute(float[4] detail:range: 0 0 "
         "20 30); Attribute(float[4] detail:range: 500 600 1e+38 1e+38)"},
        {"Detail [-1 1 -1 1 -1]\nDetailRange [0 30 20 40]\nDetailRange [0 0 20]",
         "E: test.rib:2: Detail: expected 6 numbers, got 5. Skipping ...; E: test.rib:3: "
         "DetailRange: expected minvisible <= lowertransition <= uppertransition <= maxvisible. "
         "Skipping ...; E: test.rib:4: DetailRange: expected 4 numbers, got 3. Skipping ..."},
    });
}
