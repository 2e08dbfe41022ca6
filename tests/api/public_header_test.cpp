// The umbrella header alone is enough for a host: it compiles on its own (nothing it includes
// leans on an include of the test's) and names what a host uses to describe and render a frame.
#include "core/ovo.h"

#include <gtest/gtest.h>

TEST(PublicHeader, AHostNeedsNothingElse) {
    ovo::RendererAPI* renderer = ovo::RendererAPI::CreateRenderer("raytracer", nullptr);
    ASSERT_NE(renderer, nullptr);
    const char* version = nullptr;
    EXPECT_TRUE(renderer->GetAttribute("string renderer:versionstring", version));
    ASSERT_NE(version, nullptr);
    EXPECT_STRNE(version, "");
    EXPECT_NE(dynamic_cast<ovo::Raytracer*>(renderer), nullptr);
    delete renderer;
}
