// Scene: the render-time view of one camera's frame. Render() builds it, cuts the image into
// buckets, runs it on every worker thread and writes the outputs.
#pragma once

#include <OpenImageIO/texture.h>

#include <atomic>
#include <list>
#include <vector>

#include "core/math/ray.h"
#include "core/math/tuple.h"
#include "core/render/bucket.h"
#include "core/render/sample.h"
#include "sys/tasking.h"

namespace ovo {

class Camera;
class Film;
class Hit;
class Primitive;
class Raytracer;
class Sampler;
class BucketOrder;
struct Options;

// Called as buckets complete (with the number done and the total), from the render threads
// under the scene's lock, so it must be quick. Without buckets it counts samples instead, every
// 4096 and once at the end, on the calling thread. Null switches it off. Read when render()
// starts.
typedef void (*RenderProgressCallback)(unsigned done, unsigned total, void* user);
void setRenderProgressCallback(RenderProgressCallback callback, void* user);

class Scene {
  public:
    Scene(Raytracer* raytracer, Camera* camera, Primitive* primitive, Sampler* sampler,
          OIIO::TextureSystem* textureSystem, Options& options);
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Takes every bucket the order gives (the order stays the caller's).
    void buildBuckets(BucketOrder& order, const float* filterWidth);
    void render();
    void closeOutputs();
    bool intersect(const Ray& ray, Hit& hit) const;

    static void doRenderThread(unsigned index, void* scene, unsigned count);

    Raytracer* getRaytracer() const { return raytracer; }
    Primitive* getPrimitive() const { return primitive; }
    Camera* getCamera() const { return camera; }
    Sampler* getSampler() const { return sampler; }
    OIIO::TextureSystem* getTextureSystem() const { return textureSystem; }
    const std::vector<Bucket*>& getBuckets() const { return buckets; }

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
    // Traces and shades one camera sample: the colour, and the screen depth of the hit
    // (1e30 on a miss).
    float shadeSample(const Sample& sample, Color& colour) const;
    // Weights and writes the pending buckets that are ready, front first. Under pendingMutex.
    void writeReadyBuckets();

    Raytracer* raytracer;
    Primitive* primitive;
    Camera* camera;
    Sampler* sampler;
    std::vector<Bucket*> buckets;
    OIIO::TextureSystem* textureSystem;
    std::list<Bucket*> pending;
    sys::ActiveMutex pendingMutex;
    std::atomic<unsigned> nextBucketIndex;
    unsigned completedBuckets = 0;
    Film* film = nullptr;
    RenderProgressCallback progress = nullptr;  // copied when render() starts
    void* progressData = nullptr;
    std::vector<float> scratch;  // gamma copies of written regions; used under pendingMutex
};

}  // namespace ovo
