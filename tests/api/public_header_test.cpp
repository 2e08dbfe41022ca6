// The umbrella header alone is enough for a host: it compiles on its own (nothing it includes
// leans on an include of the test's) and names what a host uses to describe and render a frame.
#include "core/ovo.h"

#include <gtest/gtest.h>

TEST(PublicHeader, AHostNeedsNothingElse) {
    ovo::RendererAPI* renderer = ovo::RendererAPI::CreateRenderer("raytracer", nullptr);
    ASSERT_NE(renderer, nullptr);
    EXPECT_NE(dynamic_cast<ovo::Raytracer*>(renderer), nullptr);
    delete renderer;
}
