// The polygon plugin: convex, concave and holed polygons against an independent inside test
// (winding numbers), areas against the shoelace formula, per-vertex variables against an
// affine function that any triangulation must reproduce exactly; and per-vertex variables on
// four-sided faces of polygons and meshes, bilinear over the quad rather than linear per triangle.
#include "core/math/constants.h"
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

using Loop = std::vector<float>;  // (x, y) pairs

// Calls f(ax, ay, bx, by) for each edge of the loop.
template <class F>
void edges(const Loop& l, F f) {
    const std::size_t n = l.size() / 2;
    for (std::size_t i = 0; i < n; ++i)
        f(l[2 * i], l[2 * i + 1], l[2 * ((i + 1) % n)], l[2 * ((i + 1) % n) + 1]);
}

// Inside the outline and outside every hole, whichever way they turn: an odd number of edges
// of all the loops lies to the right of (x, y).
bool insideReference(const std::vector<Loop>& loops, float x, float y) {
    bool in = false;
    for (const Loop& l : loops)
        edges(l, [&](float ax, float ay, float bx, float by) {
            if ((ay > y) != (by > y) && x < ax + (y - ay) * (bx - ax) / (by - ay)) in = !in;
        });
    return in;
}

// Distance from (x, y) to the nearest edge of any loop.
float edgeDistance(const std::vector<Loop>& loops, float x, float y) {
    float best = 1e30f;
    for (const Loop& l : loops)
        edges(l, [&](float ax, float ay, float bx, float by) {
            const float ex = bx - ax, ey = by - ay;
            const float t =
                clamp(((x - ax) * ex + (y - ay) * ey) / (ex * ex + ey * ey), 0.0f, 1.0f);
            best = std::min(best, std::hypot(x - ax - t * ex, y - ay - t * ey));
        });
    return best;
}

double shoelace(const Loop& l) {
    double a = 0.0;
    edges(l,
          [&](float ax, float ay, float bx, float by) { a += double(ax) * by - double(bx) * ay; });
    return 0.5 * a;
}

// An affine colour of position: linear interpolation on any triangulation reproduces it.
Color affine(const Point& p) { return Color(p.x + 2.0f * p.y, 3.0f - p.x, 0.5f * p.z + p.y); }

// The polygon's parameters with every vertex in the plane z = 0 and its affine colour.
std::string polygonParams(const std::vector<Loop>& loops) {
    std::vector<float> P, C;
    std::vector<int> sizes;
    for (const Loop& l : loops) {
        sizes.push_back(int(l.size() / 2));
        for (std::size_t i = 0; i < l.size(); i += 2) {
            P.insert(P.end(), {l[i], l[i + 1], 0.0f});
            const Color c = affine(Point(l[i], l[i + 1], 0.0f));
            C.insert(C.end(), {c.r, c.g, c.b});
        }
    }
    return "vertex point P = " + text(P) + "; vertex color C = " + text(C) +
           (loops.size() == 1 ? "; int nvertices = " + ints(sizes)
                              : "; int nloops = " + std::to_string(loops.size()) +
                                    "; int[] nvertices = " + ints(sizes));
}

Loop star(int points, float outer, float inner) {
    Loop l;
    for (int i = 0; i < 2 * points; ++i) {
        const float a = Pi * i / points, r = i % 2 ? inner : outer;
        l.insert(l.end(), {r * std::cos(a), r * std::sin(a)});
    }
    return l;
}

std::vector<std::vector<Loop>> shapes() {
    std::vector<std::vector<Loop>> s;
    // A square with two holes, one turning each way, and a triangular one.
    s.push_back({Loop{0, 0, 4, 0, 4, 4, 0, 4}, Loop{0.5f, 0.5f, 1.5f, 0.5f, 1.5f, 1.5f, 0.5f, 1.5f},
                 Loop{2.5f, 2.5f, 2.5f, 3.5f, 3.5f, 3.5f, 3.5f, 2.5f},
                 Loop{2.0f, 0.5f, 3.5f, 0.5f, 2.75f, 2.0f}});
    // A star with a hole in the middle and holes in two of its arms.
    s.push_back({star(5, 2.0f, 0.8f), Loop{-0.3f, -0.3f, 0.3f, -0.3f, 0.3f, 0.3f, -0.3f, 0.3f},
                 Loop{1.2f, -0.1f, 1.6f, 0.0f, 1.2f, 0.1f},
                 Loop{0.3f, 1.0f, 0.45f, 1.05f, 0.37f, 1.3f}});
    // A grid of aligned square holes, turning alternately, in a square: many bridges that
    // tie in x and in y.
    std::vector<Loop> grid{Loop{0, 0, 9, 0, 9, 9, 0, 9}};
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            const float x = 1.0f + 2.0f * i, y = 1.0f + 2.0f * j;
            if ((i + j) % 2)
                grid.push_back(Loop{x, y, x + 1, y, x + 1, y + 1, x, y + 1});
            else
                grid.push_back(Loop{x, y, x, y + 1, x + 1, y + 1, x + 1, y});
        }
    s.push_back(grid);
    return s;
}

TEST(Polygon, ConcaveAndHoledPolygonsCoverExactlyTheirInside) {
    TestRenderer r;
    Rng rng(5);
    for (const std::vector<Loop>& loops : shapes()) {
        Reference<Shape> s = made(r, "polygon", polygonParams(loops));
        double expectedArea = std::fabs(shoelace(loops[0]));
        for (std::size_t h = 1; h < loops.size(); ++h)
            expectedArea -= std::fabs(shoelace(loops[h]));
        EXPECT_NEAR(s->area(), expectedArea, 1e-4 * expectedArea);
        const Aabb box = s->objectExtent();
        int in = 0, out = 0;
        for (int i = 0; i < 4000; ++i) {
            const float x = rng.range(box.bmin[0] - 0.2f, box.bmax[0] + 0.2f);
            const float y = rng.range(box.bmin[1] - 0.2f, box.bmax[1] + 0.2f);
            if (edgeDistance(loops, x, y) < 1e-4f) continue;
            const bool expected = insideReference(loops, x, y);
            const Ray ray(Point(x, y, 3), Vector(0, 0, -1.5f));
            Hit h;
            ASSERT_EQ(s->intersect(ray, h), expected) << x << ", " << y;
            (expected ? in : out) += 1;
            if (!expected) continue;
            EXPECT_NEAR(h.t, 2.0f, 1e-5f);
            // The triangle and barycentrics found reproduce the affine colour.
            EXPECT_TRUE(near(Tuple(at(s->getCs(), h)), Tuple(affine(h.env.P)), 1e-4f))
                << x << ", " << y;
        }
        EXPECT_GT(in, 200);
        EXPECT_GT(out, 200);
        // Samples land inside, never in a hole, and carry their own barycentrics.
        Hit sampled;
        for (int i = 0; i < 2000; ++i) {
            s->sample(sampled.env, Point(0.0f), rng.next(), rng.next());
            const Point& P = sampled.env.P;
            EXPECT_TRUE(insideReference(loops, P.x, P.y) || edgeDistance(loops, P.x, P.y) < 1e-4f)
                << P.x << ", " << P.y;
            EXPECT_TRUE(near(Tuple(at(s->getCs(), sampled)), Tuple(affine(P)), 1e-4f));
        }
    }
}

// Per-vertex values are checked above and below; here one per piece and a constant. A "P" that
// tells its length gives the number of vertices.
TEST(Polygon, PrimitiveVariablesPerPieceAndConstantAndThePointCount) {
    TestRenderer r;
    Reference<Shape> s = made(r, "polygon",
                              "vertex point P = 0 0 0 2 0 0 2 2 0 0 2 0; int nvertices = 4; "
                              "perpiece color opacity = 0.5 0.25 1; normal N = 0 0 1");
    ASSERT_TRUE(s->getOs() && s->getN());
    const Hit h = hitDown(*s, 0.5f, 1.5f, 1);
    EXPECT_TRUE(
        near(Tuple(s->getOs()->valueAt(h.env.face, 0.1f, 0.1f)), Tuple(0.5f, 0.25f, 1.0f), 0.0f));
    EXPECT_TRUE(near(s->getN()->valueAt(h.env.face, 0.3f, 0.3f), Normal(0, 0, 1), 0.0f));
    EXPECT_FLOAT_EQ(made(r, "polygon", "vertex point P = 0 0 0 1 0 0 1 1 0")->area(), 0.5f);
}

const Color Corner[4] = {Color(1, 0, 0), Color(0, 1, 0), Color(0, 0, 1), Color(1, 1, 1)};

template <class T>
T bilinear(const T (&c)[4], float s, float t) {
    return T((1 - t) * ((1 - s) * c[0] + s * c[1]) + t * ((1 - s) * c[3] + s * c[2]));
}

// All seen from +z: the rays come down along -z. The non-planar quad is a saddle over the xy
// square, so its hits seen from above project to the very (s, t) aimed at.
const struct {
    const char* name;
    Point quad[4];  // at (0,0), (1,0), (1,1), (0,1)
} Cases[] = {
    {"square", {Point(-1, -1, 0), Point(1, -1, 0), Point(1, 1, 0), Point(-1, 1, 0)}},
    {"trapezoid", {Point(0, 0, 0), Point(4, 0, 0), Point(3, 1, 0), Point(1, 1, 0)}},
    {"convex quad", {Point(0, 0, 0), Point(3, -0.5f, 0), Point(2.5f, 2, 0), Point(-0.5f, 1.5f, 0)}},
    {"non-planar", {Point(0, 0, 0), Point(2, 0, 0.5f), Point(2, 2, 0), Point(0, 2, 0.5f)}},
};

// A lone polygon, and a mesh where the quad has a triangle beside it that stays linear. Every
// (s, t) of a grid gives the corners' bilinear colour (no seam along the diagonal), and the
// derivatives along the triangle's barycentrics are those of the bilinear colour.
TEST(QuadVertexVariables, QuadsAreBilinearInPolygonsAndMeshes) {
    for (const bool mesh : {false, true})
        for (const auto& c : Cases) {
            SCOPED_TRACE(std::string(mesh ? "polygonMesh " : "polygon ") + c.name);
            TestRenderer r;
            std::vector<float> xyz;
            for (const Point& p : c.quad) xyz.insert(xyz.end(), {p.x, p.y, p.z});
            const Point apex(c.quad[0].x - 1, c.quad[0].y - 1, 0);
            const std::string params =
                mesh ? "vertex point P = " + text(xyz) + text({apex.x, apex.y, apex.z}) +
                           "; vertex color C = 1 0 0 0 1 0 0 0 1 1 1 1 0 0 0; int nvertices = 4 "
                           "3; int vertices = 0 1 2 3 4 1 0"
                     : "vertex point P = " + text(xyz) +
                           "; vertex color C = 1 0 0 0 1 0 0 0 1 1 1 1; int nvertices = 4";
            Reference<Shape> shape = made(r, mesh ? "polygonMesh" : "polygon", params);
            ASSERT_TRUE(shape->getCs());
            const Interpolator<Color>& cs = *shape->getCs();
            auto hitAt = [&](const Point& p) { return hitDown(*shape, p.x, p.y); };
            for (int i = 0; i <= 8; ++i)
                for (int j = 0; j <= 8; ++j) {
                    const float s = 0.02f + 0.96f * float(i) / 8, t = 0.02f + 0.96f * float(j) / 8;
                    const Hit h = hitAt(bilinear(c.quad, s, t));
                    const unsigned f = h.env.face;
                    const float u = h.env.su, v = h.env.sv, e = 1e-3f;
                    EXPECT_TRUE(near(Tuple(at(&cs, h)), Tuple(bilinear(Corner, s, t)), 1e-4f))
                        << s << ", " << t;
                    const Color du = (cs.valueAt(f, u + e, v) - cs.valueAt(f, u - e, v)) / (2 * e);
                    const Color dv = (cs.valueAt(f, u, v + e) - cs.valueAt(f, u, v - e)) / (2 * e);
                    EXPECT_TRUE(near(Tuple(cs.derivativeUAt(f, u, v)), Tuple(du), 2e-3f));
                    EXPECT_TRUE(near(Tuple(cs.derivativeVAt(f, u, v)), Tuple(dv), 2e-3f));
                }
            if (!mesh) continue;
            // The triangle's centroid takes the mean of its three corners.
            const Hit h = hitDown(*shape, (apex.x + c.quad[1].x + c.quad[0].x) / 3,
                                  (apex.y + c.quad[1].y + c.quad[0].y) / 3);
            EXPECT_TRUE(
                near(Tuple(at(&cs, h)), Tuple((Corner[0] + Corner[1]) * (1.0f / 3.0f)), 1e-4f));
        }
}

}  // namespace
