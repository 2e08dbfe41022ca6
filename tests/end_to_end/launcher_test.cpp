// The ovo executable answers --help and --version without loading the renderer, and says so
// when the renderer's library cannot be found.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/api/renderer_api.h"

namespace ovotest {
namespace {

struct Outcome {
    int status = -1;
    std::string out;
};

Outcome run(const std::string& command) {
    Outcome r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        r.out.append(buffer, n);
    const int s = pclose(pipe);
    r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return r;
}

}  // namespace
}  // namespace ovotest

using namespace ovotest;

TEST(OvoLauncher, AnswersItselfAndNamesAMissingLibrary) {
    std::unique_ptr<ovo::RendererAPI> renderer(
        ovo::RendererAPI::CreateRenderer("raytracer", nullptr));
    ASSERT_TRUE(renderer);
    const char* version = nullptr;
    ASSERT_TRUE(renderer->GetAttribute("string renderer:versionstring", version));
    const std::string ovo = std::string(OVO_BINARY_DIR) + "/bin/ovo";

    // The same version as the library's, and nothing else on either stream.
    Outcome v = run(ovo + " --version 2>&1");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "ovo " + std::string(version) + "\n");
    Outcome h = run(ovo + " --help 2>&1");
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.out.rfind("usage: ovo", 0), 0u) << h.out;

    // A copy of the executable with no lib/ beside its bin/ cannot render.
    char name[] = "/tmp/ovo-launch-XXXXXX";
    ASSERT_TRUE(mkdtemp(name));
    const std::string dir = name;
    ASSERT_EQ(
        std::system(("mkdir '" + dir + "/bin' && cp '" + ovo + "' '" + dir + "/bin/'").c_str()), 0);
    Outcome lost = run("'" + dir + "/bin/ovo' scene.rib 2>&1");
    EXPECT_EQ(lost.status, 1);
    EXPECT_EQ(lost.out.rfind("ovo: cannot load " + dir + "/lib/libovo_cli.so", 0), 0u) << lost.out;
    EXPECT_EQ(v.out.find("statistics"), std::string::npos);
    std::system(("rm -rf '" + dir + "'").c_str());
}
