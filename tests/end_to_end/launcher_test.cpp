// The ovo executable answers --help and --version without loading the renderer, and says so
// when the renderer's library cannot be found.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/api/renderer_api.h"
#include "tests/common/test_util.h"

using ovotest::CommandResult;
using ovotest::runCommand;

TEST(OvoLauncher, AnswersItselfAndNamesAMissingLibrary) {
    std::unique_ptr<ovo::RendererAPI> renderer(
        ovo::RendererAPI::CreateRenderer("raytracer", nullptr));
    ASSERT_TRUE(renderer);
    const char* version = nullptr;
    ASSERT_TRUE(renderer->GetAttribute("string renderer:versionstring", version));
    const std::string ovo = std::string(OVO_BINARY_DIR) + "/bin/ovo";

    // The same version as the library's, and nothing else on either stream.
    const CommandResult v = runCommand(ovo + " --version 2>&1");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "ovo " + std::string(version) + "\n");
    const CommandResult h = runCommand(ovo + " --help 2>&1");
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.out.rfind("usage: ovo", 0), 0u) << h.out;

    // A copy of the executable with no lib/ beside its bin/ cannot render.
    ovotest::ScratchDir dir;
    ASSERT_EQ(
        runCommand("mkdir '" + dir / "bin" + "' && cp '" + ovo + "' '" + dir / "bin/'").status, 0);
    const CommandResult lost = runCommand("'" + dir / "bin/ovo" + "' scene.rib 2>&1");
    EXPECT_EQ(lost.status, 1);
    EXPECT_EQ(lost.out.rfind("ovo: cannot load " + dir / "lib/libovo_cli.so", 0), 0u) << lost.out;
}
