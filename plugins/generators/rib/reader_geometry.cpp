// Geometry requests. Every count a primitive implies (vertices, pieces, knots) is checked
// against the data before the renderer sees it: the renderer reads as many values as the
// primitive needs and trusts that they are there.
#include <algorithm>

#include "plugins/generators/rib/args.h"
#include "plugins/generators/rib/reader.h"

namespace ovo {
namespace rib {

namespace {

// The value of the parameter with this bare name, however it is declared; null if absent.
const Value* findParam(const Request& r, std::size_t first, const DeclarationTable& decls,
                       const char* wanted, Declaration& decl) {
    for (std::size_t i = first; i + 1 < r.args.size(); i += 2) {
        const Value& key = r.args[i];
        if (!key.isText() || key.size() != 1) continue;
        std::string name;
        if (decls.resolve(key.strings[0], decl, name) == DeclParse::Ok && name == wanted)
            return &r.args[i + 1];
    }
    return nullptr;
}

bool hasPosition(const Request& r, std::size_t first, const DeclarationTable& decls) {
    Declaration d;
    return findParam(r, first, decls, "P", d) || findParam(r, first, decls, "Pw", d) ||
           findParam(r, first, decls, "Pz", d);
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

template <class T>
void wrapGrid(std::vector<T>& data, std::size_t nu, std::size_t nv, std::size_t eu,
              std::size_t ev) {
    std::size_t k = data.size() / (nu * nv);
    std::vector<T> out;
    out.reserve((nu + eu) * (nv + ev) * k);
    for (std::size_t v = 0; v < nv + ev; ++v)
        for (std::size_t u = 0; u < nu + eu; ++u)
            for (std::size_t c = 0; c < k; ++c)
                out.push_back(data[((v % nv) * nu + u % nu) * k + c]);
    data.swap(out);
}

// Periodic patch-mesh data in the layout of the equivalent nonperiodic mesh: the first
// columns (rows) repeated after the last.
void wrapGrid(Emitted& e, std::size_t nu, std::size_t nv, std::size_t eu, std::size_t ev) {
    if (nu == 0 || nv == 0 || (eu == 0 && ev == 0)) return;
    switch (e.kind) {
        case Emitted::Floats:
            wrapGrid(e.floats, nu, nv, eu, ev);
            break;
        case Emitted::Ints:
            wrapGrid(e.ints, nu, nv, eu, ev);
            break;
        case Emitted::Strings:
            wrapGrid(e.strings, nu, nv, eu, ev);
            break;
    }
}

template <class T>
void wrapCurves(std::vector<T>& data, const std::vector<std::size_t>& counts, std::size_t total,
                std::size_t extra) {
    std::size_t k = data.size() / total;
    std::vector<T> out;
    std::size_t start = 0;
    for (std::size_t n : counts) {
        for (std::size_t i = 0; i < n + extra; ++i)
            for (std::size_t c = 0; c < k; ++c) out.push_back(data[(start + i % n) * k + c]);
        start += n;
    }
    data.swap(out);
}

// Periodic curve data as nonperiodic curves: each curve repeats its first values.
void wrapCurves(Emitted& e, const std::vector<std::size_t>& counts, std::size_t extra) {
    std::size_t total = 0;
    for (std::size_t n : counts) total += n;
    if (total == 0 || extra == 0) return;
    switch (e.kind) {
        case Emitted::Floats:
            wrapCurves(e.floats, counts, total, extra);
            break;
        case Emitted::Ints:
            wrapCurves(e.ints, counts, total, extra);
            break;
        case Emitted::Strings:
            wrapCurves(e.strings, counts, total, extra);
            break;
    }
}

bool nondecreasing(const std::vector<double>& v) {
    for (std::size_t i = 1; i < v.size(); ++i)
        if (v[i] < v[i - 1]) return false;
    return true;
}

std::vector<float> floats(const std::vector<double>& v) {
    std::vector<float> out(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) out[i] = toFloat(v[i]);
    return out;
}

constexpr long long MaxCount = 1LL << 30;  // bigger than any primitive that fits in memory

}  // namespace

bool Reader::quadric(const Request& request, int n, double* values, std::vector<Emitted>& params) {
    Args a(request);
    if (!a.numbers(n, values)) return fail(request, a.error()), false;
    if (!geometryAllowed(request)) return false;
    Counts counts;
    counts.varying = counts.vertex = counts.facevarying = 4;  // the four corners of (u, v)
    if (!collectParams(request, a.next(), ParamUse::Geometry, params, &counts)) return false;
    emitParams(params);
    return true;
}

void Reader::doSphere(const Request& request) {
    double v[4];
    std::vector<Emitted> params;
    if (quadric(request, 4, v, params))
        renderer->Sphere(toFloat(v[0]), toFloat(v[1]), toFloat(v[2]), toFloat(v[3]));
}

void Reader::doCone(const Request& request) {
    double v[3];
    std::vector<Emitted> params;
    if (quadric(request, 3, v, params)) renderer->Cone(toFloat(v[0]), toFloat(v[1]), toFloat(v[2]));
}

void Reader::doCylinder(const Request& request) {
    double v[4];
    std::vector<Emitted> params;
    if (quadric(request, 4, v, params))
        renderer->Cylinder(toFloat(v[0]), toFloat(v[1]), toFloat(v[2]), toFloat(v[3]));
}

void Reader::doDisk(const Request& request) {
    double v[3];
    std::vector<Emitted> params;
    if (quadric(request, 3, v, params))
        renderer->Disk(toFloat(v[0]), 0.0f, toFloat(v[1]), toFloat(v[2]));
}

void Reader::doHyperboloid(const Request& request) {
    double v[7];
    std::vector<Emitted> params;
    if (!quadric(request, 7, v, params)) return;
    float p1[3] = {toFloat(v[0]), toFloat(v[1]), toFloat(v[2])};
    float p2[3] = {toFloat(v[3]), toFloat(v[4]), toFloat(v[5])};
    renderer->Hyperboloid(p1, p2, toFloat(v[6]));
}

void Reader::doParaboloid(const Request& request) {
    double v[4];
    std::vector<Emitted> params;
    if (quadric(request, 4, v, params))
        renderer->Paraboloid(toFloat(v[0]), toFloat(v[1]), toFloat(v[2]), toFloat(v[3]));
}

void Reader::doTorus(const Request& request) {
    double v[5];
    std::vector<Emitted> params;
    if (quadric(request, 5, v, params))
        renderer->Torus(toFloat(v[0]), toFloat(v[1]), toFloat(v[2]), toFloat(v[3]), toFloat(v[4]));
}

void Reader::doPolygon(const Request& request) {
    if (!geometryAllowed(request)) return;
    Declaration d;
    const Value* p = findParam(request, 0, decls, "P", d);
    if (!p) p = findParam(request, 0, decls, "Pw", d);
    if (!p) return fail(request, "missing \"P\"");
    std::size_t per = std::size_t(d.elements());
    if (p->size() % per != 0)
        return fail(request, "\"P\" holds " + std::to_string(p->size()) +
                                 " values, not a multiple of " + std::to_string(per));
    std::size_t n = p->size() / per;
    if (n < 3) return fail(request, "needs at least 3 vertices");
    Counts counts;
    counts.varying = counts.vertex = counts.facevarying = n;
    std::vector<Emitted> params;
    if (!collectParams(request, 0, ParamUse::Geometry, params, &counts)) return;
    emitParams(params);
    renderer->Polygon(int(n));
}

void Reader::doGeneralPolygon(const Request& request) {
    Args a(request);
    std::vector<int> nverts;
    if (!a.intArray(nverts)) return fail(request, a.error());
    if (!geometryAllowed(request)) return;
    if (nverts.empty()) return fail(request, "needs at least one loop");
    long long total = 0;
    for (int n : nverts) {
        if (n < 3) return fail(request, "every loop needs at least 3 vertices");
        total += n;
    }
    if (total > MaxCount) return fail(request, "too many vertices");
    if (!hasPosition(request, a.next(), decls)) return fail(request, "missing \"P\"");
    Counts counts;
    counts.varying = counts.vertex = counts.facevarying = std::size_t(total);
    std::vector<Emitted> params;
    if (!collectParams(request, a.next(), ParamUse::Geometry, params, &counts)) return;
    emitParams(params);
    renderer->Polygon(int(nverts.size()), nverts.data());
}

void Reader::doPointsPolygons(const Request& request) {
    Args a(request);
    std::vector<int> nverts, verts;
    if (!a.intArray(nverts) || !a.intArray(verts)) return fail(request, a.error());
    if (!geometryAllowed(request)) return;
    long long total = 0;
    for (int n : nverts) {
        if (n < 3) return fail(request, "every polygon needs at least 3 vertices");
        total += n;
    }
    if (total != (long long)verts.size())
        return fail(request, "expected " + std::to_string(total) + " vertex indices, got " +
                                 std::to_string(verts.size()));
    if (nverts.empty()) return;  // an empty mesh makes nothing
    int top = *std::max_element(verts.begin(), verts.end());
    if (*std::min_element(verts.begin(), verts.end()) < 0 || top >= MaxCount)
        return fail(request, "bad vertex index");
    if (!hasPosition(request, a.next(), decls)) return fail(request, "missing \"P\"");
    Counts counts;
    counts.uniform = nverts.size();
    counts.varying = counts.vertex = std::size_t(top) + 1;
    counts.facevarying = std::size_t(total);
    std::vector<Emitted> params;
    if (!collectParams(request, a.next(), ParamUse::Geometry, params, &counts)) return;
    emitParams(params);
    renderer->Mesh("linear", int(nverts.size()), nverts.data(), verts.data());
}

void Reader::doPointsGeneralPolygons(const Request& request) {
    Args a(request);
    std::vector<int> nloops, nverts, verts;
    if (!a.intArray(nloops) || !a.intArray(nverts) || !a.intArray(verts))
        return fail(request, a.error());
    if (!geometryAllowed(request)) return;
    long long loops = 0, total = 0;
    for (int n : nloops) {
        if (n < 1) return fail(request, "every polygon needs at least one loop");
        loops += n;
    }
    if (loops != (long long)nverts.size())
        return fail(request, "expected " + std::to_string(loops) + " loop sizes, got " +
                                 std::to_string(nverts.size()));
    for (int n : nverts) {
        if (n < 3) return fail(request, "every loop needs at least 3 vertices");
        total += n;
    }
    if (total != (long long)verts.size())
        return fail(request, "expected " + std::to_string(total) + " vertex indices, got " +
                                 std::to_string(verts.size()));
    if (nloops.empty()) return;
    int top = *std::max_element(verts.begin(), verts.end());
    if (*std::min_element(verts.begin(), verts.end()) < 0 || top >= MaxCount)
        return fail(request, "bad vertex index");
    if (!hasPosition(request, a.next(), decls)) return fail(request, "missing \"P\"");
    Counts counts;
    counts.uniform = nloops.size();
    counts.varying = counts.vertex = std::size_t(top) + 1;
    counts.facevarying = std::size_t(total);
    std::vector<Emitted> params;
    if (!collectParams(request, a.next(), ParamUse::Geometry, params, &counts)) return;
    emitParams(params);
    renderer->Mesh("linear", int(nloops.size()), nloops.data(), nverts.data(), verts.data());
}

void Reader::doSubdivisionMesh(const Request& request) {
    Args a(request);
    std::string scheme;
    std::vector<int> nverts, verts, nargs, intargs;
    std::vector<std::string> tags;
    std::vector<double> floatargs;
    if (!a.string(scheme) || !a.intArray(nverts) || !a.intArray(verts))
        return fail(request, a.error());
    if (a.more() && a.peek().isArray()) {
        if (!a.stringArray(tags) || !a.intArray(nargs) || !a.intArray(intargs) ||
            !a.numberArray(floatargs))
            return fail(request, a.error());
    }
    if (!geometryAllowed(request)) return;
    const char* type = nullptr;
    if (scheme == "catmull-clark") type = "catmull-clark";
    if (scheme == "bilinear") type = "linear";  // its limit surface is the polygon mesh
    if (!type) {
        warnOnce(request, "SubdivisionMesh:" + scheme,
                 "SubdivisionMesh scheme \"" + scheme + "\" is not supported. Ignoring ...");
        return;
    }
    long long total = 0;
    for (int n : nverts) {
        if (n < 3) return fail(request, "every face needs at least 3 vertices");
        total += n;
    }
    if (total != (long long)verts.size())
        return fail(request, "expected " + std::to_string(total) + " vertex indices, got " +
                                 std::to_string(verts.size()));
    if (nargs.size() != 2 * tags.size())
        return fail(request, "expected " + std::to_string(2 * tags.size()) +
                                 " tag argument counts, got " + std::to_string(nargs.size()));
    long long nint = 0, nfloat = 0;
    for (std::size_t i = 0; i < nargs.size(); ++i) {
        if (nargs[i] < 0) return fail(request, "bad tag argument count");
        (i % 2 ? nfloat : nint) += nargs[i];
    }
    if (nint != (long long)intargs.size() || nfloat != (long long)floatargs.size())
        return fail(request, "the tag arguments do not match their counts");
    if (nverts.empty()) return;
    int top = *std::max_element(verts.begin(), verts.end());
    if (*std::min_element(verts.begin(), verts.end()) < 0 || top >= MaxCount)
        return fail(request, "bad vertex index");
    if (!hasPosition(request, a.next(), decls)) return fail(request, "missing \"P\"");
    Counts counts;
    counts.uniform = nverts.size();
    counts.varying = counts.vertex = std::size_t(top) + 1;
    counts.facevarying = std::size_t(total);
    std::vector<Emitted> params;
    if (!collectParams(request, a.next(), ParamUse::Geometry, params, &counts)) return;
    if (!tags.empty() && scheme == "catmull-clark") {
        // Creases, corners and boundary rules travel as parameters of fixed length.
        Emitted t, n, i, f;
        t.kind = Emitted::Strings;
        t.decl = "string[" + std::to_string(tags.size()) + "] tags";
        t.strings = tags;
        n.kind = Emitted::Ints;
        n.decl = "int[" + std::to_string(nargs.size()) + "] nargs";
        n.ints = nargs;
        params.push_back(t);
        params.push_back(n);
        if (!intargs.empty()) {
            i.kind = Emitted::Ints;
            i.decl = "int[" + std::to_string(intargs.size()) + "] intargs";
            i.ints = intargs;
            params.push_back(i);
        }
        if (!floatargs.empty()) {
            f.kind = Emitted::Floats;
            f.decl = "float[" + std::to_string(floatargs.size()) + "] floatargs";
            f.floats = floats(floatargs);
            params.push_back(f);
        }
    }
    emitParams(params);
    renderer->Mesh(type, int(nverts.size()), nverts.data(), verts.data());
}

void Reader::doPatch(const Request& request) {
    Args a(request);
    std::string type;
    if (!a.string(type)) return fail(request, a.error());
    if (type != "bilinear" && type != "bicubic")
        return fail(request, "unknown patch type \"" + type + "\"");
    if (!geometryAllowed(request)) return;
    if (!hasPosition(request, a.next(), decls)) return fail(request, "missing \"P\"");
    bool cubic = type == "bicubic";
    if (cubic && scoped.ubasis != scoped.vbasis)
        warnOnce(request, "Patch:basis",
                 request.name + ": different u and v bases are not supported. Using \"" +
                     scoped.ubasis + "\" ...");
    Counts counts;
    counts.varying = counts.facevarying = 4;
    counts.vertex = cubic ? 16 : 4;
    std::vector<Emitted> params;
    if (!collectParams(request, a.next(), ParamUse::Geometry, params, &counts)) return;
    emitParams(params);
    if (cubic)
        renderer->Patch(scoped.ubasis.c_str(), 4, 4);
    else
        renderer->Patch("linear", 2, 2);
}

void Reader::doPatchMesh(const Request& request) {
    Args a(request);
    std::string type, uwrap, vwrap;
    int nu = 0, nv = 0;
    if (!a.string(type) || !a.integer(nu) || !a.string(uwrap) || !a.integer(nv) || !a.string(vwrap))
        return fail(request, a.error());
    if (type != "bilinear" && type != "bicubic")
        return fail(request, "unknown patch type \"" + type + "\"");
    for (const std::string* w : {&uwrap, &vwrap})
        if (*w != "periodic" && *w != "nonperiodic")
            return fail(request, "unknown wrap mode \"" + *w + "\"");
    if (!geometryAllowed(request)) return;
    bool cubic = type == "bicubic";
    if (cubic && scoped.ubasis != scoped.vbasis)
        warnOnce(request, "Patch:basis",
                 request.name + ": different u and v bases are not supported. Using \"" +
                     scoped.ubasis + "\" ...");

    // Patches, varying values and the vertices a periodic direction must repeat.
    struct Direction {
        long long patches, varying, extra;
    };
    auto direction = [&](int n, bool periodic, int step, Direction& d) -> bool {
        if (n > MaxCount) return false;
        if (!cubic) {
            if (n < 2) return false;
            d.patches = periodic ? n : n - 1;
            d.varying = n;
            d.extra = periodic ? 1 : 0;
            return true;
        }
        if (periodic) {
            if (n < step || n % step != 0) return false;
            d.patches = n / step;
            d.varying = d.patches;
            d.extra = 4 - step;
        } else {
            if (n < 4 || (n - 4) % step != 0) return false;
            d.patches = (n - 4) / step + 1;
            d.varying = d.patches + 1;
            d.extra = 0;
        }
        return true;
    };
    Direction du, dv;
    bool uperiodic = uwrap == "periodic", vperiodic = vwrap == "periodic";
    if (!direction(nu, uperiodic, scoped.ustep, du))
        return fail(request, "bad number of vertices in u: " + std::to_string(nu));
    if (!direction(nv, vperiodic, scoped.vstep, dv))
        return fail(request, "bad number of vertices in v: " + std::to_string(nv));
    if ((long long)nu * nv > MaxCount) return fail(request, "too many vertices");
    if (!hasPosition(request, a.next(), decls)) return fail(request, "missing \"P\"");
    Counts counts;
    counts.uniform = std::size_t(du.patches * dv.patches);
    counts.varying = counts.facevarying = std::size_t(du.varying * dv.varying);
    counts.vertex = std::size_t(nu) * std::size_t(nv);
    std::vector<Emitted> params;
    if (!collectParams(request, a.next(), ParamUse::Geometry, params, &counts)) return;
    // OVO's patch meshes are nonperiodic: a periodic direction repeats its first vertices.
    for (Emitted& e : params) {
        if (startsWith(e.decl, "vertex "))
            wrapGrid(e, std::size_t(nu), std::size_t(nv), std::size_t(du.extra),
                     std::size_t(dv.extra));
        else if (startsWith(e.decl, "linear "))
            wrapGrid(e, std::size_t(du.varying), std::size_t(dv.varying), uperiodic ? 1 : 0,
                     vperiodic ? 1 : 0);
    }
    emitParams(params);
    int mu = nu + int(du.extra), mv = nv + int(dv.extra);
    renderer->Patch(cubic ? scoped.ubasis.c_str() : "linear", mu, mv);
}

void Reader::doNuPatch(const Request& request) {
    Args a(request);
    int nu = 0, uorder = 0, nv = 0, vorder = 0;
    std::vector<double> uknot, vknot;
    double urange[2], vrange[2];
    if (!a.integer(nu) || !a.integer(uorder) || !a.numberArray(uknot) || !a.numbers(2, urange) ||
        !a.integer(nv) || !a.integer(vorder) || !a.numberArray(vknot) || !a.numbers(2, vrange))
        return fail(request, a.error());
    if (!geometryAllowed(request)) return;
    if (uorder < 1 || vorder < 1 || nu < uorder || nv < vorder || nu > MaxCount || nv > MaxCount ||
        (long long)nu * nv > MaxCount)
        return fail(request, "bad vertex counts or orders");
    if ((long long)uknot.size() != (long long)nu + uorder)
        return fail(request, "expected " + std::to_string(nu + uorder) + " u knots, got " +
                                 std::to_string(uknot.size()));
    if ((long long)vknot.size() != (long long)nv + vorder)
        return fail(request, "expected " + std::to_string(nv + vorder) + " v knots, got " +
                                 std::to_string(vknot.size()));
    if (!nondecreasing(uknot) || !nondecreasing(vknot))
        return fail(request, "the knots must not decrease");
    if (!hasPosition(request, a.next(), decls)) return fail(request, "missing \"P\"");
    Counts counts;
    counts.uniform = std::size_t(nu - uorder + 1) * std::size_t(nv - vorder + 1);
    counts.varying = counts.facevarying =
        std::size_t(nu - uorder + 2) * std::size_t(nv - vorder + 2);
    counts.vertex = std::size_t(nu) * std::size_t(nv);
    std::vector<Emitted> params;
    if (!collectParams(request, a.next(), ParamUse::Geometry, params, &counts)) return;
    emitParams(params);
    std::vector<float> uk = floats(uknot), vk = floats(vknot);
    renderer->Patch(nu, uorder, uk.data(), toFloat(urange[0]), toFloat(urange[1]), nv, vorder,
                    vk.data(), toFloat(vrange[0]), toFloat(vrange[1]));
}

void Reader::doTrimCurve(const Request& request) {
    Args a(request);
    std::vector<int> ncurves, order, n;
    std::vector<double> knot, min, max, u, v, w;
    if (!a.intArray(ncurves) || !a.intArray(order) || !a.numberArray(knot) || !a.numberArray(min) ||
        !a.numberArray(max) || !a.intArray(n) || !a.numberArray(u) || !a.numberArray(v) ||
        !a.numberArray(w) || !a.end())
        return fail(request, a.error());
    long long curves = 0, knots = 0, points = 0;
    for (int c : ncurves) {
        if (c < 1) return fail(request, "every loop needs at least one curve");
        curves += c;
    }
    if ((long long)order.size() != curves || (long long)min.size() != curves ||
        (long long)max.size() != curves || (long long)n.size() != curves)
        return fail(request,
                    "expected " + std::to_string(curves) + " orders, ranges and vertex counts");
    for (long long i = 0; i < curves; ++i) {
        if (order[i] < 1 || n[i] < order[i] || n[i] > MaxCount)
            return fail(request, "bad order or vertex count");
        knots += (long long)n[i] + order[i];
        points += n[i];
    }
    if ((long long)knot.size() != knots)
        return fail(request, "expected " + std::to_string(knots) + " knots, got " +
                                 std::to_string(knot.size()));
    if ((long long)u.size() != points || (long long)v.size() != points ||
        (long long)w.size() != points)
        return fail(request, "expected " + std::to_string(points) + " values in u, v and w");
    std::vector<float> P;
    P.reserve(std::size_t(points) * 3);
    for (long long i = 0; i < points; ++i) {
        P.push_back(toFloat(u[i]));
        P.push_back(toFloat(v[i]));
        P.push_back(toFloat(w[i]));
    }
    std::vector<float> k = floats(knot), lo = floats(min), hi = floats(max);
    renderer->TrimCurve(int(ncurves.size()), ncurves.data(), n.data(), order.data(), k.data(),
                        lo.data(), hi.data(), P.data());
}

void Reader::doCurves(const Request& request) {
    Args a(request);
    std::string type, wrap;
    std::vector<int> nverts;
    if (!a.string(type) || !a.intArray(nverts) || !a.string(wrap)) return fail(request, a.error());
    if (type != "linear" && type != "cubic")
        return fail(request, "unknown curve type \"" + type + "\"");
    if (wrap != "periodic" && wrap != "nonperiodic")
        return fail(request, "unknown wrap mode \"" + wrap + "\"");
    if (!geometryAllowed(request)) return;
    if (nverts.empty()) return;
    bool cubic = type == "cubic", periodic = wrap == "periodic";
    int step = scoped.vstep;
    std::vector<std::size_t> vertexCounts, varyingCounts;
    long long vertices = 0, varying = 0;
    for (int n : nverts) {
        long long segments;
        if (!cubic) {
            if (n < 2) return fail(request, "every curve needs at least 2 vertices");
            segments = periodic ? n : n - 1;
        } else if (periodic) {
            if (n < step || n % step != 0)
                return fail(request, "bad curve vertex count " + std::to_string(n));
            segments = n / step;
        } else {
            if (n < 4 || (n - 4) % step != 0)
                return fail(request, "bad curve vertex count " + std::to_string(n));
            segments = (n - 4) / step + 1;
        }
        long long vary = periodic ? segments : segments + 1;
        vertexCounts.push_back(std::size_t(n));
        varyingCounts.push_back(std::size_t(vary));
        vertices += n;
        varying += vary;
        if (vertices > MaxCount) return fail(request, "too many vertices");
    }
    if (!hasPosition(request, a.next(), decls)) return fail(request, "missing \"P\"");
    Counts counts;
    counts.uniform = nverts.size();
    counts.varying = counts.facevarying = std::size_t(varying);
    counts.vertex = std::size_t(vertices);
    std::vector<Emitted> params;
    if (!collectParams(request, a.next(), ParamUse::Geometry, params, &counts)) return;
    if (periodic) {
        // OVO's curves are open: a closed curve repeats its first vertices.
        std::size_t extra = cubic ? std::size_t(4 - step) : 1;
        for (Emitted& e : params) {
            if (startsWith(e.decl, "vertex "))
                wrapCurves(e, vertexCounts, extra);
            else if (startsWith(e.decl, "linear "))
                wrapCurves(e, varyingCounts, 1);
        }
        for (int& n : nverts) n += int(extra);
    }
    emitParams(params);
    const char* basis = cubic ? scoped.vbasis.c_str() : "linear";
    renderer->Curves(basis, int(nverts.size()), nverts.data());
}

void Reader::doPoints(const Request& request) {
    if (!geometryAllowed(request)) return;
    Declaration d;
    const Value* p = findParam(request, 0, decls, "P", d);
    if (!p) return fail(request, "missing \"P\"");
    std::size_t per = std::size_t(d.elements());
    if (p->size() % per != 0)
        return fail(request, "\"P\" holds " + std::to_string(p->size()) +
                                 " values, not a multiple of " + std::to_string(per));
    std::size_t n = p->size() / per;
    if (n == 0) return;
    if (n > std::size_t(MaxCount)) return fail(request, "too many points");
    Counts counts;
    counts.varying = counts.vertex = counts.facevarying = n;
    std::vector<Emitted> params;
    if (!collectParams(request, 0, ParamUse::Geometry, params, &counts)) return;
    emitParams(params);
    renderer->Points(int(n));
}

}  // namespace rib
}  // namespace ovo
