// Helpers of the rendering-engine tests: the real plugins loaded from $OVO_HOME/plugins,
// analytic world primitives, a small frame assembled by hand the way Render does it, and the
// images written (also those of tests/api_render).
#pragma once

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/render/bucket.h"
#include "core/render/camera.h"
#include "core/render/film.h"
#include "core/render/filter.h"
#include "core/render/sampler.h"
#include "core/render/scene.h"
#include "tests/common/picture.h"
#include "tests/common/shapes.h"
#include "tests/common/test_util.h"

namespace ovotest {

using namespace ovo;

inline Filter* makeFilter(const std::string& name, float xw, float yw, ParameterSet p = {}) {
    auto entry = pluginSymbol<OvoCreateFilterEntry>(name + ".filter.so", "createFilter");
    return entry ? entry(xw, yw, p) : nullptr;
}

inline Camera* makeCamera(const std::string& name, const MotionTransform& t, Film* film,
                          ParameterSet& p) {
    auto entry = pluginSymbol<OvoCreateCameraEntry>(name + ".camera.so", "createCamera");
    return entry ? entry(t, film, p) : nullptr;
}

inline Sampler* makeSampler(unsigned* res, unsigned* spp, Extent2D& crop, float* fw,
                            ParameterSet& p) {
    auto entry = pluginSymbol<OvoCreateSamplerEntry>("stratified.sampler.so", "createSampler");
    return entry ? entry(res, spp, crop, fw, p) : nullptr;
}

inline BucketOrder* makeOrder(const std::string& name, unsigned* size, unsigned* res,
                              Extent2D& crop) {
    ParameterSet p;
    auto entry =
        pluginSymbol<OvoCreateBucketOrderEntry>(name + ".bucketorder.so", "createBucketOrder");
    return entry ? entry(size, res, crop, p) : nullptr;
}

inline void addFloats(ParameterSet& p, const char* name, std::vector<float> v) {
    p.push_back(name, ParamType(TypeFloat, unsigned(v.size())), v.data(), true);
}
inline void addInt(ParameterSet& p, const char* name, int v) {
    p.push_back(name, ParamType(TypeInt), &v, true);
}
// Float parameters, each a name and its values.
inline ParameterSet floats(std::initializer_list<std::pair<const char*, std::vector<float>>> list) {
    ParameterSet p;
    for (const auto& [name, v] : list) addFloats(p, name, v);
    return p;
}

// The analytic sphere of radius r about c; the store keeps its transforms alive.
inline Reference<Primitive> sphereAt(const Point& c, float r) {
    static ovotest::TransformStore store;
    return store.wrap(new ovotest::TestSphere(r), Translate(c.x, c.y, c.z));
}

// A w x h film over `crop` with the filter plugin `filter` of half-widths xw, yw.
struct TestFilm : Film {
    TestFilm(unsigned w, unsigned h, const char* filter, float xw, float yw,
             Extent2D crop = {0, 1, 0, 1})
        : Film(std::array<unsigned, 2>{w, h}.data(), crop, makeFilter(filter, xw, yw)) {}
};

// A frame put together the way Render does: film with filter, camera plugin, sampler, scene,
// buckets from a bucket-order plugin (none when a bucket side is 1).
struct Frame {
    unsigned res[2] = {64, 48};
    Extent2D crop = {0.0f, 1.0f, 0.0f, 1.0f};
    std::string filter = "gaussian";
    float filterWidth[2] = {2.0f, 2.0f};
    unsigned spp[2] = {2, 2};
    int jitter = 0;
    std::string projection = "perspective";
    ParameterSet cameraParameters = floats({{"fov", {40.0f}}, {"near", {0.5f}}, {"far", {50.0f}}});
    MotionTransform cameraTransform = Transform();
    std::string order = "horizontal";
    unsigned bucketSize[2] = {16, 16};
    Primitive* world = nullptr;

    std::unique_ptr<Film> film;
    std::unique_ptr<Camera> camera;
    std::unique_ptr<Sampler> sampler;
    RaySettings settings;
    NamedSpaces spaces;
    std::unique_ptr<Scene> scene;

    // Builds everything but the scene's buckets and outputs.
    void build() {
        film.reset(
            new Film(res, crop, makeFilter(filter, filterWidth[0] * 0.5f, filterWidth[1] * 0.5f)));
        camera.reset(makeCamera(projection, cameraTransform, film.get(), cameraParameters));
        ParameterSet sp;
        addInt(sp, "jitter", jitter);
        sampler.reset(makeSampler(res, spp, crop, filterWidth, sp));
        scene.reset(new Scene(camera.get(), world, sampler.get(), nullptr, settings, spaces));
        if (bucketSize[0] > 1 && bucketSize[1] > 1) {
            std::unique_ptr<BucketOrder> o(makeOrder(order, bucketSize, res, crop));
            if (o) scene->buildBuckets(*o, filterWidth);
        }
    }
    void render() {
        scene->render();
        scene->closeOutputs();
    }
};

// An image file with all its channels as floats, read past OpenImageIO's image cache (a later
// frame may write the file again); its header in `header` when asked.
inline Picture readImage(const std::string& path, OIIO::ImageSpec* header = nullptr) {
    Picture image;
    auto in = OIIO::ImageInput::open(path);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path << ": " << OIIO::geterror();
        return image;
    }
    const OIIO::ImageSpec& s = in->spec();
    if (header) *header = s;
    image.pixels.resize(size_t(s.width) * s.height * s.nchannels);
    EXPECT_TRUE(in->read_image(0, 0, 0, s.nchannels, OIIO::TypeDesc::FLOAT, image.pixels.data()));
    image.width = s.width, image.height = s.height, image.channels = s.nchannels;
    return image;
}

// A writer that takes rectangles in any order and keeps what it was given, per pixel.
class RecordingOutput : public ImageWriter {
  public:
    explicit RecordingOutput(int channels) : nch(channels) {}
    bool acceptsRegions() const override { return true; }
    bool writeImage(const float*) override { return false; }
    bool close() override {
        closed = true;
        return true;
    }
    bool writeRectangle(int x0, int x1, int y0, int y1, const float* data) override {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const float* v = data + (size_t(y - y0) * size_t(x1 - x0) + size_t(x - x0)) * nch;
                values[{x, y}].assign(v, v + nch);
                ++writes[{x, y}];
            }
        return true;
    }

    const std::vector<float>& at(int x, int y) { return values[{x, y}]; }

    std::map<std::pair<int, int>, std::vector<float>> values;
    std::map<std::pair<int, int>, int> writes;
    bool closed = false;

  private:
    size_t nch;
};

// Attaches a recording writer for `mode` to the film.
inline RecordingOutput* attachRecorder(Film& film, const std::string& mode, float gamma = 1.0f) {
    auto rec = std::make_unique<RecordingOutput>(mode == "rgb" ? 3 : mode == "rgba" ? 4 : 1);
    RecordingOutput* raw = rec.get();
    film.addOutput(std::move(rec), mode, gamma);
    return raw;
}

}  // namespace ovotest
