// bvh: the default accelerator, a bounding-volume hierarchy over a world's or object's primitives
//
// "bvh" is the accelerator of the world and of every object unless the "accelerator" option
// names another.
//
// A binary hierarchy is built with the surface-area heuristic over binned primitive centroids
// (all three axes, up to 32 bins, O(n log n)), making leaves smaller than leafsize where that
// pays, and then collapsed into 256-byte nodes of up to eight children: each node takes the
// binary levels below it, always opening the child with the largest surface, until it holds
// eight; slots still free then split the largest leaves of more than four primitives in two,
// each part with its own bound. Primitives with an empty bound (empty objects, solids that
// cannot exist) are left out; primitives with a non-finite bound are tested by every ray.
//
// A node keeps its children's bounds side by side, four to a group, and the library's four-box
// test (the renderer's ray/box statistics count it), with the ray made ready once, gives for
// each group the children the ray enters and where. Nearest-hit rays descend into the nearest
// child and keep the others on a fixed-size stack with their entry distance, nearest on top,
// so that a child put aside is dropped without another test once a hit lies in front of it.
// Shadow and occlusion rays stop at the first hit.
//
// Leaves start on cache lines. Primitives whose shape is one flat triangle sit in blocks of
// four that keep their world corners, tested four at once; a triangle's own primitive is asked
// only when the ray may cross it. A nearest-hit ray asks those triangles once its walk is over,
// nearest first, and meanwhile culls beyond the farthest place their hits can lie; should the
// one that cut the walk shortest refuse the ray, the walk is made again asking each at once.
// Other primitives keep their bound and are asked when the ray enters it.
//
// Tracing is bound by memory latency as much as by arithmetic: the nodes and leaves live on
// huge pages where the system gives them, the loads of every child a ray enters are started
// together, letting their cache misses overlap, and so are those of a triangle's primitive and
// shape as soon as the ray may hit it. Nothing is allocated while tracing.
//
// Parameters:
//   type    name        default     meaning
//   int     leafsize    8           the largest number of primitives in a leaf, 1 to 64
//
// Example:
//   Option "render" "string accelerator" ["bvh"]
#include <new>
#include <vector>

#include "core/params/error.h"
#include "core/params/parameter.h"
#include "plugins/accelerators/bvh/bvh.h"

namespace {
constexpr int DefaultLeafSize = 8;
}

extern "C" ovo::Aggregate* createAggregate(std::vector<ovo::Reference<ovo::Primitive>>& primitives,
                                           ovo::ParameterSet& parameters) {
    int leafSize = parameters.findInt("leafsize", DefaultLeafSize);
    if (leafSize < 1 || leafSize > ovo::bvh::MaxLeafSize) {
        ovo::ErrorScope::current().Warning("bvh: leafsize %d is outside 1 to %d. Using %d",
                                           leafSize, ovo::bvh::MaxLeafSize, DefaultLeafSize);
        leafSize = DefaultLeafSize;
    }
    try {
        return new ovo::bvh::Bvh(primitives, leafSize);
    } catch (const std::bad_alloc&) {
        ovo::ErrorScope::current().Severe(
            "bvh: out of memory building the hierarchy of %zu primitives. Ignoring ...",
            primitives.size());
        return nullptr;
    }
}
