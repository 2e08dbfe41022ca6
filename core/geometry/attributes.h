// The parts of the attribute state that geometry carries: the shared shading record
// (colour, opacity, ray visibility), the shape attributes copied into every shape, and
// the five shared references every primitive holds.
#pragma once

#include <vector>

#include "core/base/reference.h"
#include "core/math/tuple.h"
#include "core/shading/shader_group.h"

namespace ovo {

class Shape;

// Copy-on-write record shared between attribute records until one of them changes it.
class ShadingAttributes : public ReferenceCounted {
  public:
    Color C = Color(1.0f, 1.0f, 1.0f);
    Color opacity = Color(1.0f, 1.0f, 1.0f);
    bool rayCamera = true;            // "ray:camera"
    bool rayDiffuse = true;           // "ray:diffuse"
    bool rayReflections = true;       // "ray:reflections"
    bool rayShadows = true;           // "ray:shadows"
    bool transparentShadows = false;  // set by "ray:opaqueshadows" 0
    // Two visibility bytes no attribute name reaches yet; kept true.
    bool visibilityReserved0 = true;
    bool visibilityReserved1 = true;
};

// Trim loops of the attribute state, shared until one record changes them.
class TrimCurveList : public ReferenceCounted {
  public:
    TrimCurveList();
    TrimCurveList(const TrimCurveList& other);
    ~TrimCurveList() override;
    std::vector<Reference<Shape>> curves;
};

struct ShapeAttributes {
    ShapeAttributes();  // a new, empty trim-curve list and the defaults below
    Reference<TrimCurveList> trimCurves;
    bool orientationInside = false;  // "orientation" inside (reversed)
    bool twoSided = true;            // "twosided"
    bool trimSenseInside = true;     // "trimcurve:sense"
    float bias = 0.01f;              // "shadow:bias": hits nearer the ray origin are rejected
};

// What a primitive takes from the attribute state when it is made (Holder = Reference), and
// what a hit borrows from the primitive it met (Holder = Borrowed).
template <template <class> class Holder>
struct PrimitiveRecords {
    Holder<ShadingAttributes> shading;
    Holder<ShaderGroup> displacement;
    Holder<ShaderGroup> surface;
    Holder<ShaderGroup> volume;
    Holder<LightList> lights;

    // A hit borrowing the records of the primitive it met: plain pointer copies.
    template <template <class> class From>
    PrimitiveRecords& operator=(const PrimitiveRecords<From>& from) {
        shading = from.shading;
        displacement = from.displacement;
        surface = from.surface;
        volume = from.volume;
        lights = from.lights;
        return *this;
    }
};
using PrimitiveAttributes = PrimitiveRecords<Reference>;
using HitAttributes = PrimitiveRecords<Borrowed>;

// A surface that leaves Oi equal to Os, with no volume layer to change it: a shadow ray reads
// its opacity from Os instead of shading it.
template <template <class> class Holder>
bool opacityFromOs(const PrimitiveRecords<Holder>& a) {
    const ShaderGroup* volume = a.volume.get();
    return a.surface && a.surface->opacityIsOs() && !(volume && !volume->layers.empty());
}

}  // namespace ovo
