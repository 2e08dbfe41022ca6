// The Catmull-Clark surface of the ccmesh plugin: Embree's subdivision geometry, whose limit
// surface Embree evaluates exactly (creases, corners and holes included). Embree traces a
// tessellation of it; the hit is then carried onto the limit surface by Newton steps, and the
// normal and derivatives are the limit surface's, so that nothing of the tessellation shows.
//
// Embree's parameters: a quadrilateral face is one patch, (u, v) from its first vertex towards
// its second and its last. Any other face is cut into one quadrilateral per vertex, from the
// vertex to the middles of its two edges and the face's centre; Embree numbers the quadrilateral
// of vertex i by offsets (2·(i mod 4) + 1/2, 2·(i div 4) + 1/2) of its (u, v). The hit's su, sv
// are Embree's; u and v are the position in the quadrilateral, 0..1.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/geometry/hit.h"
#include "core/shading/environment.h"
#include "plugins/shapes/embree.h"
#include "plugins/shapes/shape_common.h"

namespace ovo {
namespace shapes {

// A variable Embree interpolates: its attribute slot and how many floats a value has.
struct EmbreeSlot {
    unsigned slot;
    int floats;
};

// A primitive variable interpolated by Embree on the limit surface (vertex values), on the
// faces (varying values, bilinear) or on the face-varying topology.
template <class T>
class SubdivisionInterpolator : public Interpolator<T> {
  public:
    SubdivisionInterpolator(RTCGeometry geometry, EmbreeSlot slot)
        : geometry(geometry), slot(slot) {}
    T value(float u, float v) const override { return valueAt(0, u, v); }
    T derivativeU(float u, float v) const override { return derivativeUAt(0, u, v); }
    T derivativeV(float u, float v) const override { return derivativeVAt(0, u, v); }
    // The values are kept by Embree, not here.
    const T* controlValue(int) const override { return nullptr; }
    T valueAt(unsigned face, float u, float v) const override { return at(face, u, v, 0); }
    T derivativeUAt(unsigned face, float u, float v) const override { return at(face, u, v, 1); }
    T derivativeVAt(unsigned face, float u, float v) const override { return at(face, u, v, 2); }

  private:
    T at(unsigned face, float u, float v, int which) const {
        float out[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
        RTCInterpolateArguments a = {};
        a.geometry = geometry;
        a.primID = face;
        a.u = u;
        a.v = v;
        a.bufferType = RTC_BUFFER_TYPE_VERTEX_ATTRIBUTE;
        a.bufferSlot = slot.slot;
        a.P = which == 0 ? out[0] : nullptr;
        a.dPdu = which == 1 ? out[1] : nullptr;
        a.dPdv = which == 2 ? out[2] : nullptr;
        a.valueCount = unsigned(slot.floats);
        rtcInterpolate(&a);
        return readValue<T>(out[which]);
    }

    RTCGeometry geometry;  // kept alive by the shape that owns this interpolator
    EmbreeSlot slot;
};

// What the input says about the mesh, read and checked by the plugin.
struct SubdivisionInput {
    std::vector<uint32_t> faceSizes;  // 3 to 15 each
    std::vector<uint32_t> indices;
    std::vector<float> xyz;  // the points, packed
    std::vector<uint32_t> creaseEdges;
    std::vector<float> creaseWeights;
    std::vector<uint32_t> cornerVertices;
    std::vector<float> cornerWeights;
    std::vector<uint32_t> holes;
    RTCSubdivisionMode boundary = RTC_SUBDIVISION_MODE_NO_BOUNDARY;
    RTCSubdivisionMode faceVaryingBoundary = RTC_SUBDIVISION_MODE_PIN_BOUNDARY;
};

class SubdivisionMesh : public Shape {
  public:
    SubdivisionMesh(const Transform& o2w, const ShapeAttributes& attrs, SubdivisionInput input);

    // Hands the mesh and every variable Embree interpolates to Embree; false with its error.
    bool build(const ParameterSet& params, const std::vector<std::string>& faceVarying,
               RTCError& error);

    Aabb objectExtent() const override { return bound; }
    float area() const override;
    bool intersect(const Ray& ray, Hit& hit) const override;
    bool intersect(const Ray& ray) const override {
        return embreeOccluded(embree.scene, ray, attributes.bias);
    }
    void sample(ShaderEnvironment& env, const Point& from, float u, float v) const override;

    Interpolator<float>* createFloatInterpolator(Parameter& p) override {
        return variable<float>(p.name().string(), p);
    }
    Interpolator<Color>* createColorInterpolator(Parameter& p) override {
        return variable<Color>(p.name().string(), p);
    }
    Interpolator<Normal>* createNormalInterpolator(Parameter& p) override {
        return variable<Normal>(p.name().string(), p);
    }
    void readSt(const ParameterSet& params);

  private:
    // The limit surface at Embree's (u, v) of a face, with its derivatives.
    struct Limit {
        Point P;
        Vector dPdu, dPdv, dPduu, dPdvv, dPduv;
    };
    Limit limit(unsigned face, float u, float v, bool second) const;
    bool refine(const Ray& ray, unsigned face, float& u, float& v, float& t, Limit& at) const;
    void fill(ShaderEnvironment& env, unsigned face, float u, float v, const Limit& l,
              const Vector& fallback) const;
    // The origin of the quadrilateral that Embree's (u, v) lies in.
    void quadOrigin(unsigned face, float u, float v, float& ou, float& ov) const;

    template <class T>
    Interpolator<T>* variable(const std::string& key, const Parameter& p);
    // Sets the Embree buffers of one variable (nothing when the parameter is too short):
    // `corners` data has one value per face corner.
    void addSlot(RTCGeometry g, unsigned slot, unsigned topology, const std::string& key,
                 const Parameter& p, int stride, int offset, int floats, bool corners);
    void areas() const;
    static void frontOnly(const RTCFilterFunctionNArguments* args);

    SubdivisionInput mesh;
    std::size_t nVertices = 0;
    Aabb bound;
    float scale = 1.0f;
    EmbreeScene embree;
    unsigned topologies = 1;  // Embree topologies: the faces, and those of the variables
    std::map<std::string, EmbreeSlot> slots;  // by name; "st:0" and "st:1" for s and t of "st"
    std::vector<uint32_t> firstIndex;         // of each face in mesh.indices
    mutable std::once_flag areaOnce;
    mutable std::vector<double> cumulative;  // area up to each face
};

}  // namespace shapes
}  // namespace ovo
