// Geometry requests. Every count a primitive implies (vertices, pieces, knots) is checked
// against the data before the renderer sees it: the renderer reads as many values as the
// primitive needs and trusts that they are there.
#include <algorithm>

#include "plugins/generators/rib/args.h"
#include "plugins/generators/rib/reader.h"
#include "plugins/generators/rib/teapot.h"

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

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Calls `op` on whichever value array the parameter holds.
template <class Op>
void onValues(Emitted& e, Op op) {
    switch (e.kind) {
        case Emitted::Floats:
            op(e.floats);
            break;
        case Emitted::Ints:
            op(e.ints);
            break;
        case Emitted::Strings:
            op(e.strings);
            break;
    }
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
    onValues(e, [&](auto& data) { wrapGrid(data, nu, nv, eu, ev); });
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
    onValues(e, [&](auto& data) { wrapCurves(data, counts, total, extra); });
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

// One direction of a patch mesh, or one curve: its pieces, the varying values along it,
// and the vertices a periodic one repeats to become nonperiodic. False when `n` vertices
// do not make whole pieces with this basis step (linear pieces ignore the step).
struct Span {
    long long pieces, varying, extra;
};
bool spanOf(int n, bool periodic, bool cubic, int step, Span& s) {
    if (!cubic) {
        if (n < 2) return false;
        s.pieces = periodic ? n : n - 1;
        s.varying = n;
        s.extra = periodic ? 1 : 0;
        return true;
    }
    if (periodic) {
        if (n < step || n % step != 0) return false;
        s.pieces = n / step;
        s.varying = s.pieces;
        s.extra = step < 4 ? 4 - step : 0;  // a step of 4 or more never wraps a window
    } else {
        if (n < 4 || (n - 4) % step != 0) return false;
        s.pieces = (n - 4) / step + 1;
        s.varying = s.pieces + 1;
        s.extra = 0;
    }
    return true;
}

// Why a subdivision mesh's tag argument counts do not fit its tags and values; empty when
// they do.
std::string tagProblem(std::size_t tags, const std::vector<int>& nargs, std::size_t nint,
                       std::size_t nfloat) {
    if (nargs.size() != 2 * tags)
        return "expected " + std::to_string(2 * tags) + " tag argument counts, got " +
               std::to_string(nargs.size());
    long long ints = 0, reals = 0;
    for (std::size_t i = 0; i < nargs.size(); ++i) {
        if (nargs[i] < 0) return "bad tag argument count";
        (i % 2 ? reals : ints) += nargs[i];
    }
    if (ints != (long long)nint || reals != (long long)nfloat)
        return "the tag arguments do not match their counts";
    return std::string();
}

Emitted intArray(const char* name, const std::vector<int>& values) {
    Emitted e;
    e.kind = Emitted::Ints;
    e.decl = "int[" + std::to_string(values.size()) + "] " + name;
    e.ints = values;
    return e;
}

// Creases, corners and boundary rules travel as parameters of fixed length.
void appendTags(std::vector<Emitted>& params, const std::vector<std::string>& tags,
                const std::vector<int>& nargs, const std::vector<int>& intargs,
                const std::vector<double>& floatargs) {
    Emitted t;
    t.kind = Emitted::Strings;
    t.decl = "string[" + std::to_string(tags.size()) + "] tags";
    t.strings = tags;
    params.push_back(t);
    params.push_back(intArray("nargs", nargs));
    if (!intargs.empty()) params.push_back(intArray("intargs", intargs));
    if (floatargs.empty()) return;
    Emitted f;
    f.kind = Emitted::Floats;
    f.decl = "float[" + std::to_string(floatargs.size()) + "] floatargs";
    f.floats = floats(floatargs);
    params.push_back(f);
}

// The names of the face-varying variables, which arrive as linear data: the subdivision
// surface interpolates them per face corner.
void appendFaceVarying(const Request& r, std::size_t first, const DeclarationTable& decls,
                       std::vector<Emitted>& params) {
    Emitted names;
    names.kind = Emitted::Strings;
    for (std::size_t i = first; i + 1 < r.args.size(); i += 2) {
        const Value& key = r.args[i];
        Declaration decl;
        std::string name;
        if (!key.isText() || key.size() != 1 ||
            decls.resolve(key.strings[0], decl, name) != DeclParse::Ok)
            continue;
        if (decl.storage != StorageClass::FaceVarying && decl.storage != StorageClass::FaceVertex)
            continue;
        names.strings.push_back(name == "Cs" ? "C" : name == "Os" ? "opacity" : name);
    }
    if (names.strings.empty()) return;
    names.decl = "string[" + std::to_string(names.strings.size()) + "] facevarying";
    params.push_back(names);
}

}  // namespace

bool Reader::sendParams(const Request& request, std::size_t first, const Counts& counts,
                        std::vector<Emitted>& params) {
    if (!collectParams(request, first, ParamUse::Geometry, params, &counts)) return false;
    emitParams(params);
    return true;
}

bool Reader::requirePosition(const Request& request, std::size_t first) {
    Declaration d;
    if (findParam(request, first, decls, "P", d) || findParam(request, first, decls, "Pw", d) ||
        findParam(request, first, decls, "Pz", d))
        return true;
    fail(request, "missing \"P\"");
    return false;
}

bool Reader::positionCount(const Request& request, bool homogeneous, std::size_t& n) {
    Declaration d;
    const Value* p = findParam(request, 0, decls, "P", d);
    if (!p && homogeneous) p = findParam(request, 0, decls, "Pw", d);
    if (!p) return fail(request, "missing \"P\""), false;
    std::size_t per = std::size_t(d.elements());
    if (p->size() % per != 0)
        return fail(request, "\"P\" holds " + std::to_string(p->size()) +
                                 " values, not a multiple of " + std::to_string(per)),
               false;
    n = p->size() / per;
    return true;
}

bool Reader::polygonSizes(const Request& request, const std::vector<int>& sizes, const char* item,
                          long long& total, const std::vector<int>* indices) {
    total = 0;
    for (int n : sizes) {
        if (n < 3)
            return fail(request, std::string("every ") + item + " needs at least 3 vertices"),
                   false;
        total += n;
    }
    if (indices && total != (long long)indices->size())
        return fail(request, "expected " + std::to_string(total) + " vertex indices, got " +
                                 std::to_string(indices->size())),
               false;
    return true;
}

bool Reader::meshParams(const Request& request, std::size_t first, std::size_t faces,
                        const std::vector<int>& verts, long long total,
                        std::vector<Emitted>& params) {
    int top = *std::max_element(verts.begin(), verts.end());
    if (*std::min_element(verts.begin(), verts.end()) < 0 || top >= MaxCount)
        return fail(request, "bad vertex index"), false;
    if (!requirePosition(request, first)) return false;
    std::size_t points = std::size_t(top) + 1;
    Counts counts{faces, points, points, std::size_t(total)};
    return collectParams(request, first, ParamUse::Geometry, params, &counts);
}

void Reader::sendBasisParams(bool patch) {
    if (patch && scoped.vbasis != scoped.ubasis)
        renderer->Parameter("string vbasis", scoped.vbasis.c_str());
    if (patch && scoped.ustep != usualStep(scoped.ubasis))
        renderer->Parameter("int ustep", scoped.ustep);
    if (scoped.vstep != usualStep(scoped.vbasis)) renderer->Parameter("int vstep", scoped.vstep);
}

bool Reader::quadric(const Request& request, int n, QuadricCall& call) {
    Args a(request);
    double v[7];
    if (!a.numbers(n, v)) return fail(request, a.error()), false;
    if (!geometryAllowed(request)) return false;
    for (int i = 0; i < n; ++i) call.v[i] = toFloat(v[i]);
    // Four values of each varying class: the corners of (u, v).
    return sendParams(request, a.next(), Counts{1, 4, 4, 4}, call.params);
}

void Reader::doSphere(const Request& request) {
    QuadricCall q;
    if (quadric(request, 4, q)) renderer->Sphere(q.v[0], q.v[1], q.v[2], q.v[3]);
}

void Reader::doCone(const Request& request) {
    QuadricCall q;
    if (quadric(request, 3, q)) renderer->Cone(q.v[0], q.v[1], q.v[2]);
}

void Reader::doCylinder(const Request& request) {
    QuadricCall q;
    if (quadric(request, 4, q)) renderer->Cylinder(q.v[0], q.v[1], q.v[2], q.v[3]);
}

void Reader::doDisk(const Request& request) {
    QuadricCall q;
    if (quadric(request, 3, q)) renderer->Disk(q.v[0], 0.0f, q.v[1], q.v[2]);
}

void Reader::doHyperboloid(const Request& request) {
    QuadricCall q;
    if (quadric(request, 7, q)) renderer->Hyperboloid(q.v, q.v + 3, q.v[6]);
}

void Reader::doParaboloid(const Request& request) {
    QuadricCall q;
    if (quadric(request, 4, q)) renderer->Paraboloid(q.v[0], q.v[1], q.v[2], q.v[3]);
}

void Reader::doTorus(const Request& request) {
    QuadricCall q;
    if (quadric(request, 5, q)) renderer->Torus(q.v[0], q.v[1], q.v[2], q.v[3], q.v[4]);
}

void Reader::doPolygon(const Request& request) {
    if (!geometryAllowed(request)) return;
    std::size_t n = 0;
    if (!positionCount(request, true, n)) return;
    if (n < 3) return fail(request, "needs at least 3 vertices");
    std::vector<Emitted> params;
    if (sendParams(request, 0, Counts{1, n, n, n}, params)) renderer->Polygon(int(n));
}

void Reader::doGeneralPolygon(const Request& request) {
    Args a(request);
    std::vector<int> nverts;
    if (!a.intArray(nverts)) return fail(request, a.error());
    if (!geometryAllowed(request)) return;
    if (nverts.empty()) return fail(request, "needs at least one loop");
    long long total = 0;
    if (!polygonSizes(request, nverts, "loop", total)) return;
    if (total > MaxCount) return fail(request, "too many vertices");
    if (!requirePosition(request, a.next())) return;
    std::size_t n = std::size_t(total);
    std::vector<Emitted> params;
    if (sendParams(request, a.next(), Counts{1, n, n, n}, params))
        renderer->Polygon(int(nverts.size()), nverts.data());
}

void Reader::doPointsPolygons(const Request& request) {
    Args a(request);
    std::vector<int> nverts, verts;
    if (!a.intArray(nverts) || !a.intArray(verts)) return fail(request, a.error());
    if (!geometryAllowed(request)) return;
    long long total = 0;
    if (!polygonSizes(request, nverts, "polygon", total, &verts)) return;
    if (nverts.empty()) return;  // an empty mesh makes nothing
    std::vector<Emitted> params;
    if (!meshParams(request, a.next(), nverts.size(), verts, total, params)) return;
    releaseValues(request);
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
    if (!polygonSizes(request, nverts, "loop", total, &verts)) return;
    if (nloops.empty()) return;
    std::vector<Emitted> params;
    if (!meshParams(request, a.next(), nloops.size(), verts, total, params)) return;
    releaseValues(request);
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
    if (!polygonSizes(request, nverts, "face", total, &verts)) return;
    std::string problem = tagProblem(tags.size(), nargs, intargs.size(), floatargs.size());
    if (!problem.empty()) return fail(request, problem);
    if (nverts.empty()) return;
    std::vector<Emitted> params;
    if (!meshParams(request, a.next(), nverts.size(), verts, total, params)) return;
    if (!tags.empty() && scheme == "catmull-clark")
        appendTags(params, tags, nargs, intargs, floatargs);
    if (scheme == "catmull-clark") appendFaceVarying(request, a.next(), decls, params);
    releaseValues(request);
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
    if (!requirePosition(request, a.next())) return;
    bool cubic = type == "bicubic";
    std::vector<Emitted> params;
    if (!sendParams(request, a.next(), Counts{1, 4, cubic ? 16u : 4u, 4}, params)) return;
    if (cubic) sendBasisParams(true);
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
    Span du, dv;
    bool uperiodic = uwrap == "periodic", vperiodic = vwrap == "periodic";
    if (nu > MaxCount || !spanOf(nu, uperiodic, cubic, scoped.ustep, du))
        return fail(request, "bad number of vertices in u: " + std::to_string(nu));
    if (nv > MaxCount || !spanOf(nv, vperiodic, cubic, scoped.vstep, dv))
        return fail(request, "bad number of vertices in v: " + std::to_string(nv));
    if ((long long)nu * nv > MaxCount) return fail(request, "too many vertices");
    if (!requirePosition(request, a.next())) return;
    const std::size_t varying = std::size_t(du.varying * dv.varying);
    Counts counts{std::size_t(du.pieces * dv.pieces), varying, std::size_t(nu) * std::size_t(nv),
                  varying};
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
    if (cubic) sendBasisParams(true);
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
    if (!requirePosition(request, a.next())) return;
    const std::size_t varying = std::size_t(nu - uorder + 2) * std::size_t(nv - vorder + 2);
    Counts counts{std::size_t(nu - uorder + 1) * std::size_t(nv - vorder + 1), varying,
                  std::size_t(nu) * std::size_t(nv), varying};
    std::vector<Emitted> params;
    if (!sendParams(request, a.next(), counts, params)) return;
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
        Span span;
        if (!spanOf(n, periodic, cubic, step, span)) {
            if (!cubic) return fail(request, "every curve needs at least 2 vertices");
            return fail(request, "bad curve vertex count " + std::to_string(n));
        }
        vertexCounts.push_back(std::size_t(n));
        varyingCounts.push_back(std::size_t(span.varying));
        vertices += n;
        varying += span.varying;
        if (vertices > MaxCount) return fail(request, "too many vertices");
    }
    if (!requirePosition(request, a.next())) return;
    Counts counts{nverts.size(), std::size_t(varying), std::size_t(vertices), std::size_t(varying)};
    std::vector<Emitted> params;
    if (!collectParams(request, a.next(), ParamUse::Geometry, params, &counts)) return;
    if (periodic) {
        // OVO's curves are open: a closed curve repeats its first vertices.
        std::size_t extra = cubic ? std::size_t(step < 4 ? 4 - step : 0) : 1;
        for (Emitted& e : params) {
            if (startsWith(e.decl, "vertex "))
                wrapCurves(e, vertexCounts, extra);
            else if (startsWith(e.decl, "linear "))
                wrapCurves(e, varyingCounts, 1);
        }
        for (int& n : nverts) n += int(extra);
    }
    emitParams(params);
    if (cubic) sendBasisParams(false);
    const char* basis = cubic ? scoped.vbasis.c_str() : "linear";
    renderer->Curves(basis, int(nverts.size()), nverts.data());
}

void Reader::doPoints(const Request& request) {
    if (!geometryAllowed(request)) return;
    std::size_t n = 0;
    if (!positionCount(request, false, n) || n == 0) return;
    if (n > std::size_t(MaxCount)) return fail(request, "too many points");
    std::vector<Emitted> params;
    if (sendParams(request, 0, Counts{1, n, n, n}, params)) renderer->Points(int(n));
}

// ---------------------------------------------------------------------------- Geometry

namespace {
const Counts TeapotCounts{0, 0, 0, 0};
}  // namespace

void Reader::doGeometry(const Request& request) {
    Args a(request);
    std::string type;
    if (!a.string(type)) return fail(request, a.error());
    if (!geometryAllowed(request)) return;
    if (type == "teapot") {
        // Only constant variables: each of the four meshes has its own counts.
        std::vector<Emitted> params;
        if (!collectParams(request, a.next(), ParamUse::Geometry, params, &TeapotCounts)) return;
        const std::size_t given = (request.args.size() - a.next()) / 2;
        if (params.size() < given)
            warn(request, "Geometry \"teapot\" takes constant variables only: " +
                              std::to_string(given - params.size()) + " ignored");
        for (const TeapotMesh& mesh : teapotMeshes()) {
            emitParams(params);
            renderer->Parameter("vertex point P", mesh.P.data());
            renderer->Patch("bezier", mesh.nu, mesh.nv);
        }
        return;
    }
    SkippedGeometry& skipped = skippedGeometry[type];
    if (skipped.count++ == 0) {
        skipped.file = fileName();
        skipped.line = request.line;
    }
}

// An error, not a warning: the picture lacks what the scene asked for.
void Reader::reportSkippedGeometry() {
    if (errors) {
        for (const auto& entry : skippedGeometry) {
            const SkippedGeometry& s = entry.second;
            errors->Error("%s:%d: Geometry \"%s\" is not supported: %d %s skipped", s.file.c_str(),
                          s.line, entry.first.c_str(), s.count,
                          s.count == 1 ? "request" : "requests");
        }
    }
    skippedGeometry.clear();
}

}  // namespace rib
}  // namespace ovo
