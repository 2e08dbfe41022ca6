// Loads the shape plugins the way the renderer does (the file under $OVO_HOME/plugins, its
// createShape entry, then the primitive-variable interpolators), with a renderer whose error
// manager records every message.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/api/renderer_api.h"
#include "core/geometry/hit.h"
#include "core/geometry/shape.h"
#include "core/math/transform.h"
#include "core/params/error.h"
#include "core/params/parameter.h"

namespace shapetest {

using namespace ovo;

struct Message {
    int code;
    std::string text;
};

class CaptureHandler : public OIIO::ErrorHandler {
  public:
    void operator()(int code, const std::string& text) override {
        messages.push_back({code, text});
    }
    std::vector<Message> messages;
};

class TestRenderer : public RendererAPI {
  public:
    TestRenderer() : manager(ErrorManager::Create(&handler, 1)) {}
    ~TestRenderer() override { delete manager; }
    ErrorManager* GetErrorManager() override { return manager; }

    std::vector<Message>& messages() { return handler.messages; }

  private:
    CaptureHandler handler;
    ErrorManager* manager;
};

inline OvoCreateShapeEntry entryFor(const std::string& type) {
    static std::map<std::string, OvoCreateShapeEntry> entries;
    auto it = entries.find(type);
    if (it != entries.end()) return it->second;
    const char* home = std::getenv("OVO_HOME");
    const std::string path = std::string(home ? home : ".") + "/plugins/" + type + ".shape.so";
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        ADD_FAILURE() << "cannot open " << path << ": " << dlerror();
        return nullptr;
    }
    auto entry = reinterpret_cast<OvoCreateShapeEntry>(dlsym(library, "createShape"));
    if (!entry) ADD_FAILURE() << "no createShape in " << path;
    entries[type] = entry;
    return entry;
}

// A parameter list that owns the values it refers to.
class Params {
  public:
    Params& add(const char* decl, std::vector<float> values, int nvalues = 1) {
        floats.push_back(std::move(values));
        return push(decl, floats.back().data(), nvalues);
    }
    Params& add(const char* decl, std::vector<int> values, int nvalues = 1) {
        ints.push_back(std::move(values));
        return push(decl, ints.back().data(), nvalues);
    }
    Params& add(const char* decl, float value) { return add(decl, std::vector<float>{value}); }
    Params& add(const char* decl, int value) { return add(decl, std::vector<int>{value}); }

    ParameterSet set;

  private:
    Params& push(const char* decl, const void* data, int nvalues) {
        ParamType type;
        const char* name = nullptr;
        EXPECT_GT(type.fromString(decl, &name), 0) << decl;
        set.push_back(new Parameter(name ? name : "", type, nvalues, data, false));
        return *this;
    }
    std::deque<std::vector<float>> floats;
    std::deque<std::vector<int>> ints;
};

// What the renderer's shape factory does: the entry, then the interpolators of "N", "C",
// "opacity", "s" and "t" when they are given.
inline Reference<Shape> make(TestRenderer& renderer, const std::string& type, Params& params,
                             const Transform& objectToWorld = Transform(),
                             const ShapeAttributes& attributes = ShapeAttributes()) {
    OvoCreateShapeEntry entry = entryFor(type);
    if (!entry) return Reference<Shape>();
    Shape* shape = entry(renderer, objectToWorld, attributes, params.set);
    if (!shape) return Reference<Shape>();
    if (Parameter* p = params.set.find("N", TypeNormal))
        if (auto* i = shape->createNormalInterpolator(*p)) shape->setN(i);
    if (Parameter* p = params.set.find("C", TypeColor))
        if (auto* i = shape->createColorInterpolator(*p)) shape->setCs(i);
    if (Parameter* p = params.set.find("opacity", TypeColor))
        if (auto* i = shape->createColorInterpolator(*p)) shape->setOs(i);
    if (Parameter* p = params.set.find("s", TypeFloat))
        if (auto* i = shape->createFloatInterpolator(*p)) shape->setS(i);
    if (Parameter* p = params.set.find("t", TypeFloat))
        if (auto* i = shape->createFloatInterpolator(*p)) shape->setT(i);
    return Reference<Shape>(shape);
}

inline ShapeAttributes attributes(bool twoSided = true, bool inside = false, float bias = 1e-4f) {
    ShapeAttributes a;
    a.twoSided = twoSided;
    a.orientationInside = inside;
    a.bias = bias;
    return a;
}

// Expects exactly one message, at level Error, with this text.
inline void expectRefused(TestRenderer& renderer, const Reference<Shape>& shape,
                          const std::string& text) {
    EXPECT_FALSE(shape) << text;
    ASSERT_EQ(renderer.messages().size(), 1u) << text;
    EXPECT_EQ(renderer.messages()[0].code, int(OIIO::ErrorHandler::EH_ERROR));
    EXPECT_EQ(renderer.messages()[0].text, text);
    renderer.messages().clear();
}

inline ::testing::AssertionResult near3(const Tuple& a, const Tuple& b, float tol) {
    const float d = std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                              (a.z - b.z) * (a.z - b.z));
    if (d <= tol) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x << ", " << b.y << ", "
           << b.z << "), distance " << d << " > " << tol;
}

inline Vector unit(const Tuple& v) { return Vector(v.hat()); }

// Deterministic uniform numbers for the tests.
class Rng {
  public:
    explicit Rng(uint32_t seed) : state(seed * 2654435761u + 1u) {}
    float next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return float(state >> 8) * (1.0f / 16777216.0f);
    }
    float range(float lo, float hi) { return lo + (hi - lo) * next(); }
    Vector direction() {
        for (;;) {
            const Vector v(range(-1, 1), range(-1, 1), range(-1, 1));
            const float l = v.length();
            if (l > 0.05f && l <= 1.0f) return Vector(v / l);
        }
    }

  private:
    uint32_t state;
};

}  // namespace shapetest
