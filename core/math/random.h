// The renderer's pseudo-random numbers: Marsaglia's 13-17-5 xorshift. Every thread has its own
// state word, so concurrent callers neither race nor contend; the first thread to draw starts
// from 2463534242 (the same sequence on every run), later threads from distinct seeds.
#pragma once

#include <cstdint>
#include <cstring>

// The next 32-bit value of the calling thread's generator.
uint32_t urand();

namespace ovo {

// A float in [0, 1): the low 23 bits of the next value as the mantissa of a float in [1, 2),
// minus 1. (In ovo, not global: libc already declares long random(void).)
float random();

// One generator step.
inline uint32_t xorshift(uint32_t y) {
    y ^= y << 13;
    y ^= y >> 17;
    y ^= y << 5;
    return y;
}

// Many generator steps at once. A step is linear over the bits of the state (shifts and xors),
// so n steps are one 32 x 32 bit matrix: a sampler passes over draws it has no use for and still
// leaves the state where those draws would have.
class XorshiftLeap {
  public:
    explicit XorshiftLeap(uint64_t steps = 0);
    uint32_t operator()(uint32_t y) const { return apply(column, y); }

  private:
    static uint32_t apply(const uint32_t* m, uint32_t y) {
        uint32_t r = 0;
        for (int i = 0; i < 32; ++i) r ^= m[i] & (0u - ((y >> i) & 1u));
        return r;
    }
    uint32_t column[32];  // where bit i of the state goes
};

// The [0, 1) float that random() makes from a generator value.
inline float randomFloatFromBits(uint32_t bits) {
    const uint32_t u = 0x3f800000u | (bits & 0x007fffffu);
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f - 1.0f;
}

// The calling thread's state word, seeded on first use. Loops that draw many values (the
// stratification routines) load it once, step it inline with xorshift and store it back.
uint32_t& randomState();

// The generator state for one pixel of one frame. Samplers load it into randomState() when they
// start a pixel, so the pixel's jitter and everything its samples' shading draws depend on
// (x, y, frame) only: not on the thread, the bucket order or the crop window that renders it.
inline uint32_t pixelSeed(int x, int y, int frame) {
    // Wellons' lowbias32 mixer, chained over the three words: nearby pixels get unrelated seeds.
    auto mix = [](uint32_t h) {
        h ^= h >> 16;
        h *= 0x7feb352du;
        h ^= h >> 15;
        h *= 0x846ca68bu;
        h ^= h >> 16;
        return h;
    };
    const uint32_t h = mix(uint32_t(x) ^ mix(uint32_t(y) ^ mix(uint32_t(frame) + 0x9e3779b9u)));
    return h != 0 ? h : 2463534242u;  // 0 is the state xorshift never leaves
}

}  // namespace ovo
