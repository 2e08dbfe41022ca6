// The memory layout of the "bvh" accelerator: the wide nodes rays walk, the leaf blocks they
// test, and the huge-page arrays that hold both. The build fills them (build.cpp) and the
// walks read them (traverse.cpp); the two agree on nothing else.
#pragma once

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "core/geometry/primitive.h"
#include "core/math/aabb.h"

namespace ovo {
namespace bvh {

constexpr int MaxLeafSize = 64;
// Below this depth splits follow the heuristic; deeper ones halve the primitive count, so the
// binary depth stays below MedianDepth + 32. Every wide level goes at least one binary level
// down and leaves at most Width - 1 siblings waiting, which bounds the traversal stack.
constexpr int MedianDepth = 32;
constexpr int Width = 8;  // children per node
constexpr int StackSize = (Width - 1) * (MedianDepth + 32) + Width;

// The nodes rays walk. A slot holds a child node (count 0) or a leaf of `count` primitives
// starting at leaf line `index`; slots 0 to slots - 1 are in use, and bit s of `used` is set for
// each of them.
struct alignas(64) WideNode {
    Aabb4 boxes[Width / 4];
    uint32_t index[Width];
    uint8_t count[Width];
    uint8_t triangles[Width];  // of a leaf's count, how many are flat triangles
    uint8_t slots;
    uint8_t used;
};
static_assert(sizeof(WideNode) == 32 * Width, "a node is Width / 2 cache lines");

// A leaf holds its flat triangles first, then its other primitives, four to a block, and
// starts on a cache line. A triangle block keeps each triangle's world corners (the first and
// the two edges from it) lane by lane, so that one test takes the four at once, and what the
// margins of that test need; the shape behind a triangle is asked only when the ray may cross
// it. A block of other primitives keeps their bounds and, to start loading them early, their
// shapes; a primitive is asked when the ray enters its bound.
struct alignas(64) TriangleBlock {
    float v0[3][4];
    float e1[3][4];
    float e2[3][4];
    float size;   // the longest edge of the four
    float reach;  // the largest of a first corner's coordinate magnitudes plus its edge
    float unused[2];
    const GeometricPrimitive* primitive[4];
};
static_assert(sizeof(TriangleBlock) == 192, "a block is three cache lines");
struct BoundedBlock {
    Aabb4 boxes;
    const Primitive* primitive[4];
    const char* shape[4];
};
static_assert(sizeof(BoundedBlock) == 160, "a block is two and a half cache lines");
struct alignas(64) LeafLine {
    unsigned char bytes[64];
};

constexpr uint32_t blocksOf(uint32_t triangles) { return (triangles + 3u) / 4u; }
constexpr uint32_t linesOf(uint32_t count, uint32_t triangles) {
    return 3u * blocksOf(triangles) +
           (blocksOf(count - triangles) * uint32_t(sizeof(BoundedBlock)) + 63u) / 64u;
}

// Memory for the arrays rays walk. A ray over a large hierarchy touches lines all over its
// nodes and leaves, and on 4 KB pages nearly every one of those loads also misses the TLB: large
// arrays are placed on 2 MB boundaries and the kernel is asked to back them with huge pages
// (it may decline; nothing else changes then).
template <class T>
struct HugePages {
    using value_type = T;
    static constexpr size_t Huge = size_t(2) << 20;
    HugePages() = default;
    template <class U>
    HugePages(const HugePages<U>&) {}
    T* allocate(size_t n) {
        if (n > (size_t(-1) - Huge) / sizeof(T)) throw std::bad_alloc();
        const size_t bytes = n * sizeof(T);
        const bool huge = bytes >= Huge / 2;
        const size_t size = huge ? (bytes + Huge - 1) / Huge * Huge : bytes;
        void* p = nullptr;
        if (posix_memalign(&p, huge ? Huge : std::max<size_t>(64, alignof(T)), size) != 0)
            throw std::bad_alloc();
        if (huge) madvise(p, size, MADV_HUGEPAGE);
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) { std::free(p); }
    template <class U>
    bool operator==(const HugePages<U>&) const {
        return true;
    }
    template <class U>
    bool operator!=(const HugePages<U>&) const {
        return false;
    }
};
using NodeArray = std::vector<WideNode, HugePages<WideNode>>;
using LeafArray = std::vector<LeafLine, HugePages<LeafLine>>;

// Where a leaf's blocks are: its triangle blocks from its first line, then the others.
inline TriangleBlock* blocksAt(LeafLine* line) { return reinterpret_cast<TriangleBlock*>(line); }
inline const TriangleBlock* blocksAt(const LeafLine* line) {
    return reinterpret_cast<const TriangleBlock*>(line);
}
inline BoundedBlock* othersAt(LeafLine* line, uint32_t triangles) {
    return reinterpret_cast<BoundedBlock*>(line + 3 * blocksOf(triangles));
}
inline const BoundedBlock* othersAt(const LeafLine* line, uint32_t triangles) {
    return reinterpret_cast<const BoundedBlock*>(line + 3 * blocksOf(triangles));
}

// What rays walk: the root is node 0, and each leaf starts a line of `leafLines`.
struct Tree {
    NodeArray nodes;
    LeafArray leafLines;
};

}  // namespace bvh
}  // namespace ovo
