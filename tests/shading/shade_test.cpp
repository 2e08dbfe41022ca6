// Hit::shade on hand-made hits: the passes each layer runs, the globals it fills, the pattern
// shaders; and the illuminance loops with their light cache. The patterns are shaded on the
// plane z = 0, where s = u = x and t = v = y, lit by an ambient light of 1 with their diffuse
// and specular terms off: Ci is the pattern.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <tuple>

#include "core/geometry/hit.h"
#include "core/math/constants.h"
#include "core/shading/connections.h"
#include "core/shading/light.h"
#include "core/shading/shader_group.h"
#include "core/shading/sl/geometry.h"
#include "core/shading/sl/lighting.h"
#include "core/shading/sl/noise.h"
#include "shading/shading_test_util.h"

using namespace ovo;
using namespace ovotest;

namespace {

// A hit at (0.5, 0.5) on the plane z = 0 where u = x and v = y, with `layers` for its surface.
Hit flatHit(std::vector<Reference<Shader>> layers) {
    Hit hit = planeHit(Point(0.5f, 0.5f, 0.0f), Normal(0.0f, 0.0f, -1.0f));
    hit.env.dNdu = hit.env.dNdv = Vector(0.0f);
    hit.attributes.surface = keep(groupOf(std::move(layers)));
    return hit;
}
// The ray to it from (0.5, 0.5, -1), whose offset rays land 0.01 further in x and in y.
const RayDifferential FlatRay = steppedRay(Point(0.5f, 0.5f, -1.0f), 1.0f, 0.01f);

// A list of "counting" lights from each point, with "__nondiffuse" `nondiffuse`.
Reference<LightList> countingLights(std::initializer_list<float> heights, float nondiffuse = 0.0f) {
    Reference<LightList> list(new LightList());
    for (float z : heights)
        list->lights.push_back(
            lightOf("counting", {{"from", Point(0, 0, z)}, {"__nondiffuse", nondiffuse}}));
    return list;
}
// The origin facing +z under `lights`, which it borrows.
ShaderEnvironment litOrigin(const Reference<LightList>& lights) {
    ShaderEnvironment env;
    env.lights = lights;
    env.P = Point(0.0f);
    env.N = env.Ng = Normal(0.0f, 0.0f, 1.0f);
    return env;
}

using Layers = std::vector<Reference<Shader>>;
// The plane z = 0 at (x, y), seen from above, its offset rays `step` further in x and y, shaded
// by `surface` and `displacement` under `light` (an ambient light of 1 when none is given).
Hit shadePlane(float x, float y, float step, const Layers& surface, const Layers& displacement = {},
               Reference<Light> light = {}) {
    Hit hit = planeHit(Point(x, y, 0.0f));
    hit.attributes.surface = keep(groupOf(surface));
    hit.attributes.displacement = keep(groupOf(displacement));
    hit.attributes.lights = keep(Reference<LightList>(new LightList()));
    hit.attributes.lights->lights.push_back(light ? light : lightOf("ambientlight"));
    hit.shade(steppedRay(Point(x, y, 1.0f), -1.0f, step), nullptr);
    return hit;
}

Color mix(const Color& a, const Color& b, float t) { return a * (1.0f - t) + b * t; }

}  // namespace

TEST(Shade, PassesDerivativesAndOutput) {
    std::atomic<unsigned>* runs = counter<std::atomic<unsigned>>("derivs", "derivsRuns");
    std::atomic<unsigned>* plain = counter<std::atomic<unsigned>>("args", "argsRuns");
    ASSERT_TRUE(runs && plain);

    // Two layers that read du and dv run three times each; Du(u) = 1, Dv(u) = Du(v) = 0.
    Hit hit = flatHit({bound("derivs"), bound("derivs")});
    for (int i = 0; i < 3; ++i) runs[i] = 0;
    float out = 0.0f;
    hit.shade(FlatRay, &out);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(runs[i].load(), 2u) << i;
    EXPECT_FLOAT_EQ(out, 1.0f);
    EXPECT_TRUE(near(Tuple(hit.env.dudx, hit.env.dvdy, hit.env.du), Tuple(0.01f), 1e-6f));
    EXPECT_TRUE(near(hit.env.Ci, Color(1, 0, 0), 1e-3f));
    // Every shifted value was put back.
    EXPECT_EQ(Tuple(hit.env.u, hit.env.P.x, 0.0f), Tuple(0.5f, 0.5f, 0.0f));

    // A layer that reads neither du nor dv runs once; a null out is left alone.
    Hit once = flatHit({bound("args")});
    *plain = 0;
    once.shade(FlatRay, nullptr);
    EXPECT_EQ(plain->load(), 1u);
    EXPECT_FLOAT_EQ(once.env.Oi.r, 0.25f);  // the args layer sets Oi = f

    // Without an N primitive variable N is Ng; a ray starting at P shades with I = its
    // direction; without differentials a pixel spreads over one film pixel (no scene: 1).
    Hit eye = flatHit({bound("args")});
    eye.shade(RayDifferential(eye.env.P, Vector(0.0f, 0.0f, 2.0f)), nullptr);
    EXPECT_EQ(eye.env.N, eye.env.Ng);
    EXPECT_FLOAT_EQ(eye.env.I.z, 2.0f);
}

// Object space is the hit's own (its transform maps world to object) under whatever the
// primitives above it put there, identity or not.
TEST(Shade, ObjectSpaceTakesTheHitsTransform) {
    const Transform place = Translate(0, 2, 0) * Scale(3, 3, 3);  // object to world
    for (const Transform& above : {Transform::Identity, Translate(1, 0, 0)}) {
        Hit hit = flatHit({bound("args")});
        hit.transform = place.inverse();
        hit.env.space = above;
        hit.shade(FlatRay, nullptr);
        const Transform expected = above * place;
        EXPECT_TRUE(hit.env.space.m == expected.m && hit.env.space.mInv == expected.mInv)
            << above.m.m[0][3];
    }
}

TEST(Lighting, CacheConesAndNondiffuse) {
    std::atomic<unsigned>* runs = counter<std::atomic<unsigned>>("counting", "countingRuns");
    ASSERT_TRUE(runs);
    // One light above the surface and one behind it; one that is not diffuse.
    const Reference<LightList> both = countingLights({2.0f, -2.0f}),
                               quietOne = countingLights({2.0f}, 1.0f);
    ShaderEnvironment env = litOrigin(both);
    env.I = Vector(0.0f, 0.0f, -1.0f);
    Tuple N(0.0f, 0.0f, 1.0f);
    *runs = 0;
    const Color first = SL::diffuse(env, N);
    EXPECT_EQ(SL::diffuse(env, N), first);
    EXPECT_EQ(runs->load(), 2u);           // each light once for both calls
    EXPECT_FLOAT_EQ(first.r, 1.0f);        // the light behind adds nothing
    EXPECT_EQ(env.lightCache.size(), 2u);  // but is cached

    // A light with "__nondiffuse" 1 adds nothing to diffuse and still adds to specular, before
    // a render has bound its arguments and after.
    for (int bound = 0; bound < 2; ++bound) {
        SCOPED_TRACE(bound);
        std::map<OIIO::ustring, Transform> spaces;
        if (bound) quietOne->lights[0]->rebindArguments(spaces);
        ShaderEnvironment quiet = litOrigin(quietOne);
        EXPECT_EQ(SL::diffuse(quiet, N), Color(0.0f));
        EXPECT_GT(SL::specular(quiet, N, N, 0.1f).r, 0.99f);
        quiet.clearLightCache();
    }

    // A shadow ray's shading and the offset passes gather nothing.
    RayDifferential shadowRay;
    shadowRay.type = RayDifferential::Transmission;
    ShaderEnvironment shadow = litOrigin(both);
    shadow.ray = &shadowRay;
    *runs = 0;
    EXPECT_EQ(SL::diffuse(shadow, N), Color(0.0f));
    EXPECT_EQ(runs->load(), 0u);
    env.derivPass = 1;
    EXPECT_EQ(SL::diffuse(env, N), Color(0.0f));
    env.clearLightCache();
}

TEST(Lighting, SpecularModels) {
    ShaderEnvironment env;  // no scene: the option's default model, "bmrt"
    Tuple N(0.0f, 0.0f, 1.0f);
    const float a = 0.3f;
    Tuple L(std::sin(a), 0.0f, std::cos(a)), V(-std::sin(a), 0.0f, std::cos(a));
    EXPECT_NEAR(SL::specularbrdf(env, L, N, V, 0.1f).r, 1.0f, 1e-5f);  // mirror: H = N
    Tuple V2(0.0f, 0.0f, 1.0f);
    const Tuple H = SL::normalize(L + V2);
    EXPECT_NEAR(SL::specularbrdf(env, L, N, V2, 0.5f).g, std::pow(H.z, 16.0f), 1e-5f);
}

TEST(Patterns, LayoutsAndFilteredFootprints) {
    const Color white(1.0f), brick(0.6f, 0.2f, 0.1f), mortar(0.6f, 0.58f, 0.54f),
        stripe(0.1f, 0.2f, 0.6f), grout(0.25f, 0.24f, 0.22f);
    // Brick (column c, course r) in its own firing, gritty; a tile of cell (i, j).
    auto brickAt = [&](float c, float r, float s, float t) {
        return brick * (0.7f + 0.6f * SL::cellnoisef(c, r) + 0.15f * SL::noise(60 * s, 60 * t));
    };
    auto tileAt = [&](float i, float j) { return mix(white, SL::cellnoisec(i, j), 0.6f); };
    // Defaults: bricks 0.25 by 0.08 with joints of 0.01, odd courses (t in [0.08, 0.16), and
    // [-0.08, 0)) shifted half a brick; stripes of half of each tenth of t; tiles of 1/8 in
    // grout; checks of 1/8, four of each colour a unit.
    // The shader, its frequency (0: its own), s, t, the footprint and the colour.
    const std::tuple<const char*, float, float, float, float, Color> cases[] = {
        {"brick", 0, 0.125f, 0.04f, 0.001f, brickAt(0, 0, 0.125f, 0.04f)},
        {"brick", 0, 0.25f, 0.04f, 0.001f, mortar},  // between columns 0 and 1
        {"brick", 0, 0.1f, 0.08f, 0.001f, mortar},   // between courses
        {"brick", 0, 0.0f, 0.12f, 0.001f, brickAt(0, 1, 0.0f, 0.12f)},
        {"brick", 0, 0.125f, 0.12f, 0.001f, mortar},
        {"brick", 0, 0.3f, -0.04f, 0.001f, brickAt(1, -1, 0.3f, -0.04f)},
        {"stripes", 0, 0.3f, 0.02f, 0.001f, stripe},
        {"stripes", 0, 0.3f, 0.07f, 0.001f, white},
        {"stripes", 0, 0.3f, -0.08f, 0.001f, stripe},
        {"cells", 0, 0.0625f, 0.0625f, 0.001f, tileAt(0.5f, 0.5f)},
        {"cells", 0, -0.0625f, 0.3125f, 0.001f, tileAt(-0.5f, 2.5f)},
        {"cells", 0, 0.125f, 0.3f, 0.001f, grout},
        {"checker", 0, 0.1f, 0.1f, 0.001f, white},
        {"checker", 0, 0.2f, 0.1f, 0.001f, Color(0.0f)},
        {"checker", 0, -0.1f, 0.1f, 0.001f, Color(0.0f)},
        {"checker", 0, 0.2f, 0.2f, 0.001f, white},
        // Footprints of four periods see the averages: half the board, 0.5 of the stripes.
        {"checker", 400, 0.3f, 0.2f, 0.01f, Color(0.5f)},
        {"stripes", 400, 0.3f, 0.2f, 0.01f, mix(white, stripe, 0.5f)},
        // Half a period wide: s over [0.15, 0.65] is 0.7 on, t over [-0.05, 0.45] 0.9, so
        // 0.7 * 0.1 + 0.3 * 0.9 of the board is black; the stripe covers 0.7 of [0.15, 0.65].
        {"checker", 1, 0.4f, 0.2f, 0.5f, Color(1.0f - 0.34f)},
        {"stripes", 1, 0.3f, 0.4f, 0.5f, mix(white, stripe, 0.7f)},
    };
    for (const auto& [shader, frequency, s, t, step, expected] : cases) {
        const Reference<Shader> pattern =
            frequency > 0 ? unlit(shader, {{"frequency", frequency}}) : unlit(shader);
        EXPECT_TRUE(near(shadePlane(s, t, step, {pattern}).env.Ci, expected, 1e-4f))
            << shader << " at " << s << " " << t << " over " << step;
    }
}

TEST(Patterns, GraniteCrystalsAreTheRegionsNearestTheirSeeds) {
    // Each cell of the lattice has its seed at cell + cellnoisep(cell); a crystal's kind comes
    // from cellnoisec of its seed's cell. With pure red, green and blue kinds the one channel
    // lit tells the kind; the reference searches the 125 cells around each point.
    const Reference<Shader> granite = unlit("granite", {{"frequency", 1.0f},
                                                        {"darkcolor", Color(1, 0, 0)},
                                                        {"pinkcolor", Color(0, 1, 0)},
                                                        {"palecolor", Color(0, 0, 1)}});
    // A grid, and points whose nearest seed lies two cells away, past the 27 around them.
    std::vector<std::pair<float, float>> points = {
        {-115.03125f, 29.15625f}, {25.03125f, -22.90625f}, {75.96875f, -76.84375f}};
    for (float x = -3.0f; x < 3.0f; x += 0.173f)
        for (float y = -3.0f; y < 3.0f; y += 0.191f) points.emplace_back(x, y);
    int kinds[3] = {0, 0, 0};
    for (const auto& [x, y] : points) {
        Tuple nearest(0.0f);
        float best = 1e30f;
        for (int i = -2; i <= 2; ++i)
            for (int j = -2; j <= 2; ++j)
                for (int k = -2; k <= 2; ++k) {
                    Tuple cell(std::floor(x) + i, std::floor(y) + j, float(k));
                    const float d = (cell + SL::cellnoisep(cell) - Tuple(x, y, 0)).length2();
                    if (d < best) {
                        best = d;
                        nearest = cell;
                    }
                }
        const float r = SL::cellnoisec(nearest).r;
        const int kind = r < 0.3f ? 0 : r < 0.55f ? 1 : 2;
        ++kinds[kind];
        const Color got = shadePlane(x, y, 0.001f, {granite}).env.Ci;
        for (int channel = 0; channel < 3; ++channel)
            EXPECT_EQ(got[channel] > 0.0f, channel == kind) << x << " " << y;
    }
    EXPECT_GT(std::min(kinds[0], std::min(kinds[1], kinds[2])), 20);
}

TEST(Patterns, WoodRingsAndMarbleVeinsFallWhereTheyShould) {
    // Wood from white to black without grain: along 2 units of radius at 10 rings a unit, 20
    // dark bands, give or take what the noise warps at either end.
    const Reference<Shader> wood =
        unlit("wood", {{"grainy", 0.0f}, {"lightwood", Color(1.0f)}, {"darkwood", Color(0.0f)}});
    int bands = 0;
    bool dark = false;
    for (float r = 0.5f; r < 2.5f; r += 0.002f) {
        const float c = shadePlane(0.6f * r, 0.8f * r, 0.001f, {wood}).env.Ci.r;
        EXPECT_TRUE(c >= 0.0f && c <= 1.0f) << r;
        if (!dark && c < 0.2f) ++bands;
        dark = dark ? c < 0.8f : c < 0.2f;
    }
    EXPECT_GE(bands, 17);
    EXPECT_LE(bands, 23);

    // Unbent marble is a spline of sin(pi x) with the vein at 2/3 of the way through the
    // spline: pure vein colour where sin(pi x) = 1/3, nowhere darker.
    const Reference<Shader> marble =
        unlit("marble",
              {{"veinturbulence", 0.0f}, {"basecolor", Color(1.0f)}, {"veincolor", Color(0.0f)}});
    const float first = std::asin(1.0f / 3.0f) / Pi;
    for (float start : {0.0f, 0.5f}) {
        float darkest = 2.0f, at = -1.0f;
        for (float x = start; x < start + 0.5f; x += 0.0005f) {
            const float c = shadePlane(x, 0.3f, 0.001f, {marble}).env.Ci.r;
            if (c < darkest) {
                darkest = c;
                at = x;
            }
        }
        EXPECT_NEAR(darkest, 0.0f, 1e-4f);
        EXPECT_NEAR(at, start == 0.0f ? first : 1.0f - first, 1e-3f);
    }
}

TEST(Patterns, DisplacementsTurnTheNormalByTheirHeights) {
    // The plane lifted by h(x, y) has the normal (-dh/dx, -dh/dy, 1) over one pixel step, which
    // the offset passes see; the hit point stays.
    auto turbulence = [](float x, float y) {
        float sum = 0.0f;
        for (float scale = 1.0f; scale < 40.0f; scale *= 2.0f)
            sum += std::fabs(SL::noise(x * scale, y * scale, 0.0f)) / scale;
        return sum;
    };
    // The shader, Km, frequency and its height.
    const std::tuple<const char*, float, float, std::function<float(float, float)>> cases[] = {
        {"bumpy", 0.05f, 3.0f, [](float x, float y) { return 0.05f * SL::noise(3 * x, 3 * y, 0); }},
        {"dented", 0.6f, 2.0f,
         [&](float x, float y) {
             const float t = turbulence(2 * x, 2 * y);
             return -0.6f * t * t * t;
         }},
    };
    for (const auto& [shader, Km, frequency, h] : cases) {
        const Reference<Shader> displacement =
            bound(shader, {{"Km", Km}, {"frequency", frequency}});
        int tilted = 0;
        for (float x : {0.13f, 0.41f, -0.77f, 1.9f})
            for (float y : {0.29f, -0.6f}) {
                const Hit hit = shadePlane(x, y, 0.01f, {}, {displacement});
                const Tuple expected = Tuple(-(h(x + 0.01f, y) - h(x, y)) / 0.01f,
                                             -(h(x, y + 0.01f) - h(x, y)) / 0.01f, 1.0f)
                                           .hat();
                EXPECT_TRUE(near(hit.env.N.hat(), expected, 2e-3f)) << shader << x << " " << y;
                EXPECT_EQ(hit.env.P, Point(x, y, 0.0f));
                tilted += expected.z < 0.999f;
            }
        EXPECT_GT(tilted, 4) << shader;  // the bumps are there to be seen
    }
}

TEST(Patterns, LayeredGroups) {
    // cells' "Ct" connected to plastic's Cs: under an ambient light of 1 the plastic shows
    // exactly the colour cells shows alone, tile and grout alike.
    const Reference<Shader> cells = bound("cells"), plastic = unlit("plastic");
    const Shader::ConnectionEnd source{ParamType(TypeColor), 0, -1, 0,
                                       cells->find(OIIO::ustring("Ct"))->offset};
    const Shader::ConnectionEnd destination{ParamType(TypeColor), GlobalCs, -1, 1, 0};
    plastic->addLayerConnection(new Shader::TupleConnection(source, destination));
    for (float x : {0.01f, 0.06f, 0.3f, 0.9f}) {
        const Color layered = shadePlane(x, 0.06f, 0.001f, {cells, plastic}).env.Ci;
        EXPECT_EQ(layered, shadePlane(x, 0.06f, 0.001f, {cells}).env.Ci) << x;
        EXPECT_NE(layered, Color(1.0f)) << x;  // not the plastic's own white
    }

    // glaze weighs its highlight by the float it reads from earlier layers with surface(): the
    // args layer leaves Ci = 1 and offers "f"; a name no layer has weighs 1.
    const Reference<Light> overhead =
        lightOf("distantlight", {{"from", Point(0, 0, 1)}, {"to", Point(0.0f)}});
    const float highlight =
        shadePlane(0.3f, 0.3f, 0.001f, {bound("glaze", {{"weight", "nothing"}})}, {}, overhead)
            .env.Ci.g;
    EXPECT_GT(highlight, 0.5f);
    for (float w : {0.0f, 0.25f, 1.0f}) {
        const Layers layers = {bound("args", {{"f", w}}), bound("glaze", {{"weight", "f"}})};
        const Color c = shadePlane(0.3f, 0.3f, 0.001f, layers, {}, overhead).env.Ci;
        EXPECT_NEAR(c.g, 1.0f + w * highlight, 1e-5f) << w;
    }
}
