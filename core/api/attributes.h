// Attributes: the per-primitive state that PushAttributes copies and PopAttributes discards.
// The shading record, shader groups, light list and trim curves are shared between copies;
// writers go through the copy-on-write accessors so that an enclosing record never changes.
#pragma once

#include <OpenImageIO/ustring.h>

#include <limits>
#include <set>

#include <string>

#include "core/api/detail.h"
#include "core/geometry/attributes.h"
#include "core/geometry/shape.h"
#include "core/base/reference.h"
#include "core/params/parameter.h"
#include "core/shading/shader_group.h"

namespace ovo {

class Attributes {
  public:
    Attributes();
    // Shares the references; the user attributes are copied deeply so that a saved or pushed
    // record never refers to values owned by another one.
    Attributes(const Attributes& other);
    Attributes& operator=(const Attributes& other);
    ~Attributes();

    // The shading record, made private to this record first when it is shared or missing.
    ShadingAttributes& writableShading();
    // The colour and opacity this record gives primitives (white when no record exists yet).
    Color color() const { return shading ? shading->C : Color(1.0f); }
    Color opacity() const { return shading ? shading->opacity : Color(1.0f); }

    ShapeAttributes shapeAttributes() const;
    PrimitiveAttributes primitiveAttributes() const;

    Reference<ShadingAttributes> shading;  // null until first written
    Reference<ShaderGroup> displacement;
    Reference<ShaderGroup> surface;
    Reference<ShaderGroup> volume;
    Reference<LightList> lights;  // the active lights; never null

    // The fields of ShapeAttributes, in its order.
    Reference<TrimCurveList> trimCurves;  // never null
    bool orientationInside = false;
    bool twoSided = true;
    bool trimSenseInside = true;
    float shadowBias = 0.01f;

    bool lightShadows = false;
    int lightSamples = 1;
    float occlusionMaxError = 0.25f;
    float occlusionMaxPixelDistance = 20.0f;
    int occlusionMinSamples = 3;
    float indirectMaxError = 0.25f;
    float indirectMaxPixelDistance = 20.0f;
    int indirectMinSamples = 3;

    LevelOfDetail detail;
    // The ray times [open, close) that see the primitives made now: a shape that deforms over
    // the shutter is drawn as one copy per slice of it. Unbounded unless set.
    float timeWindow[2] = {-std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::infinity()};
    std::set<OIIO::ustring> geometrySets;
    ParameterSet userAttributes;  // every value copied, names beginning with "user:"
};

// The shape factory as the scene interface calls it: with the whole attribute record, of which
// the shape receives its part.
inline Shape* createShape(const std::string& name, std::string& searchPath, RendererAPI& renderer,
                          const Transform& objectToWorld, const Attributes& attributes,
                          ParameterSet& parameters) {
    return createShape(name, searchPath, renderer, objectToWorld, attributes.shapeAttributes(),
                       parameters);
}

}  // namespace ovo
