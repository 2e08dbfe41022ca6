#include "core/math/random.h"

#include <algorithm>
#include <atomic>

namespace ovo {

namespace {

// 0 is the one state xorshift never leaves, so it marks a thread that has not drawn yet.
__thread uint32_t threadState __attribute__((tls_model("initial-exec"))) = 0;

std::atomic<uint32_t> nextSeedIndex{0};

// Seed k: the classic start value for the first thread, then a Weyl sequence (an odd step, so
// all 2^32 indices give distinct words) skipping 0.
uint32_t seedFor(uint32_t k) {
    for (;;) {
        const uint32_t s = 2463534242u + k * 0x9e3779b9u;
        if (s != 0) return s;
        k = nextSeedIndex.fetch_add(1, std::memory_order_relaxed);
    }
}

inline uint32_t& state() {
    uint32_t& s = threadState;
    if (__builtin_expect(s == 0, 0))
        s = seedFor(nextSeedIndex.fetch_add(1, std::memory_order_relaxed));
    return s;
}

}  // namespace

uint32_t& randomState() { return state(); }

XorshiftLeap::XorshiftLeap(uint64_t steps) {
    // Square-and-multiply over the step's matrix; all its powers commute.
    uint32_t power[32], square[32];
    for (int i = 0; i < 32; ++i) {
        column[i] = 1u << i;
        power[i] = xorshift(1u << i);
    }
    for (; steps != 0; steps >>= 1) {
        if (steps & 1)
            for (uint32_t& c : column) c = apply(power, c);
        for (int i = 0; i < 32; ++i) square[i] = apply(power, power[i]);
        std::copy(square, square + 32, power);
    }
}

float random() {
    uint32_t& s = state();
    s = xorshift(s);
    return randomFloatFromBits(s);
}

}  // namespace ovo

uint32_t urand() {
    uint32_t& s = ovo::randomState();
    s = ovo::xorshift(s);
    return s;
}
