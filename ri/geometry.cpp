// The binding's geometry, procedurals and archives, and the standard filters and bases it
// knows by name.
#include <cmath>
#include <cstdlib>

#include "ri/call.h"

namespace ovo {
namespace ri {

const char* filterName(RtFilterFunc filter) {
    if (filter == RiGaussianFilter) return "gaussian";
    if (filter == RiBoxFilter) return "box";
    if (filter == RiTriangleFilter) return "triangle";
    if (filter == RiCatmullRomFilter) return "catmull-rom";
    if (filter == RiSincFilter) return "sinc";
    return nullptr;
}

const char* basisName(const RtFloat* basis) {
    if (basis == &RiBezierBasis[0][0]) return "bezier";
    if (basis == &RiBSplineBasis[0][0]) return "b-spline";
    if (basis == &RiCatmullRomBasis[0][0]) return "catmull-rom";
    if (basis == &RiHermiteBasis[0][0]) return "hermite";
    if (basis == &RiPowerBasis[0][0]) return "power";
    return nullptr;
}

namespace {

// The standard procedurals are the scene format's Procedural request; their data is the
// request's string arguments.
const char* standardProcedural(RtProcSubdivFunc subdivide) {
    if (subdivide == RiProcDelayedReadArchive) return "DelayedReadArchive";
    if (subdivide == RiProcRunProgram) return "RunProgram";
    if (subdivide == RiProcDynamicLoad) return "DynamicLoad";
    return nullptr;
}

void sendProcedural(const char* kind, RtPointer data, const RtFloat* bound) {
    const std::size_t n = std::string(kind) == "DelayedReadArchive" ? 1 : 2;
    Call("Procedural")
        .string(kind)
        .strings(static_cast<const char* const*>(data), n)
        .numbers(bound, 6)
        .send();
}

const RtFloat Everywhere[6] = {-RI_INFINITY, RI_INFINITY,  -RI_INFINITY,
                               RI_INFINITY,  -RI_INFINITY, RI_INFINITY};

}  // namespace
}  // namespace ri
}  // namespace ovo

using ovo::ri::Call;
using ovo::ri::complain;
using ovo::ri::total;

extern "C" {

RtBasis RiBezierBasis = {{-1, 3, -3, 1}, {3, -6, 3, 0}, {-3, 3, 0, 0}, {1, 0, 0, 0}};
RtBasis RiBSplineBasis = {{-1.0f / 6, 0.5f, -0.5f, 1.0f / 6},
                          {0.5f, -1, 0.5f, 0},
                          {-0.5f, 0, 0.5f, 0},
                          {1.0f / 6, 2.0f / 3, 1.0f / 6, 0}};
RtBasis RiCatmullRomBasis = {
    {-0.5f, 1.5f, -1.5f, 0.5f}, {1, -2.5f, 2, -0.5f}, {-0.5f, 0, 0.5f, 0}, {0, 1, 0, 0}};
RtBasis RiHermiteBasis = {{2, 1, -2, 1}, {-3, -2, 3, -1}, {0, 1, 0, 0}, {1, 0, 0, 0}};
RtBasis RiPowerBasis = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

// The renderer filters by name; these are the weights for callers that evaluate them.
RtFloat RiGaussianFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth) {
    const RtFloat u = 2 * x / xwidth, v = 2 * y / ywidth;
    return std::exp(-2 * (u * u + v * v));
}

RtFloat RiBoxFilter(RtFloat, RtFloat, RtFloat, RtFloat) { return 1; }

RtFloat RiTriangleFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth) {
    return std::fmax(0.0f, 1 - std::fabs(2 * x / xwidth)) *
           std::fmax(0.0f, 1 - std::fabs(2 * y / ywidth));
}

RtFloat RiCatmullRomFilter(RtFloat x, RtFloat y, RtFloat, RtFloat) {
    const RtFloat r = std::sqrt(x * x + y * y);
    if (r >= 2) return 0;
    if (r < 1) return 1.5f * r * r * r - 2.5f * r * r + 1;
    return -0.5f * r * r * r + 2.5f * r * r - 4 * r + 2;
}

RtFloat RiSincFilter(RtFloat x, RtFloat y, RtFloat, RtFloat) {
    const RtFloat pi = 3.14159265358979f;
    const RtFloat sx = x == 0 ? 1 : std::sin(pi * x) / (pi * x);
    const RtFloat sy = y == 0 ? 1 : std::sin(pi * y) / (pi * y);
    return sx * sy;
}

// ---------------------------------------------------------------------------- quadrics

RtVoid RiSphereV(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n,
                 RtToken tokens[], RtPointer values[]) {
    Call("Sphere")
        .number(radius)
        .number(zmin)
        .number(zmax)
        .number(thetamax)
        .params(n, tokens, values)
        .send();
}

RtVoid RiSphere(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...) {
    OVO_RI_PARAMS(thetamax);
    RiSphereV(radius, zmin, zmax, thetamax, list.size(), list.t(), list.v());
}

RtVoid RiConeV(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[],
               RtPointer values[]) {
    Call("Cone").number(height).number(radius).number(thetamax).params(n, tokens, values).send();
}

RtVoid RiCone(RtFloat height, RtFloat radius, RtFloat thetamax, ...) {
    OVO_RI_PARAMS(thetamax);
    RiConeV(height, radius, thetamax, list.size(), list.t(), list.v());
}

RtVoid RiCylinderV(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n,
                   RtToken tokens[], RtPointer values[]) {
    Call("Cylinder")
        .number(radius)
        .number(zmin)
        .number(zmax)
        .number(thetamax)
        .params(n, tokens, values)
        .send();
}

RtVoid RiCylinder(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...) {
    OVO_RI_PARAMS(thetamax);
    RiCylinderV(radius, zmin, zmax, thetamax, list.size(), list.t(), list.v());
}

RtVoid RiHyperboloidV(RtPoint point1, RtPoint point2, RtFloat thetamax, RtInt n, RtToken tokens[],
                      RtPointer values[]) {
    Call call("Hyperboloid");
    for (int i = 0; i < 3; ++i) call.number(point1[i]);
    for (int i = 0; i < 3; ++i) call.number(point2[i]);
    call.number(thetamax).params(n, tokens, values).send();
}

RtVoid RiHyperboloid(RtPoint point1, RtPoint point2, RtFloat thetamax, ...) {
    OVO_RI_PARAMS(thetamax);
    RiHyperboloidV(point1, point2, thetamax, list.size(), list.t(), list.v());
}

RtVoid RiParaboloidV(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n,
                     RtToken tokens[], RtPointer values[]) {
    Call("Paraboloid")
        .number(rmax)
        .number(zmin)
        .number(zmax)
        .number(thetamax)
        .params(n, tokens, values)
        .send();
}

RtVoid RiParaboloid(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...) {
    OVO_RI_PARAMS(thetamax);
    RiParaboloidV(rmax, zmin, zmax, thetamax, list.size(), list.t(), list.v());
}

RtVoid RiDiskV(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[],
               RtPointer values[]) {
    Call("Disk").number(height).number(radius).number(thetamax).params(n, tokens, values).send();
}

RtVoid RiDisk(RtFloat height, RtFloat radius, RtFloat thetamax, ...) {
    OVO_RI_PARAMS(thetamax);
    RiDiskV(height, radius, thetamax, list.size(), list.t(), list.v());
}

RtVoid RiTorusV(RtFloat majorradius, RtFloat minorradius, RtFloat phimin, RtFloat phimax,
                RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer values[]) {
    Call("Torus")
        .number(majorradius)
        .number(minorradius)
        .number(phimin)
        .number(phimax)
        .number(thetamax)
        .params(n, tokens, values)
        .send();
}

RtVoid RiTorus(RtFloat majorradius, RtFloat minorradius, RtFloat phimin, RtFloat phimax,
               RtFloat thetamax, ...) {
    OVO_RI_PARAMS(thetamax);
    RiTorusV(majorradius, minorradius, phimin, phimax, thetamax, list.size(), list.t(), list.v());
}

// ---------------------------------------------------------------------------- polygons

RtVoid RiPolygonV(RtInt nvertices, RtInt n, RtToken tokens[], RtPointer values[]) {
    if (nvertices < 0) return complain("RiPolygon", "negative vertex count");
    Call("Polygon").params(n, tokens, values, std::size_t(nvertices)).send();
}

RtVoid RiPolygon(RtInt nvertices, ...) {
    OVO_RI_PARAMS(nvertices);
    RiPolygonV(nvertices, list.size(), list.t(), list.v());
}

RtVoid RiGeneralPolygonV(RtInt nloops, RtInt nvertices[], RtInt n, RtToken tokens[],
                         RtPointer values[]) {
    if (nloops < 0 || total(nvertices, nloops) < 0)
        return complain("RiGeneralPolygon", "negative count");
    Call("GeneralPolygon")
        .integers(nvertices, std::size_t(nloops))
        .params(n, tokens, values)
        .send();
}

RtVoid RiGeneralPolygon(RtInt nloops, RtInt nvertices[], ...) {
    OVO_RI_PARAMS(nvertices);
    RiGeneralPolygonV(nloops, nvertices, list.size(), list.t(), list.v());
}

RtVoid RiPointsPolygonsV(RtInt npolys, RtInt nvertices[], RtInt vertices[], RtInt n,
                         RtToken tokens[], RtPointer values[]) {
    const long long corners = npolys < 0 ? -1 : total(nvertices, npolys);
    if (corners < 0) return complain("RiPointsPolygons", "negative count");
    Call("PointsPolygons")
        .integers(nvertices, std::size_t(npolys))
        .integers(vertices, std::size_t(corners))
        .params(n, tokens, values)
        .send();
}

RtVoid RiPointsPolygons(RtInt npolys, RtInt nvertices[], RtInt vertices[], ...) {
    OVO_RI_PARAMS(vertices);
    RiPointsPolygonsV(npolys, nvertices, vertices, list.size(), list.t(), list.v());
}

RtVoid RiPointsGeneralPolygonsV(RtInt npolys, RtInt nloops[], RtInt nvertices[], RtInt vertices[],
                                RtInt n, RtToken tokens[], RtPointer values[]) {
    const long long loops = npolys < 0 ? -1 : total(nloops, npolys);
    const long long corners = loops < 0 ? -1 : total(nvertices, RtInt(loops));
    if (corners < 0) return complain("RiPointsGeneralPolygons", "negative count");
    Call("PointsGeneralPolygons")
        .integers(nloops, std::size_t(npolys))
        .integers(nvertices, std::size_t(loops))
        .integers(vertices, std::size_t(corners))
        .params(n, tokens, values)
        .send();
}

RtVoid RiPointsGeneralPolygons(RtInt npolys, RtInt nloops[], RtInt nvertices[], RtInt vertices[],
                               ...) {
    OVO_RI_PARAMS(vertices);
    RiPointsGeneralPolygonsV(npolys, nloops, nvertices, vertices, list.size(), list.t(), list.v());
}

// ---------------------------------------------------------------------------- patches, curves

RtVoid RiPatchV(RtToken type, RtInt n, RtToken tokens[], RtPointer values[]) {
    Call("Patch").string(type).params(n, tokens, values).send();
}

RtVoid RiPatch(RtToken type, ...) {
    OVO_RI_PARAMS(type);
    RiPatchV(type, list.size(), list.t(), list.v());
}

RtVoid RiPatchMeshV(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap, RtInt n,
                    RtToken tokens[], RtPointer values[]) {
    Call("PatchMesh")
        .string(type)
        .integer(nu)
        .string(uwrap)
        .integer(nv)
        .string(vwrap)
        .params(n, tokens, values)
        .send();
}

RtVoid RiPatchMesh(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap, ...) {
    OVO_RI_PARAMS(vwrap);
    RiPatchMeshV(type, nu, uwrap, nv, vwrap, list.size(), list.t(), list.v());
}

RtVoid RiCurvesV(RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap, RtInt n,
                 RtToken tokens[], RtPointer values[]) {
    if (ncurves < 0) return complain("RiCurves", "negative count");
    Call("Curves")
        .string(type)
        .integers(nvertices, std::size_t(ncurves))
        .string(wrap)
        .params(n, tokens, values)
        .send();
}

RtVoid RiCurves(RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap, ...) {
    OVO_RI_PARAMS(wrap);
    RiCurvesV(type, ncurves, nvertices, wrap, list.size(), list.t(), list.v());
}

RtVoid RiPointsV(RtInt npoints, RtInt n, RtToken tokens[], RtPointer values[]) {
    if (npoints < 0) return complain("RiPoints", "negative count");
    Call("Points").params(n, tokens, values, std::size_t(npoints)).send();
}

RtVoid RiPoints(RtInt npoints, ...) {
    OVO_RI_PARAMS(npoints);
    RiPointsV(npoints, list.size(), list.t(), list.v());
}

RtVoid RiSubdivisionMeshV(RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[],
                          RtInt ntags, RtToken tags[], RtInt nargs[], RtInt intargs[],
                          RtFloat floatargs[], RtInt n, RtToken tokens[], RtPointer values[]) {
    const long long corners = nfaces < 0 ? -1 : total(nvertices, nfaces);
    if (corners < 0 || ntags < 0 || total(nargs, 2 * ntags) < 0)
        return complain("RiSubdivisionMesh", "negative count");
    // Each tag has an int count and a float count.
    std::size_t ints = 0, floats = 0;
    for (RtInt i = 0; i < ntags; ++i) {
        ints += std::size_t(nargs[2 * i]);
        floats += std::size_t(nargs[2 * i + 1]);
    }
    Call("SubdivisionMesh")
        .string(scheme)
        .integers(nvertices, std::size_t(nfaces))
        .integers(vertices, std::size_t(corners))
        .strings(tags, std::size_t(ntags))
        .integers(nargs, 2 * std::size_t(ntags))
        .integers(intargs, ints)
        .numbers(floatargs, floats)
        .params(n, tokens, values)
        .send();
}

RtVoid RiSubdivisionMesh(RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[],
                         RtInt ntags, RtToken tags[], RtInt nargs[], RtInt intargs[],
                         RtFloat floatargs[], ...) {
    OVO_RI_PARAMS(floatargs);
    RiSubdivisionMeshV(scheme, nfaces, nvertices, vertices, ntags, tags, nargs, intargs, floatargs,
                       list.size(), list.t(), list.v());
}

// ---------------------------------------------------------------------------- procedurals

RtVoid RiProcedural(RtPointer data, RtBound bound, RtProcSubdivFunc subdivide,
                    RtProcFreeFunc free) {
    if (const char* kind = ovo::ri::standardProcedural(subdivide)) {
        ovo::ri::sendProcedural(kind, data, bound);
        if (free) free(data);
        return;
    }
    ovo::ri::Context* context = ovo::ri::currentContext();
    if (!context) {
        complain("RiProcedural", "no frame is open (call RiBegin first)");
        if (free) free(data);
        return;
    }
    context->procedural(bound, subdivide, free, data);
}

// Called directly, a standard procedural is the same request with no bound to speak of.
RtVoid RiProcDelayedReadArchive(RtPointer data, RtFloat) {
    ovo::ri::sendProcedural("DelayedReadArchive", data, ovo::ri::Everywhere);
}

RtVoid RiProcRunProgram(RtPointer data, RtFloat) {
    ovo::ri::sendProcedural("RunProgram", data, ovo::ri::Everywhere);
}

RtVoid RiProcDynamicLoad(RtPointer data, RtFloat) {
    ovo::ri::sendProcedural("DynamicLoad", data, ovo::ri::Everywhere);
}

RtVoid RiProcFree(RtPointer data) { std::free(data); }

RtVoid RiReadArchiveV(RtToken name, RtArchiveCallback, RtInt n, RtToken tokens[],
                      RtPointer values[]) {
    Call("ReadArchive").string(name).params(n, tokens, values).send();
}

RtVoid RiReadArchive(RtToken name, RtArchiveCallback callback, ...) {
    OVO_RI_PARAMS(callback);
    RiReadArchiveV(name, callback, list.size(), list.t(), list.v());
}

}  // extern "C"
