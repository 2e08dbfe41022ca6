// Geometry "teapot": Newell's teapot from its 32 bicubic Bezier patches, in its classic
// coordinates (z up, sitting on z = 0, spout towards +x, 3.15 high). The public-domain data is
// mostly surfaces of revolution (rim, body, lid, bottom), whose quarter circles are written here
// as profiles, and a handle and a spout that are symmetric about y = 0, written as their y <= 0
// halves. The patches are joined into four meshes: separate patches are tessellated each at its
// own rate, and rays could slip through the seams between them.
#include "plugins/generators/rib/teapot.h"

#include <algorithm>
#include <initializer_list>

namespace ovo {
namespace rib {

namespace {

// One point of a profile: radius, the off-axis control value of its quarter circle, height.
struct Ring {
    float r, k, z;
};

// Every third ring ends a cubic segment.
const std::vector<Ring> Rim = {{1.4f, 0.784f, 2.4f},
                               {1.3375f, 0.749f, 2.53125f},
                               {1.4375f, 0.805f, 2.53125f},
                               {1.5f, 0.84f, 2.4f}};
const std::vector<Ring> Body = {{1.5f, 0.84f, 2.4f}, {1.75f, 0.98f, 1.875f}, {2.0f, 1.12f, 1.35f},
                                {2.0f, 1.12f, 0.9f}, {2.0f, 1.12f, 0.45f},   {1.5f, 0.84f, 0.225f},
                                {1.5f, 0.84f, 0.15f}};
const std::vector<Ring> Lid = {{0.0f, 0.0f, 3.15f},  {0.8f, 0.45f, 3.15f},  {0.0f, 0.0f, 2.85f},
                               {0.2f, 0.112f, 2.7f}, {0.4f, 0.224f, 2.55f}, {1.3f, 0.728f, 2.55f},
                               {1.3f, 0.728f, 2.4f}};
const std::vector<Ring> Bottom = {
    {1.5f, 0.84f, 0.15f}, {1.5f, 0.84f, 0.075f}, {1.425f, 0.798f, 0.0f}, {0.0f, 0.0f, 0.0f}};

// The y <= 0 halves of the handle and the spout: rows run along the part, columns across it
// from one edge on y = 0 round to the other.
using Half = float[4][4][3];
const Half Handle[] = {
    {{{-1.6f, 0, 2.025f}, {-1.6f, -0.3f, 2.025f}, {-1.5f, -0.3f, 2.25f}, {-1.5f, 0, 2.25f}},
     {{-2.3f, 0, 2.025f}, {-2.3f, -0.3f, 2.025f}, {-2.5f, -0.3f, 2.25f}, {-2.5f, 0, 2.25f}},
     {{-2.7f, 0, 2.025f}, {-2.7f, -0.3f, 2.025f}, {-3.0f, -0.3f, 2.25f}, {-3.0f, 0, 2.25f}},
     {{-2.7f, 0, 1.8f}, {-2.7f, -0.3f, 1.8f}, {-3.0f, -0.3f, 1.8f}, {-3.0f, 0, 1.8f}}},
    {{{-2.7f, 0, 1.8f}, {-2.7f, -0.3f, 1.8f}, {-3.0f, -0.3f, 1.8f}, {-3.0f, 0, 1.8f}},
     {{-2.7f, 0, 1.575f}, {-2.7f, -0.3f, 1.575f}, {-3.0f, -0.3f, 1.35f}, {-3.0f, 0, 1.35f}},
     {{-2.5f, 0, 1.125f}, {-2.5f, -0.3f, 1.125f}, {-2.65f, -0.3f, 0.9375f}, {-2.65f, 0, 0.9375f}},
     {{-2.0f, 0, 0.9f}, {-2.0f, -0.3f, 0.9f}, {-1.9f, -0.3f, 0.6f}, {-1.9f, 0, 0.6f}}}};
const Half Spout[] = {
    {{{1.7f, 0, 1.425f}, {1.7f, -0.66f, 1.425f}, {1.7f, -0.66f, 0.6f}, {1.7f, 0, 0.6f}},
     {{2.6f, 0, 1.425f}, {2.6f, -0.66f, 1.425f}, {3.1f, -0.66f, 0.825f}, {3.1f, 0, 0.825f}},
     {{2.3f, 0, 2.1f}, {2.3f, -0.25f, 2.1f}, {2.4f, -0.25f, 2.025f}, {2.4f, 0, 2.025f}},
     {{2.7f, 0, 2.4f}, {2.7f, -0.25f, 2.4f}, {3.3f, -0.25f, 2.4f}, {3.3f, 0, 2.4f}}},
    {{{2.7f, 0, 2.4f}, {2.7f, -0.25f, 2.4f}, {3.3f, -0.25f, 2.4f}, {3.3f, 0, 2.4f}},
     {{2.8f, 0, 2.475f}, {2.8f, -0.25f, 2.475f}, {3.525f, -0.25f, 2.49375f}, {3.525f, 0, 2.49375f}},
     {{2.9f, 0, 2.475f}, {2.9f, -0.15f, 2.475f}, {3.45f, -0.15f, 2.5125f}, {3.45f, 0, 2.5125f}},
     {{2.8f, 0, 2.4f}, {2.8f, -0.15f, 2.4f}, {3.2f, -0.15f, 2.4f}, {3.2f, 0, 2.4f}}}};

// A surface of revolution: u turns about z (from +x towards -y), v runs down the profile.
TeapotMesh revolve(std::initializer_list<const std::vector<Ring>*> parts) {
    std::vector<Ring> rings;
    for (const std::vector<Ring>* part : parts)  // consecutive parts share their end rings
        rings.insert(rings.end(), part->begin() + (rings.empty() ? 0 : 1), part->end());
    TeapotMesh m{13, int(rings.size()), {}};
    for (const Ring& g : rings) {
        const float quarter[4][2] = {{g.r, 0}, {g.r, -g.k}, {g.k, -g.r}, {0, -g.r}};
        for (int j = 0; j < m.nu; ++j) {
            float x = quarter[j % 3][0], y = quarter[j % 3][1];
            for (int turn = 0; turn < (j / 3) % 4; ++turn) {  // a quarter turn clockwise
                const float x0 = x;
                x = y, y = -x0;
            }
            m.P.insert(m.P.end(), {x, y, g.z});
        }
    }
    return m;
}

// A handle or spout from its y <= 0 halves: across it, the half's columns and then their mirror
// images back to the first edge; along it, the halves' rows (each half starts where the last ends).
TeapotMesh sweep(const Half* halves, int count) {
    TeapotMesh m{7, 1 + 3 * count, {}};
    for (int row = 0; row < m.nv; ++row) {
        const auto& points = halves[std::min(row / 3, count - 1)][row == 3 * count ? 3 : row % 3];
        for (int j = 0; j < m.nu; ++j) {
            const float* v = points[j < 4 ? j : 6 - j];
            m.P.insert(m.P.end(), {v[0], j < 4 ? v[1] : -v[1], v[2]});
        }
    }
    return m;
}

}  // namespace

std::vector<TeapotMesh> teapotMeshes() {
    // Rim, body and bottom are one surface, so that nothing can slip between them.
    return {revolve({&Rim, &Body, &Bottom}), revolve({&Lid}), sweep(Handle, 2), sweep(Spout, 2)};
}

}  // namespace rib
}  // namespace ovo
