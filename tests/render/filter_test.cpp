// The filter plugins: each is symmetric, peaks at the pixel centre, vanishes beyond its
// support, and has the documented shape.
#include <cmath>
#include <memory>

#include "core/math/constants.h"
#include "tests/render/render_test_util.h"

using namespace ovotest;

TEST(Filters, SymmetricPeakedAndZeroBeyondTheSupport) {
    const float xw = 1.5f, yw = 2.0f;
    for (const char* name : {"gaussian", "box", "triangle", "catmull-rom", "sinc"}) {
        SCOPED_TRACE(name);
        std::unique_ptr<Filter> f(makeFilter(name, xw, yw));
        ASSERT_TRUE(f);
        const float peak = f->evaluate(0.0f, 0.0f);
        EXPECT_GT(peak, 0.0f);
        for (float x = -xw; x <= xw; x += xw / 7.0f) {
            for (float y = -yw; y <= yw; y += yw / 9.0f) {
                const float v = f->evaluate(x, y);
                EXPECT_FLOAT_EQ(v, f->evaluate(-x, y));
                EXPECT_FLOAT_EQ(v, f->evaluate(x, -y));
                EXPECT_LE(v, peak);
            }
        }
        for (float s : {1.01f, 1.5f, 3.0f}) {
            EXPECT_EQ(f->evaluate(s * xw, 0.0f), 0.0f);
            EXPECT_EQ(f->evaluate(0.0f, -s * yw), 0.0f);
            EXPECT_EQ(f->evaluate(s * xw, s * yw), 0.0f);
        }
    }
}

// Gaussian: exp(-alpha (x/w)^2) - exp(-alpha) per axis (the default alpha 2 is pinned by the
// film's table test); Catmull-Rom over half-width 2 is the classic kernel in pixel units (a
// negative lobe between one and two pixels); the windowed sinc is zero at whole-pixel offsets,
// sinc(x) sinc(x/w) between them.
TEST(Filters, Shapes) {
    const float e2 = std::exp(-2.0f), e8 = std::exp(-8.0f), sinc6 = std::sin(Pi / 6) / (Pi / 6);
    const struct {
        const char* name;
        float width, alpha, x, y, value;
    } cases[] = {
        {"gaussian", 2, 8, 1, 0, (e2 - e8) * (1 - e8)},
        {"box", 0.5f, 0, 0.49f, -0.49f, 1},
        {"triangle", 2, 0, 1, 0.5f, 0.5f * 0.75f},
        {"catmull-rom", 2, 0, 0.5f, 0, 0.5625f},
        {"catmull-rom", 2, 0, 1, 0, 0},
        {"catmull-rom", 2, 0, 1.5f, 0, -0.0625f},
        {"sinc", 3, 0, 1, 0, 0},
        {"sinc", 3, 0, 0.5f, 0, 2 / Pi * sinc6},
    };
    for (const auto& c : cases) {
        ParameterSet p;
        if (c.alpha) addFloats(p, "alpha", {c.alpha});
        std::unique_ptr<Filter> f(makeFilter(c.name, c.width, c.width, p));
        ASSERT_TRUE(f) << c.name;
        EXPECT_NEAR(f->evaluate(c.x, c.y), c.value, 1e-5f) << c.name << " " << c.x << " " << c.y;
    }
}
