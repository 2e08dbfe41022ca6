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
        EXPECT_FLOAT_EQ(f->xwidth, xw);
        EXPECT_FLOAT_EQ(f->invYwidth, 1.0f / yw);
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

TEST(Filters, Shapes) {
    // Gaussian: exp(-alpha (x/w)^2) - exp(-alpha) per axis, alpha 2 unless given.
    std::unique_ptr<Filter> g(makeFilter("gaussian", 2.0f, 2.0f));
    const float e = std::exp(-2.0f);
    EXPECT_NEAR(g->evaluate(1.0f, 0.0f), (std::exp(-0.5f) - e) * (1.0f - e), 1e-6f);
    ParameterSet narrow;
    addFloats(narrow, "alpha", {8.0f});
    std::unique_ptr<Filter> g8(makeFilter("gaussian", 2.0f, 2.0f, narrow));
    EXPECT_NEAR(g8->evaluate(1.0f, 0.0f),
                (std::exp(-2.0f) - std::exp(-8.0f)) * (1.0f - std::exp(-8.0f)), 1e-6f);

    std::unique_ptr<Filter> box(makeFilter("box", 0.5f, 0.5f));
    EXPECT_EQ(box->evaluate(0.49f, -0.49f), 1.0f);

    std::unique_ptr<Filter> tri(makeFilter("triangle", 2.0f, 1.0f));
    EXPECT_NEAR(tri->evaluate(1.0f, 0.25f), 0.5f * 0.75f, 1e-6f);
    EXPECT_EQ(tri->evaluate(2.0f, 0.0f), 0.0f);

    // Catmull-Rom over half-width 2 is the classic kernel in pixel units: 1 at 0, 0 at one
    // pixel, a negative lobe between one and two pixels.
    std::unique_ptr<Filter> cr(makeFilter("catmull-rom", 2.0f, 2.0f));
    EXPECT_NEAR(cr->evaluate(0.5f, 0.0f), 0.5625f, 1e-6f);
    EXPECT_NEAR(cr->evaluate(1.0f, 0.0f), 0.0f, 1e-6f);
    EXPECT_NEAR(cr->evaluate(1.5f, 0.0f), -0.0625f, 1e-6f);

    // Windowed sinc: zero at whole-pixel offsets, sinc(x) sinc(x/w) between them.
    std::unique_ptr<Filter> s(makeFilter("sinc", 3.0f, 3.0f));
    EXPECT_NEAR(s->evaluate(1.0f, 0.0f), 0.0f, 1e-6f);
    EXPECT_NEAR(s->evaluate(2.0f, 0.5f), 0.0f, 1e-6f);
    const float sinc6 = std::sin(Pi / 6.0f) / (Pi / 6.0f);
    EXPECT_NEAR(s->evaluate(0.5f, 0.0f), 2.0f / Pi * sinc6, 1e-5f);
}
