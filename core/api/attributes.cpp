#include "core/api/attributes.h"

namespace ovo {

Attributes::Attributes() : lights(new LightList()), trimCurves(new TrimCurveList()) {}

Attributes::Attributes(const Attributes& other) { *this = other; }

Attributes& Attributes::operator=(const Attributes& other) {
    if (this == &other) return *this;
    shading = other.shading;
    displacement = other.displacement;
    surface = other.surface;
    volume = other.volume;
    lights = other.lights;
    trimCurves = other.trimCurves;
    orientationInside = other.orientationInside;
    twoSided = other.twoSided;
    trimSenseInside = other.trimSenseInside;
    shadowBias = other.shadowBias;
    lightShadows = other.lightShadows;
    lightSamples = other.lightSamples;
    occlusionMaxError = other.occlusionMaxError;
    occlusionMaxPixelDistance = other.occlusionMaxPixelDistance;
    occlusionMinSamples = other.occlusionMinSamples;
    indirectMaxError = other.indirectMaxError;
    indirectMaxPixelDistance = other.indirectMaxPixelDistance;
    indirectMinSamples = other.indirectMinSamples;
    detail = other.detail;
    timeWindow[0] = other.timeWindow[0];
    timeWindow[1] = other.timeWindow[1];
    geometrySets = other.geometrySets;
    userAttributes = other.userAttributes;  // deep copy
    return *this;
}

Attributes::~Attributes() {}

ShadingAttributes& Attributes::writableShading() {
    if (!shading) {
        shading = new ShadingAttributes();
    } else if (shading->references() > 1) {
        shading = new ShadingAttributes(*shading);
    }
    return *shading;
}

ShapeAttributes Attributes::shapeAttributes() const {
    ShapeAttributes result;
    result.trimCurves = trimCurves;
    result.orientationInside = orientationInside;
    result.twoSided = twoSided;
    result.trimSenseInside = trimSenseInside;
    result.bias = shadowBias;
    return result;
}

PrimitiveAttributes Attributes::primitiveAttributes() const {
    PrimitiveAttributes result;
    result.shading = shading;
    result.displacement = displacement;
    result.surface = surface;
    result.volume = volume;
    result.lights = lights;
    return result;
}

}  // namespace ovo
