#include "core/render/scene.h"

#include <OpenImageIO/strutil.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>

#include "core/geometry/primitive.h"
#include "core/math/constants.h"
#include "core/math/random.h"
#include "core/params/error.h"
#include "core/render/camera.h"
#include "core/render/film.h"
#include "core/render/output.h"
#include "core/render/sampler.h"
#include "core/shading/bake.h"
#include "core/shading/blocks.h"
#include "core/shading/sl/trace.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define OVO_HAVE_MXCSR 1
#endif

namespace ovo {

namespace {

// Streaming reports progress every this many samples.
const unsigned StreamingProgressStep = 4096;

// Flush-to-zero and denormals-are-zero for the lifetime of one render task. Pool threads run
// other work too, so the previous control word comes back afterwards.
class FlushDenormals {
  public:
#ifdef OVO_HAVE_MXCSR
    FlushDenormals() : saved(_mm_getcsr()) { _mm_setcsr(saved | 0x8040); }
    ~FlushDenormals() { _mm_setcsr(saved); }

  private:
    unsigned saved;
#endif
};

// Whether the pixels a sampling rectangle (x1, y1 exclusive) can reach through a filter of
// half-widths hx, hy meet an inclusive pixel rectangle.
bool reaches(const RasterExtent& s, float hx, float hy, const RasterExtent& r) {
    if (s.x0 >= s.x1 || s.y0 >= s.y1) return false;
    return std::ceil(s.x0 - 0.5f - hx) <= float(r.x1) &&
           std::floor(s.x1 - 0.5f + hx) >= float(r.x0) &&
           std::ceil(s.y0 - 0.5f - hy) <= float(r.y1) &&
           std::floor(s.y1 - 0.5f + hy) >= float(r.y0);
}

// Notices the first sample of each pixel (samplers visit a pixel's samples together).
class PixelStart {
  public:
    bool starts(const Sample& s) {
        const float x = std::floor(s.imageX), y = std::floor(s.imageY);
        if (x == lastX && y == lastY) return false;
        lastX = x;
        lastY = y;
        return true;
    }

  private:
    float lastX = std::numeric_limits<float>::quiet_NaN(), lastY = lastX;
};

}  // namespace

Scene::Scene(Camera* cam, Primitive* prim, Sampler* smp, image::LazyTextureSystem* ts,
             const RaySettings& settings, NamedSpaces spaces, GeometrySets sets)
    : primitive(prim),
      opaqueShadows(prim && prim->stopsShadowRays()),
      camera(cam),
      sampler(smp),
      textures(ts),
      pendingMutex(0),
      nextBucketIndex(0),
      namedSpaces(std::move(spaces)),
      geometrySets(std::move(sets)) {
    const Aabb world = primitive ? primitive->worldExtent() : Aabb();
    const unsigned threads = sys::TaskScheduler::getInstance()->getNumThreads();
    occlusionCache.reset(new GICache<float>(world, threads));
    irradianceCache.reset(new GICache<Color>(world, threads));
    bakes.reset(new BakeStore(threads));
    for (auto& set : geometrySets) set.second.finalize();
    minPixelDistance = settings.occlusionCacheSettings[2];
    maxPixelDistance = settings.occlusionCacheSettings[1];
    cosMaxAngle = std::cos(radians(10.0f));
    maxDiffuseDepth = settings.maxDiffuseDepth;
    maxRayDepth = settings.maxRayDepth;
    maxDepthColor = settings.maxDepthColor;
    specularModel = settings.specularModel;
    film = camera ? camera->getFilm() : nullptr;
    if (camera) eyePosition = camera->getCameraToWorld().m * Point(0.0f, 0.0f, 0.0f);
    if (film) {
        resolution[0] = std::max(1u, film->xResolution());
        resolution[1] = std::max(1u, film->yResolution());
    }
}

Scene::~Scene() {
    if (opener.joinable()) opener.join();
    for (Bucket* b : buckets) delete b;
}

bool Scene::interpolateOcclusion(const Tuple& P, const Tuple& N, float footprint, float maxerror,
                                 int minimum, float& result, Tuple* direction) const {
    Vector mean;
    if (!occlusionCache->interpolate(Point(P), Normal(N), footprint, maxerror, minimum,
                                     weightThreshold, cosMaxAngle, result, &mean))
        return false;
    if (direction) *direction = mean;
    return true;
}

bool Scene::interpolateIrradiance(const Tuple& P, const Tuple& N, float footprint, float maxerror,
                                  int minimum, Color& result, Tuple* direction) const {
    Vector mean;
    if (!irradianceCache->interpolate(Point(P), Normal(N), footprint, maxerror, minimum,
                                      weightThreshold, cosMaxAngle, result, &mean))
        return false;
    if (direction) *direction = mean;
    return true;
}

namespace {

template <class T>
std::string describe(const char* name, const GICache<T>& cache) {
    const typename GICache<T>::Statistics s = cache.statistics();
    const double lookups = double(std::max<uint64_t>(1, s.lookups));
    return OIIO::Strutil::sprintf(
        "%s cache: %llu lookups, %llu reused (%.1f%%), %llu interpolated (%.1f%%), %llu "
        "records",
        name, (unsigned long long)s.lookups, (unsigned long long)s.reused,
        100.0 * double(s.reused) / lookups, (unsigned long long)s.interpolated,
        100.0 * double(s.interpolated) / lookups, (unsigned long long)s.records);
}

}  // namespace

std::string Scene::cacheStatistics() const {
    return describe("Occlusion", *occlusionCache) + "\n" + describe("Irradiance", *irradianceCache);
}

bool Scene::intersect(const Ray& ray, Hit& hit) const {
    return primitive && primitive->intersect(ray, hit);
}

bool Scene::intersect(const Ray& ray) const { return primitive && primitive->intersect(ray); }

bool Scene::occluded(const Ray& ray, const Primitive*& blocker) const {
    return primitive && primitive->occluded(ray, blocker);
}

void Scene::buildBuckets(BucketOrder& order, const float* filterWidth) {
    for (Bucket* b : buckets) delete b;
    buckets.clear();
    pending.clear();

    unsigned nx, ny;
    order.getNumBuckets(nx, ny);
    if (nx == 0 || ny == 0) return;
    float width[2] = {filterWidth[0], filterWidth[1]};
    const size_t stride = size_t(nx) + 2;
    // A null border around the image: edge buckets see no neighbour there.
    std::vector<Bucket*> grid(stride * (size_t(ny) + 2), nullptr);
    auto cell = [&](unsigned i, unsigned j) -> Bucket*& { return grid[size_t(j) * stride + i]; };

    buckets.reserve(size_t(nx) * ny);
    for (size_t k = 0; k < size_t(nx) * ny; ++k) {
        Bucket* b = order.nextBucket();
        if (!b) break;
        unsigned i, j;
        b->getCoordinates(i, j);
        // A cell outside the grid or handed out twice would break the neighbour bookkeeping.
        if (i >= nx || j >= ny || cell(i + 1, j + 1)) {
            delete b;
            continue;
        }
        // Filled as the buckets arrive, so only earlier buckets are neighbours.
        b->computeSamplingBoundaries(width, cell(i, j + 1), cell(i + 2, j + 1), cell(i + 1, j + 2),
                                     cell(i + 1, j));
        cell(i + 1, j + 1) = b;
        buckets.push_back(b);
    }

    // Contributors: every other bucket whose samples reach a bucket's pixels. A bucket's
    // samples reach at most its sampling margin plus the filter, under 2 * h + 3 pixels, past
    // its own pixels, so only buckets within that many bucket sizes need testing.
    const float hx = width[0] * 0.5f, hy = width[1] * 0.5f;
    int sizeX = 1, sizeY = 1;
    for (const Bucket* b : buckets) {
        sizeX = std::max(sizeX, b->getRasterBoundaries().x1 - b->getRasterBoundaries().x0 + 1);
        sizeY = std::max(sizeY, b->getRasterBoundaries().y1 - b->getRasterBoundaries().y0 + 1);
    }
    const float reachX = std::ceil((2.0f * hx + 3.0f) / float(sizeX));
    const float reachY = std::ceil((2.0f * hy + 3.0f) / float(sizeY));
    const int rx = reachX < float(nx) ? int(reachX) : int(nx);  // NaN reaches everything
    const int ry = reachY < float(ny) ? int(reachY) : int(ny);
    std::vector<Bucket*> contributors;
    for (Bucket* b : buckets) {
        unsigned i, j;
        b->getCoordinates(i, j);
        contributors.clear();
        for (int dj = -ry; dj <= ry; ++dj) {
            for (int di = -rx; di <= rx; ++di) {
                const long ci = long(i) + di, cj = long(j) + dj;
                if ((di == 0 && dj == 0) || ci < 0 || cj < 0 || ci >= long(nx) || cj >= long(ny))
                    continue;
                Bucket* other = cell(unsigned(ci) + 1, unsigned(cj) + 1);
                if (other &&
                    reaches(other->getSamplingBoundaries(), hx, hy, b->getRasterBoundaries()))
                    contributors.push_back(other);
            }
        }
        b->setContributors(contributors);
    }
}

void Scene::openOutputs(const std::vector<OutputRecord>& records,
                        const std::string& pluginSearchPath, const std::string& camera) {
    if (opener.joinable()) opener.join();
    outputs = records;
    outputsPluginPath = pluginSearchPath;
    outputsCamera = camera;
    outputsOpen = false;
    keptRegions.clear();
    if (outputs.empty() || image::loaded()) {
        openOutputsNow();
        return;
    }
    // The render threads start it (startOpener) and go on meanwhile; they keep what they
    // finish until the images open.
    openerWanted = true;
}

void Scene::startOpener() {
    if (!openerWanted) return;
    openerWanted = false;
    opener = std::thread([this] {
        image::bridge();
        std::lock_guard<sys::ActiveMutex> lock(pendingMutex);
        openOutputsNow();
    });
}

void Scene::openOutputsNow() {
    if (outputsOpen) return;
    outputsOpen = true;
    bool libraryReported = false;
    for (const OutputRecord& record : outputs) {
        image::OpenFailure failure = image::OpenFailure::NoWriter;
        if (film && openOutput(*film, record, outputsPluginPath, &failure)) continue;
        // A format without a writer is skipped silently; a file that cannot be written is
        // worth a word, and a missing image library one more.
        if (failure == image::OpenFailure::NoWriter || !errorManager) continue;
        std::lock_guard<std::mutex> lock(reportMutex);
        if (failure == image::OpenFailure::NoLibrary && !libraryReported) {
            errorManager->Error("%s", image::loadError().c_str());
            libraryReported = true;
        }
        errorManager->Error("Render(\"%s\"): cannot write \"%s\". Skipping ...",
                            outputsCamera.c_str(), record.name.c_str());
    }
    if (film)
        for (const RasterExtent& region : keptRegions) writeRegion(*film, region, scratch);
    keptRegions.clear();
}

void Scene::finishOpening() {
    openerWanted = false;
    if (opener.joinable()) opener.join();
    std::lock_guard<sys::ActiveMutex> lock(pendingMutex);
    openOutputsNow();
}

void Scene::writeOrKeep(const RasterExtent& region) {
    if (outputsOpen)
        writeRegion(*film, region, scratch);
    else
        keptRegions.push_back(region);
}

void Scene::render() {
    if (!camera || !sampler || !film) return;

    if (buckets.empty()) {
        renderStreaming();
        return;
    }
    for (Bucket* b : buckets) b->completed(false);
    pending.clear();
    completedBuckets = 0;
    nextBucketIndex = 0;
    sys::TaskScheduler* scheduler = sys::TaskScheduler::getInstance();
    renderThreads = scheduler->getNumThreads();
    preparedThreads = 0;
    scheduler->addTask(doRenderThread, this, renderThreads, nullptr, nullptr);
    scheduler->go();
    if (stopping()) writeStoppedBuckets();
}

// After a stop, buckets that finished may still wait for a neighbour that never will: they
// are written now. Buckets never begun are only weighted, so that outputs written whole keep
// the samples finished neighbours spread into them.
void Scene::writeStoppedBuckets() {
    std::lock_guard<sys::ActiveMutex> lock(pendingMutex);
    for (const Bucket* b : pending) {
        film->weightPixels(b->getRasterBoundaries());
        film->imagePixels(b->getRasterBoundaries());
        writeOrKeep(b->getRasterBoundaries());
    }
    pending.clear();
    for (const Bucket* b : buckets)
        if (!b->completed()) {
            film->weightPixels(b->getRasterBoundaries());
            film->imagePixels(b->getRasterBoundaries());
        }
}

void Scene::doRenderThread(unsigned index, void* scene, unsigned) {
    sys::setThreadID(index);
    static_cast<Scene*>(scene)->renderThread();
}

float Scene::shadeSample(const Sample& sample, Color& colour, float& coverage) const {
    RayDifferential ray;
    ray.type = RayDifferential::Camera;
    // The weight is not used: a camera reports 0 also when only the differentials failed.
    camera->generateRayDifferential(sample, ray);
    return shadeRay(ray, colour, coverage);
}

float Scene::shadeRay(RayDifferential& ray, Color& colour, float& coverage) const {
    Color opacity;
    const bool hit = SL::traceRay(*this, ray, colour, opacity);
    coverage = std::min(1.0f, std::max(0.0f, (opacity.r + opacity.g + opacity.b) / 3.0f));
    if (!hit) return 1e30f;
    return camera->screenDepth(ray(ray.maxt));
}

// Threads meet where two buckets share a border band: the earlier bucket samples the whole
// band, so its samples reach the later bucket's pixels, and diagonal buckets reach each
// other's corners. No contribution may be lost and none may arrive after a pixel was weighted.
// Each thread therefore accumulates a bucket's samples into a private tile covering the
// bucket's sampling rectangle plus the filter reach (the lookup of Film::addSample, clamped to
// the film window) and merges the tile into the film under pendingMutex when the bucket
// completes, before marking it completed. A bucket's pixels are weighted and written only
// once it and every bucket whose samples reach them (its contributors, found when the grid is
// built) are complete; all film access during a bucket render happens under that same lock.
void Scene::renderThread() {
    // Thread-local state with a destructor registers it with the C library on first use, under
    // the dynamic loader's lock: made before the image library starts loading, it never waits
    // for the load. The last thread ready starts it.
    detail::countAabb(0, 0);
    Hit::prepareThread();
    if (preparedThreads.fetch_add(1) + 1 == renderThreads) startOpener();
    FlushDenormals flush;
    BlockReuse blocks;  // outlives the hit records, which give their blocks back
    SL::HitReuse reuse;
    std::unique_ptr<Sampler> local(sampler->clone());
    if (!local) return;
    // Camera rays are made a batch at a time, before any of them is traced: the square roots
    // and divisions of one overlap those of the next, where each ray's would stall the walk
    // that waits for it. Samples are still shaded one after another, in the sampler's order,
    // and with the random numbers they would have drawn one at a time: a sampler seeds the
    // thread's generator as it starts a pixel, so the state it left is put back where that
    // pixel's shading starts, and between pixels the shading's own state carries on.
    constexpr int Batch = 16;
    Sample samples[Batch];
    uint32_t seeds[Batch];
    RayDifferential rays[Batch];
    FilmReach reach[Batch];
    uint32_t& state = randomState();
    FilmTile tile;
    // Every sample counts fully in the film's alpha, as it always has, unless an imager is
    // set: it needs to know what is covered.
    const bool coverage = film->hasImager();
    for (unsigned i = nextBucketIndex.fetch_add(1); i < buckets.size() && !stopping();
         i = nextBucketIndex.fetch_add(1)) {
        Bucket* b = buckets[i];
        tile.reset(*film, b->getSamplingBoundaries());
        local->setSamplingBoundaries(b->getSamplingBoundaries());
        PixelStart pixel;
        for (;;) {
            const uint32_t carried = state;
            int n = 0;
            for (; n < Batch && local->getNextSample(samples[n]); ++n) seeds[n] = state;
            if (n == 0) break;
            state = carried;
            // The weights are not used: a camera reports 0 also when only the differentials
            // failed.
            camera->generateRayDifferentials(samples, rays, n);
            // Where each sample lands in the tile, side by side while nothing waits on it.
            for (int k = 0; k < n; ++k) tile.reach(samples[k].imageX, samples[k].imageY, reach[k]);
            for (int k = 0; k < n; ++k) {
                const Sample& sample = samples[k];
                if (pixel.starts(sample)) {
                    forgetLastResults();
                    state = seeds[k];
                }
                Color colour;
                float covered;
                const float depth = shadeRay(rays[k], colour, covered);
                tile.addSample(reach[k], Point(sample.imageX, sample.imageY, depth), colour,
                               coverage ? covered : 1.0f);
            }
        }

        std::lock_guard<sys::ActiveMutex> lock(pendingMutex);
        film->merge(tile);
        b->completed(true);
        pending.push_back(b);
        ++completedBuckets;
        writeReadyBuckets();
        if (progress) progress(completedBuckets, unsigned(buckets.size()), progressData);
    }
}

void Scene::writeReadyBuckets() {
    // A bucket that is not ready holds back those behind it, so buckets leave in the order
    // they completed; once the last one completes, every bucket is ready.
    while (!pending.empty() && pending.front()->neighboursCompleted()) {
        const Bucket* b = pending.front();
        film->weightPixels(b->getRasterBoundaries());
        film->imagePixels(b->getRasterBoundaries());
        writeOrKeep(b->getRasterBoundaries());
        pending.pop_front();
    }
}

void Scene::forgetLastResults() const {
    occlusionCache->forgetLast();
    irradianceCache->forgetLast();
}

void Scene::renderStreaming() {
    FlushDenormals flush;
    BlockReuse blocks;  // outlives the hit records, which give their blocks back
    SL::HitReuse reuse;
    // Samples are written as they come, so the images must be open first.
    finishOpening();
    bool writesRegions = false;
    for (const auto& out : film->getOutputs())
        writesRegions = writesRegions || out->acceptsRegions();
    // An imager sees finished pixels only: the regions are then written once, at the end.
    const bool coverage = film->hasImager();
    const bool progressive = writesRegions && !coverage;

    sampler->reset();
    const unsigned total = unsigned(std::max(0, sampler->totalSamples()));
    unsigned done = 0;
    Sample sample;
    RasterExtent touched;
    PixelStart pixel;
    while (!stopping() && sampler->getNextSample(sample)) {
        if (pixel.starts(sample)) forgetLastResults();
        Color colour;
        float covered;
        const float depth = shadeSample(sample, colour, covered);
        film->addSample(Point(sample.imageX, sample.imageY, depth), colour,
                        coverage ? covered : 1.0f);
        if (progressive && film->footprint(sample.imageX, sample.imageY, touched))
            writeRegionNormalising(*film, touched, scratch);
        ++done;
        if (progress && done % StreamingProgressStep == 0) progress(done, total, progressData);
    }
    film->weightPixels();
    if (coverage) {
        const RasterExtent all = {film->x0(), film->x0() + film->width() - 1, film->y0(),
                                  film->y0() + film->height() - 1};
        film->imagePixels(all);
        if (writesRegions) writeRegion(*film, all, scratch);
    }
    if (progress) progress(done, total, progressData);
}

void Scene::reportTextureFailure(OIIO::ustring name, const std::string& why) const {
    if (!errorManager) return;
    // The lock also keeps two threads from reporting at once.
    std::lock_guard<std::mutex> lock(reportMutex);
    if (!failedTextures.insert(name).second) return;
    errorManager->Error("Cannot read the texture \"%s\": %s", name.c_str(),
                        why.empty() ? "unknown error" : why.c_str());
}

void Scene::closeOutputs() {
    finishOpening();
    if (film) writeAndCloseOutputs(*film);
    for (const BakeStore::Failure& f : bakes->write())
        if (errorManager)
            errorManager->Error("Cannot write the bake file \"%s\": %s", f.file.c_str(),
                                f.why.c_str());
}

}  // namespace ovo
