// The object-to-world transforms of the primitives made in one scope, each distinct forward
// matrix stored once (a Transform keeps its inverse beside it). Reading a million translated
// spheres asks it a million times, so it keeps its entries in large blocks and finds them through a
// flat table of hashes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/math/transform.h"

namespace ovo {

class TransformStore {
  public:
    // The stored transform whose forward matrix equals m's (-0 and 0 are equal), a copy of m
    // the first time. Stored transforms never move: primitives keep their addresses until
    // clear().
    const Transform& store(const Transform& m);

    std::size_t size() const { return count; }
    void clear();

  private:
    static constexpr std::size_t BlockSize = 512;  // transforms per block (64 KB)

    Transform& at(std::size_t i) { return blocks[i / BlockSize][i % BlockSize]; }
    void grow();

    std::vector<std::unique_ptr<Transform[]>> blocks;
    std::size_t count = 0;
    // Open addressing, at most half full: the high half of a slot is its transform's hash, the low
    // half the transform's index plus one; 0 is an empty slot.
    std::vector<uint64_t> slots;
};

}  // namespace ovo
