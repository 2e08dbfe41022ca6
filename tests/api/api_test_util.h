// Shared by the scene-interface tests: a fixture owning a renderer whose reports are captured.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/api/raytracer.h"
#include "tests/common/test_util.h"

namespace ovotest {

constexpr int Warning = OIIO::ErrorHandler::EH_WARNING;
constexpr int Error = OIIO::ErrorHandler::EH_ERROR;
constexpr int Severe = OIIO::ErrorHandler::EH_SEVERE;

class RaytracerTest : public ::testing::Test {
  protected:
    RaytracerTest()
        : renderer(static_cast<ovo::Raytracer*>(
              ovo::RendererAPI::CreateRenderer("raytracer", capture.manager))) {
        take();
    }
    ~RaytracerTest() override { delete renderer; }

    // The reports since the last call, then forgets them.
    std::vector<Report> take() {
        std::vector<Report> taken;
        taken.swap(capture.handler.reports);
        return taken;
    }
    // Exactly one report since the last call, at this level and with this text.
    void expectReport(int level, const std::string& text) {
        const auto reports = take();
        ASSERT_EQ(reports.size(), 1u) << "expected: " << text;
        EXPECT_EQ(reports[0].code, level);
        EXPECT_EQ(reports[0].text, text);
    }
    // Opens the world, dropping what it reports (the default-output notice).
    void enterWorld() {
        renderer->World();
        take();
    }
    // Closes the world with a frame that draws nothing.
    void finishFrame() {
        renderer->getOptions().integratorName = "null";
        renderer->Render(nullptr);
    }
    // A sphere of radius r about (x, y, z), in a transform block of its own.
    void sphereAt(float x, float y = 0.0f, float z = 0.0f, float r = 1.0f) {
        renderer->PushTransform();
        renderer->Translate(x, y, z);
        renderer->Sphere(r);
        renderer->PopTransform();
    }
    void expectSilence() {
        const auto reports = take();
        EXPECT_TRUE(reports.empty())
            << reports.size() << " reports, first: " << (reports.empty() ? "" : reports[0].text);
    }

    CapturingManager capture;
    ovo::Raytracer* renderer;
};

}  // namespace ovotest

// The names the scene-geometry and shading suites use.
namespace ovo {
namespace testing {
using RaytracerTest = ovotest::RaytracerTest;
constexpr int kWarning = ovotest::Warning;
constexpr int kError = ovotest::Error;
constexpr int kSevere = ovotest::Severe;
}  // namespace testing
}  // namespace ovo
