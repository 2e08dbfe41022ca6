// The render loop end to end on 64x48 frames: coverage and depth against analytic answers,
// streaming against buckets, one thread against two, and what the outputs get.
#include <memory>

#include "core/render/output.h"
#include "sys/tasking.h"
#include "tests/render/render_test_util.h"

using namespace ovotest;

namespace {

// The film every frame's weights must match: all samples of the whole sampled area (stratum
// centres) added straight to a film of the same filter, however buckets cut that area.
std::unique_ptr<Film> reference(const Frame& f) {
    auto film =
        std::make_unique<TestFilm>(f.res[0], f.res[1], f.filter.c_str(), f.filterWidth[0] * 0.5f,
                                   f.filterWidth[1] * 0.5f, f.crop);
    const RasterExtent& e = f.sampler->getSamplingBoundaries();
    for (int sy = e.y0; sy < e.y1; ++sy)
        for (unsigned j = 0; j < f.spp[1]; ++j)
            for (int sx = e.x0; sx < e.x1; ++sx)
                for (unsigned i = 0; i < f.spp[0]; ++i)
                    film->addSample(
                        Point(sx + (i + 0.5f) / f.spp[0], sy + (j + 0.5f) / f.spp[1], 1.0f),
                        Color(0.0f), 1.0f);
    return film;
}

using ProgressLog = std::vector<std::pair<unsigned, unsigned>>;

}  // namespace

// However the image is cut and however many threads render it, every pixel ends with every
// sample that reaches it exactly once, weighted once: the weights match those of every sample
// added to one film, alpha (1 per sample) normalises to exactly 1, and depths match streaming.
TEST(Scene, StreamingBucketsAndThreadsAgree) {
    const Reference<Primitive> sphere = sphereAt(Point(0.3f, -0.2f, 4.0f), 1.0f);
    struct Config {
        unsigned bucket;
        float filterWidth;
        const char* order;
        int threads;
        const char* filter;
    };
    const Config configs[] = {
        {1, 2.0f, "horizontal", 1, "gaussian"},  // streaming on the calling thread
        {16, 2.0f, "horizontal", 1, "gaussian"}, {16, 2.0f, "spiral", 2, "gaussian"},
        {8, 2.0f, "vertical", 2, "gaussian"},    {1, 4.0f, "horizontal", 1, "box"},
        {4, 4.0f, "spiral", 2, "box"},           {4, 4.0f, "horizontal", 2, "box"},
    };
    std::vector<float> streamedZ[2];
    for (const Config& c : configs) {
        SCOPED_TRACE(std::string(c.order) + " bucket " + std::to_string(c.bucket) + " threads " +
                     std::to_string(c.threads) + " width " + std::to_string(c.filterWidth));
        sys::TaskScheduler::init(c.threads);
        ASSERT_EQ(sys::TaskScheduler::getInstance()->getNumThreads(), unsigned(c.threads));
        Frame f;
        f.world = sphere.get();
        f.bucketSize[0] = f.bucketSize[1] = c.bucket;
        f.filterWidth[0] = f.filterWidth[1] = c.filterWidth;
        f.order = c.order;
        f.filter = c.filter;
        f.build();
        EXPECT_EQ(f.scene->getBuckets().empty(), c.bucket == 1);
        f.render();

        const std::unique_ptr<Film> expected = reference(f);
        std::vector<float>& streamed = streamedZ[c.filterWidth > 2.0f];
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x) {
                const FilmPixel& p = f.film->pixel(x, y);
                const double w = expected->pixel(x, y).weight;
                ASSERT_NEAR(p.weight, w, 1e-5 * w) << x << "," << y;
                ASSERT_NEAR(p.a, 1.0f, 1e-5f) << x << "," << y;
                if (c.bucket == 1)
                    streamed.push_back(p.z);
                else
                    ASSERT_EQ(p.z, streamed[size_t(y) * 64 + x]) << x << "," << y;
            }
        }
    }
    sys::TaskScheduler::init(-1);
}

TEST(Scene, RegionWritersGetEachFinishedPixelOnceAndProgressIsReported) {
    const Reference<Primitive> sphere = sphereAt(Point(0.0f, 0.0f, 5.0f), 1.0f);
    for (unsigned bucket : {8u, 1u}) {
        SCOPED_TRACE(bucket == 1 ? "streaming" : "buckets");
        sys::TaskScheduler::init(2);
        Frame f;
        f.world = sphere.get();
        f.bucketSize[0] = f.bucketSize[1] = bucket;
        f.build();
        RecordingOutput* rgba = attachRecorder(*f.film, "rgba");
        RecordingOutput* depth = attachRecorder(*f.film, "z");
        ProgressLog log;
        f.scene->setProgressCallback(
            [](unsigned done, unsigned total, void* log) {
                static_cast<ProgressLog*>(log)->push_back({done, total});
            },
            &log);
        f.render();

        ASSERT_EQ(rgba->values.size(), size_t(64 * 48));
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x) {
                const FilmPixel& p = f.film->pixel(x, y);
                ASSERT_TRUE(bucket == 1 || rgba->writes[std::make_pair(x, y)] == 1)
                    << x << "," << y;
                EXPECT_EQ(rgba->at(x, y),
                          (std::vector<float>{float(p.r), float(p.g), float(p.b), float(p.a)}));
                EXPECT_EQ(depth->at(x, y), std::vector<float>{float(p.depth())});
            }
        }
        EXPECT_TRUE(rgba->closed);

        ASSERT_FALSE(log.empty());
        const unsigned total = bucket > 1 ? 48u : unsigned(f.sampler->totalSamples());
        EXPECT_EQ(log.back(), std::make_pair(total, total));
        EXPECT_TRUE(bucket == 1 || log.size() == total) << log.size();
        for (size_t k = 1; k < log.size(); ++k) EXPECT_LT(log[k - 1].first, log[k].first);
    }
    sys::TaskScheduler::init(-1);
}

// The images open while the frame renders, once the image library is loaded (this test is the
// first to need it in its process when run alone): buckets finished before then are written
// when they open, and an image that cannot be opened is reported once.
TEST(Scene, BucketsFinishedBeforeTheImagesOpenAreWrittenOnce) {
    static RecordingOutput* recorder = nullptr;
    declareImageFormat("recording", [](const std::string& file, const ImageLayout& layout) {
        if (file != "recorded") return static_cast<ImageWriter*>(nullptr);
        return static_cast<ImageWriter*>(recorder =
                                             new RecordingOutput(int(layout.channels.size())));
    });
    const Reference<Primitive> sphere = sphereAt(Point(0.0f, 0.0f, 5.0f), 1.0f);
    Frame f;
    f.world = sphere.get();
    f.build();
    CapturingManager errors;
    f.scene->setErrorManager(errors.manager);
    OutputRecord kept, refused;
    kept.name = "recorded", refused.name = "refused";
    kept.type = refused.type = "recording";
    kept.mode = refused.mode = "rgba";
    f.scene->openOutputs({kept, refused}, "", "main");
    f.render();
    declareImageFormat("recording", nullptr);

    ASSERT_TRUE(recorder);
    ASSERT_EQ(recorder->writes.size(), size_t(64 * 48));
    for (const auto& w : recorder->writes) ASSERT_EQ(w.second, 1);
    EXPECT_EQ(recorder->at(32, 24)[3], 1.0f);
    EXPECT_TRUE(recorder->closed);
    ASSERT_EQ(errors.handler.reports.size(), 1u);
    EXPECT_EQ(errors.handler.reports[0].text,
              "Render(\"main\"): cannot write \"refused\". Skipping ...");
}
