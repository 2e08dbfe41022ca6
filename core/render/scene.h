// Scene: the render-time view of one camera's frame. Render() builds it, cuts the image into
// buckets, runs it on every worker thread and writes the outputs.
#pragma once

#include <OpenImageIO/ustring.h>

#include <atomic>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/geometry/geometry_set.h"
#include "core/image/library.h"
#include "core/math/ray.h"
#include "core/math/transform.h"
#include "core/math/tuple.h"
#include "core/render/bucket.h"
#include "core/render/output.h"
#include "core/render/ray_settings.h"
#include "core/render/sample.h"
#include "core/shading/gicache.h"
#include "sys/tasking.h"

namespace ovo {

class BakeStore;
class Camera;
class Film;
class Hit;
class Primitive;
class Raytracer;
class ErrorManager;
class Sampler;
class BucketOrder;
struct Options;

// Called as buckets complete (with the number done and the total), from the render threads
// under the scene's lock, so it must be quick. Without buckets it counts samples instead, every
// 4096 and once at the end, on the calling thread.
typedef void (*RenderProgressCallback)(unsigned done, unsigned total, void* user);

// Named coordinate systems by name ("camera", "screen", the scene's own), each mapping that
// space to world space.
typedef std::map<OIIO::ustring, Transform> NamedSpaces;

// Geometry sets by name: the primitives made under each "geometryset" name.
typedef std::map<OIIO::ustring, GeometrySet> GeometrySets;

class Scene {
  public:
    // Made by Render. Defined by the scene interface (core/api), which freezes what render
    // time needs of the options and of the renderer's named spaces into the constructor below:
    // the render loop and the shading code never read the scene interface.
    Scene(Raytracer* raytracer, Camera* camera, Primitive* primitive, Sampler* sampler,
          image::LazyTextureSystem* textures, Options& options);
    // The camera's film is the frame's film; everything the scene reads is copied now. The
    // caches are made for the primitive's world bound and the worker threads of the pool.
    Scene(Camera* camera, Primitive* primitive, Sampler* sampler,
          image::LazyTextureSystem* textures, const RaySettings& settings, NamedSpaces spaces,
          GeometrySets sets = GeometrySets());
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Takes every bucket the order gives (the order stays the caller's).
    void buildBuckets(BucketOrder& order, const float* filterWidth);
    // Keeps a copy of each record and opens its image on the film: at once when the image
    // library is loaded, else on a thread of its own that loads it while the frame renders
    // (regions finished before then are written once the images are open). An image that
    // cannot be opened is reported as camera `camera`'s, unless its format has no writer or
    // its mode is none of the four: those are skipped silently.
    void openOutputs(const std::vector<OutputRecord>& records, const std::string& pluginSearchPath,
                     const std::string& camera);
    // Null switches progress reports off.
    void setProgressCallback(RenderProgressCallback callback, void* user) {
        progress = callback;
        progressData = user;
    }
    // Render stops taking buckets (or samples, when streaming) once `*flag` is true: buckets
    // already begun finish and are written, the rest keep what finished ones gave them.
    // Null (the default) renders everything.
    void setStopFlag(const std::atomic<bool>* flag) { stopFlag = flag; }
    void render();
    // The frame ends: the outputs are written whole where they are not yet, and the files
    // that shaders baked into are written (a file that cannot be written is reported).
    void closeOutputs();
    bool intersect(const Ray& ray, Hit& hit) const;
    // Whether the ray meets anything at all, before any visibility or set filter: a superset
    // of what the nearest-hit query can find, and cheaper to learn.
    bool intersect(const Ray& ray) const;
    // intersect(ray), giving `blocker` a primitive the ray hits when the accelerator can say
    // (see Primitive::occluded).
    bool occluded(const Ray& ray, const Primitive*& blocker) const;
    // Whether every primitive stops shadow rays whole (see Primitive::stopsShadowRays): then a
    // shadow ray that meets anything at all is blocked.
    bool shadowsOpaque() const { return opaqueShadows; }

    static void doRenderThread(unsigned index, void* scene, unsigned count);

    Primitive* getPrimitive() const { return primitive; }
    Camera* getCamera() const { return camera; }
    // Where the camera sits in world space (its first time sample); the origin without one.
    const Point& getEye() const { return eyePosition; }
    Sampler* getSampler() const { return sampler; }
    // Made on first use: it may wait for the image library to load.
    OIIO::TextureSystem* getTextureSystem() const { return textures ? textures->get() : nullptr; }
    // Where render-time problems are reported (null: nowhere).
    void setErrorManager(ErrorManager* errors) { errorManager = errors; }
    // A texture that cannot be read: reported once per frame and name, from any thread. Only
    // failed lookups come here, so the lock stays off the path of working ones.
    void reportTextureFailure(OIIO::ustring name, const std::string& why) const;
    const std::vector<Bucket*>& getBuckets() const { return buckets; }
    const std::vector<OutputRecord>& getOutputs() const { return outputs; }
    // The named coordinate system `name` (its space to world), or null when there is none.
    const Transform* findNamedSpace(OIIO::ustring name) const {
        const auto found = namedSpaces.find(name);
        return found == namedSpaces.end() ? nullptr : &found->second;
    }
    // The geometry set `name`, or null when there is none.
    const GeometrySet* findGeometrySet(OIIO::ustring name) const {
        const auto found = geometrySets.find(name);
        return found == geometrySets.end() ? nullptr : &found->second;
    }
    // Occlusion and irradiance from the caches (see GICache::interpolate), with the scene's
    // weight threshold and normal tolerance.
    bool interpolateOcclusion(const Tuple& P, const Tuple& N, float footprint, float maxerror,
                              int minimum, float& result, Tuple* direction) const;
    bool interpolateIrradiance(const Tuple& P, const Tuple& N, float footprint, float maxerror,
                               int minimum, Color& result, Tuple* direction) const;
    // The caches themselves, where the shading library inserts its gatherings.
    GICache<float>& getOcclusionCache() const { return *occlusionCache; }
    GICache<Color>& getIrradianceCache() const { return *irradianceCache; }
    // The samples shaders bake this frame; closeOutputs writes their files.
    BakeStore& getBakeStore() const { return *bakes; }
    // What the caches did, for the statistics report.
    std::string cacheStatistics() const;
    // The film's full resolution, at least 1 by 1.
    unsigned xResolution() const { return resolution[0]; }
    unsigned yResolution() const { return resolution[1]; }

    // The options' pixel aspect ratio, for shaders that ask for the "Format".
    float pixelAspect = 1.0f;
    // Ray-tracing and global-illumination settings copied from the options.
    float weightThreshold = 0.5f;
    float minPixelDistance;  // occlusion settings of the options, third then second value
    float maxPixelDistance;
    float cosMaxAngle;  // cos(10 degrees)
    int maxDiffuseDepth;
    int maxRayDepth;
    Color maxDepthColor;
    int specularModel;

  private:
    void renderThread();
    void renderStreaming();
    // A pixel starts: the gathering caches' per-thread last results belong to the previous one.
    void forgetLastResults() const;
    // Traces and shades one camera sample: the colour, how much of it is covered (the mean
    // opacity, 0 on a miss), and the screen depth of the hit (1e30 on a miss).
    float shadeSample(const Sample& sample, Color& colour, float& coverage) const;
    // shadeSample for a camera ray already made: the ray's end moves to its first hit.
    float shadeRay(RayDifferential& ray, Color& colour, float& coverage) const;
    // Weights and writes the pending buckets that are ready, front first. Under pendingMutex.
    void writeReadyBuckets();
    // Writes a finished region, or keeps it until the images open. Under pendingMutex.
    void writeOrKeep(const RasterExtent& region);
    // Opens the images and writes the regions kept meanwhile. Under pendingMutex, or before
    // the render threads start.
    void openOutputsNow();
    // Waits for the thread opening the images, and opens them if it has not.
    void finishOpening();
    // Starts the thread that loads the image library and opens the images.
    void startOpener();

    Primitive* primitive;
    bool opaqueShadows;
    Camera* camera;
    Point eyePosition = Point(0.0f);
    Sampler* sampler;
    std::vector<Bucket*> buckets;
    image::LazyTextureSystem* textures;
    std::list<Bucket*> pending;
    sys::ActiveMutex pendingMutex;
    std::atomic<unsigned> nextBucketIndex;
    unsigned completedBuckets = 0;
    Film* film = nullptr;
    NamedSpaces namedSpaces;
    unsigned resolution[2] = {1, 1};
    std::vector<OutputRecord> outputs;
    std::string outputsPluginPath, outputsCamera;
    bool outputsOpen = true;
    bool openerWanted = false;  // the images wait for the image library to load
    // Render threads that have made their thread-local state; the last one starts the opener.
    std::atomic<unsigned> preparedThreads{0};
    unsigned renderThreads = 0;
    std::vector<RasterExtent> keptRegions;  // finished before the images opened
    std::thread opener;
    RenderProgressCallback progress = nullptr;
    void* progressData = nullptr;
    const std::atomic<bool>* stopFlag = nullptr;
    ErrorManager* errorManager = nullptr;
    mutable std::mutex reportMutex;  // render threads report one at a time
    mutable std::set<OIIO::ustring> failedTextures;
    bool stopping() const { return stopFlag && stopFlag->load(std::memory_order_relaxed); }
    void writeStoppedBuckets();
    std::vector<float> scratch;  // gamma copies of written regions; used under pendingMutex
    GeometrySets geometrySets;
    std::unique_ptr<GICache<float>> occlusionCache;
    std::unique_ptr<GICache<Color>> irradianceCache;
    std::unique_ptr<BakeStore> bakes;
};

}  // namespace ovo
