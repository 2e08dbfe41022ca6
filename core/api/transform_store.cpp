#include "core/api/transform_store.h"

#include <cstring>

namespace ovo {

namespace {

uint32_t forwardHash(const Matrix& m) {
    uint64_t h = 0;
    for (const auto& row : m.m)
        for (float f : row) {
            uint32_t bits;
            const float v = f == 0.0f ? 0.0f : f;  // -0 equals 0
            std::memcpy(&bits, &v, sizeof bits);
            h = (h ^ bits) * 0x9E3779B97F4A7C15ull;
        }
    // The multiplications carry low bits upwards only: mix the high ones back down.
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    return uint32_t(h ^ (h >> 33));
}

}  // namespace

const Transform& TransformStore::store(const Transform& m) {
    if (2 * (count + 1) > slots.size()) grow();
    const uint32_t hash = forwardHash(m.m);
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const uint64_t slot = slots[i];
        if (slot == 0) {
            if (count % BlockSize == 0) blocks.emplace_back(new Transform[BlockSize]);
            Transform& t = at(count);
            t = m;
            slots[i] = uint64_t(hash) << 32 | uint64_t(++count);
            return t;
        }
        if (uint32_t(slot >> 32) != hash) continue;
        const Transform& t = at(std::size_t(uint32_t(slot)) - 1);
        if (t.m == m.m) return t;
    }
}

void TransformStore::grow() {
    std::vector<uint64_t> wider(slots.empty() ? 64 : 2 * slots.size(), 0);
    const std::size_t mask = wider.size() - 1;
    for (const uint64_t slot : slots) {
        if (slot == 0) continue;
        std::size_t i = std::size_t(slot >> 32) & mask;
        while (wider[i] != 0) i = (i + 1) & mask;
        wider[i] = slot;
    }
    slots.swap(wider);
}

void TransformStore::clear() {
    blocks.clear();
    slots.clear();
    count = 0;
}

}  // namespace ovo
