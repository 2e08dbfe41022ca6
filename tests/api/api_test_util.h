// Shared by the scene-interface tests: a handler that records every report, and a fixture
// owning a renderer that reports through it.
#pragma once

#include <gtest/gtest.h>

#include <OpenImageIO/errorhandler.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/api/raytracer.h"
#include "core/params/error.h"

namespace ovo {
namespace testing {

constexpr int kWarning = OIIO::ErrorHandler::EH_WARNING;
constexpr int kError = OIIO::ErrorHandler::EH_ERROR;
constexpr int kSevere = OIIO::ErrorHandler::EH_SEVERE;

class CaptureHandler : public OIIO::ErrorHandler {
  public:
    void operator()(int code, const std::string& text) override {
        reports.emplace_back(code, text);
    }
    std::vector<std::pair<int, std::string>> reports;
};

class RaytracerTest : public ::testing::Test {
  protected:
    RaytracerTest() : manager(ErrorManager::Create(&capture, 1)) {
        renderer = static_cast<Raytracer*>(RendererAPI::CreateRenderer("raytracer", manager));
        capture.reports.clear();
    }
    ~RaytracerTest() override {
        delete renderer;
        delete manager;
    }

    // The reports since the last call, then forgets them.
    std::vector<std::pair<int, std::string>> take() {
        std::vector<std::pair<int, std::string>> taken;
        taken.swap(capture.reports);
        return taken;
    }
    // Exactly one report since the last call, at this level and with this text.
    void expectReport(int level, const std::string& text) {
        const auto reports = take();
        ASSERT_EQ(reports.size(), 1u) << "expected: " << text;
        EXPECT_EQ(reports[0].first, level);
        EXPECT_EQ(reports[0].second, text);
    }
    // Each call, on its own, makes exactly its one error report.
    using Refusal = std::pair<std::function<void()>, const char*>;
    void expectErrors(const std::vector<Refusal>& cases) {
        take();
        for (const Refusal& c : cases) {
            SCOPED_TRACE(c.second);
            c.first();
            expectReport(kError, c.second);
        }
    }
    void expectSilence() {
        const auto reports = take();
        EXPECT_TRUE(reports.empty())
            << reports.size() << " reports, first: " << (reports.empty() ? "" : reports[0].second);
    }

    CaptureHandler capture;
    ErrorManager* manager;
    Raytracer* renderer;
};

}  // namespace testing
}  // namespace ovo
