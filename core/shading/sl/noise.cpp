// Gradient noise with one gradient function per dimension, and cell noise, both hashed through
// Ken Perlin's reference permutation.
#include "core/shading/sl/noise.h"

#include <cmath>

namespace SL {

namespace {

// The permutation twice over, so that perm[i + perm[j]] never needs wrapping.
struct Permutation {
    unsigned char p[512];
    constexpr Permutation() : p() {
        constexpr unsigned char Reference[256] = {
            151, 160, 137, 91,  90,  15,  131, 13,  201, 95,  96,  53,  194, 233, 7,   225,
            140, 36,  103, 30,  69,  142, 8,   99,  37,  240, 21,  10,  23,  190, 6,   148,
            247, 120, 234, 75,  0,   26,  197, 62,  94,  252, 219, 203, 117, 35,  11,  32,
            57,  177, 33,  88,  237, 149, 56,  87,  174, 20,  125, 136, 171, 168, 68,  175,
            74,  165, 71,  134, 139, 48,  27,  166, 77,  146, 158, 231, 83,  111, 229, 122,
            60,  211, 133, 230, 220, 105, 92,  41,  55,  46,  245, 40,  244, 102, 143, 54,
            65,  25,  63,  161, 1,   216, 80,  73,  209, 76,  132, 187, 208, 89,  18,  169,
            200, 196, 135, 130, 116, 188, 159, 86,  164, 100, 109, 198, 173, 186, 3,   64,
            52,  217, 226, 250, 124, 123, 5,   202, 38,  147, 118, 126, 255, 82,  85,  212,
            207, 206, 59,  227, 47,  16,  58,  17,  182, 189, 28,  42,  223, 183, 170, 213,
            119, 248, 152, 2,   44,  154, 163, 70,  221, 153, 101, 155, 167, 43,  172, 9,
            129, 22,  39,  253, 19,  98,  108, 110, 79,  113, 224, 232, 178, 185, 112, 104,
            218, 246, 97,  228, 251, 34,  242, 193, 238, 210, 144, 12,  191, 179, 162, 241,
            81,  51,  145, 235, 249, 14,  239, 107, 49,  192, 214, 31,  181, 199, 106, 157,
            184, 84,  204, 176, 115, 121, 50,  45,  127, 4,   150, 254, 138, 236, 205, 93,
            222, 114, 67,  29,  24,  72,  243, 141, 128, 195, 78,  66,  215, 61,  156, 180};
        for (int i = 0; i < 512; ++i) p[i] = Reference[i & 255];
    }
    int operator[](int i) const { return p[i]; }
};

constexpr Permutation perm;

constexpr float Inv255 = 1.0f / 255.0f;

// floor(x) as an int; coordinates beyond the int range (and NaN) fall on cell 0 rather than
// into an undefined conversion.
inline int floorInt(float x) {
    const float f = std::floor(x);
    return f >= -2147483648.0f && f < 2147483648.0f ? int(f) : 0;
}

// One coordinate on the lattice: the two lattice indices, the offsets from both and the fade
// weight.
struct Axis {
    int i0, i1;
    float f0, f1;
    float s;
    explicit Axis(float x) {
        const int i = floorInt(x);
        i0 = i & 255;
        i1 = (i + 1) & 255;
        f0 = x - std::floor(x);
        f1 = f0 - 1.0f;
        s = f0 * f0 * f0 * (f0 * (f0 * 6.0f - 15.0f) + 10.0f);
    }
};

inline float lerp(float t, float a, float b) { return a + t * (b - a); }

// The gradients of each dimension as coefficient tables, made once from the selection rules:
// a gradient is then a dot product instead of branches on random hash bits, which mispredict.
// Terms are added in the order the rules name them, so the values are the rules' own.
struct Gradients {
    float g1[16];
    float g2[8][2];
    float g3[16][3];
    float g4[32][4];
    constexpr Gradients() : g1(), g2(), g3(), g4() {
        // 1D: 1 + (h & 7), negated when h & 8.
        for (int h = 0; h < 16; ++h) g1[h] = float(h & 8 ? -(1 + (h & 7)) : 1 + (h & 7));
        // 2D: u = x and v = y when h < 4, else swapped; (h & 1 ? -u : u) + (h & 2 ? -2v : 2v).
        for (int h = 0; h < 8; ++h) {
            const int u = h < 4 ? 0 : 1, v = h < 4 ? 1 : 0;
            g2[h][u] = h & 1 ? -1.0f : 1.0f;
            g2[h][v] = h & 2 ? -2.0f : 2.0f;
        }
        // 3D: u = h < 8 ? x : y, v = h < 4 ? y : (h is 12 or 14 ? x : z); +-u +-v.
        for (int h = 0; h < 16; ++h) {
            const int u = h < 8 ? 0 : 1, v = h < 4 ? 1 : (h == 12 || h == 14 ? 0 : 2);
            g3[h][u] = h & 1 ? -1.0f : 1.0f;
            g3[h][v] = h & 2 ? -1.0f : 1.0f;
        }
        // 4D: u = h < 24 ? x : y, v = h < 16 ? y : z, w = h < 8 ? z : w; +-u +-v +-w.
        for (int h = 0; h < 32; ++h) {
            const int u = h < 24 ? 0 : 1, v = h < 16 ? 1 : 2, w = h < 8 ? 2 : 3;
            g4[h][u] = h & 1 ? -1.0f : 1.0f;
            g4[h][v] = h & 2 ? -1.0f : 1.0f;
            g4[h][w] = h & 4 ? -1.0f : 1.0f;
        }
    }
};

constexpr Gradients gradients;

inline float grad(int hash, float x) { return gradients.g1[hash & 15] * x; }

inline float grad(int hash, float x, float y) {
    const float* g = gradients.g2[hash & 7];
    return g[0] * x + g[1] * y;
}

inline float grad(int hash, float x, float y, float z) {
    const float* g = gradients.g3[hash & 15];
    return g[0] * x + g[1] * y + g[2] * z;
}

inline float grad(int hash, float x, float y, float z, float w) {
    const float* g = gradients.g4[hash & 31];
    return g[0] * x + g[1] * y + g[2] * z + g[3] * w;
}

}  // namespace

float noise(float x) {
    const Axis X(x);
    return 0.188f * lerp(X.s, grad(perm[X.i0], X.f0), grad(perm[X.i1], X.f1));
}

float noise(float x, float y) {
    const Axis X(x), Y(y);
    const int a = perm[Y.i0], b = perm[Y.i1];
    const float n0 = lerp(X.s, grad(perm[X.i0 + a], X.f0, Y.f0), grad(perm[X.i1 + a], X.f1, Y.f0));
    const float n1 = lerp(X.s, grad(perm[X.i0 + b], X.f0, Y.f1), grad(perm[X.i1 + b], X.f1, Y.f1));
    return 0.507f * lerp(Y.s, n0, n1);
}

float noise(float x, float y, float z) {
    const Axis X(x), Y(y), Z(z);
    // perm[iy + perm[iz]] for the four (y, z) corners.
    const int c00 = perm[Y.i0 + perm[Z.i0]], c10 = perm[Y.i1 + perm[Z.i0]];
    const int c01 = perm[Y.i0 + perm[Z.i1]], c11 = perm[Y.i1 + perm[Z.i1]];
    auto row = [&](int c, float fy, float fz) {
        return lerp(X.s, grad(perm[X.i0 + c], X.f0, fy, fz), grad(perm[X.i1 + c], X.f1, fy, fz));
    };
    const float z0 = lerp(Y.s, row(c00, Y.f0, Z.f0), row(c10, Y.f1, Z.f0));
    const float z1 = lerp(Y.s, row(c01, Y.f0, Z.f1), row(c11, Y.f1, Z.f1));
    return 0.936f * lerp(Z.s, z0, z1);
}

float noise(float x, float y, float z, float w) {
    const Axis X(x), Y(y), Z(z), W(w);
    auto row = [&](int c, float fy, float fz, float fw) {
        return lerp(X.s, grad(perm[X.i0 + c], X.f0, fy, fz, fw),
                    grad(perm[X.i1 + c], X.f1, fy, fz, fw));
    };
    // perm[iy + perm[iz + perm[iw]]] for each (y, z) corner of one w slice.
    auto slice = [&](int iw, float fw) {
        const int pw = perm[iw];
        const int c00 = perm[Y.i0 + perm[Z.i0 + pw]], c10 = perm[Y.i1 + perm[Z.i0 + pw]];
        const int c01 = perm[Y.i0 + perm[Z.i1 + pw]], c11 = perm[Y.i1 + perm[Z.i1 + pw]];
        const float z0 = lerp(Y.s, row(c00, Y.f0, Z.f0, fw), row(c10, Y.f1, Z.f0, fw));
        const float z1 = lerp(Y.s, row(c01, Y.f0, Z.f1, fw), row(c11, Y.f1, Z.f1, fw));
        return lerp(Z.s, z0, z1);
    };
    return 0.87f * lerp(W.s, slice(W.i0, W.f0), slice(W.i1, W.f1));
}

// ---------------------------------------------------------------------------------------------
// Cell noise: the permutation chained over the cell's lattice indices.

namespace {

inline int cell(float x) { return floorInt(x) & 255; }

inline int hash(float x) { return perm[cell(x)]; }
inline int hash(float x, float y) { return perm[perm[cell(x)] + cell(y)]; }
inline int hash(float x, float y, float z) { return perm[hash(x, y) + cell(z)]; }
inline int hash(float x, float y, float z, float w) { return perm[hash(x, y, z) + cell(w)]; }

// Three values of one cell: the hash, then the permutation applied once and twice more.
inline Tuple triple(int h) {
    const int h1 = perm[h], h2 = perm[h1];
    return Tuple(float(h) * Inv255, float(h1) * Inv255, float(h2) * Inv255);
}

}  // namespace

float cellnoisef(float x) { return float(hash(x)) * Inv255; }
float cellnoisef(float x, float y) { return float(hash(x, y)) * Inv255; }
float cellnoisef(float x, float y, float z) { return float(hash(x, y, z)) * Inv255; }
float cellnoisef(Tuple& p) { return float(hash(p.x, p.y, p.z)) * Inv255; }
float cellnoisef(float x, float y, float z, float w) { return float(hash(x, y, z, w)) * Inv255; }
float cellnoisef(Tuple& p, float w) { return float(hash(p.x, p.y, p.z, w)) * Inv255; }

Color cellnoisec(float x) { return Color(triple(hash(x))); }
Color cellnoisec(float x, float y) { return Color(triple(hash(x, y))); }
Color cellnoisec(Tuple& p) { return Color(triple(hash(p.x, p.y, p.z))); }
Color cellnoisec(Tuple& p, float w) { return Color(triple(hash(p.x, p.y, p.z, w))); }

Tuple cellnoisep(float x) { return triple(hash(x)); }
Tuple cellnoisep(float x, float y) { return triple(hash(x, y)); }
Tuple cellnoisep(Tuple& p) { return triple(hash(p.x, p.y, p.z)); }
Tuple cellnoisep(Tuple& p, float w) { return triple(hash(p.x, p.y, p.z, w)); }

}  // namespace SL
