// Level of detail: a primitive's detail is the raster area, in pixels, of an object-space box
// projected by the camera; a detail range keeps the primitives made under it only while their
// detail lies in the range.
#pragma once

#include "core/math/transform.h"

namespace ovo {

// The conventional "unbounded" of detail ranges: a maxvisible this large has no upper limit.
constexpr float DetailInfinity = 1.0e38f;

struct LevelOfDetail {
    bool hasBound = false;
    // The corners of the bound in world space: the bound is given in the object space current
    // when it is set, whatever transforms follow before the primitives.
    Point corners[8];
    // minvisible, lowertransition, uppertransition, maxvisible
    float range[4] = {0.0f, 0.0f, DetailInfinity, DetailInfinity};

    bool hasRange() const { return range[0] > 0.0f || range[3] < DetailInfinity; }
};

// The corners of the box xmin xmax ymin ymax zmin zmax, carried to world space.
void placeBound(const Transform& objectToWorld, const float bound[6], Point corners[8]);

// The area of the raster rectangle that holds the projected corners; DetailInfinity when a
// corner lies at or behind the eye (the box surrounds the camera).
float rasterArea(const Transform& worldToRaster, const Point corners[8]);

// Whether a primitive of detail `detail` draws under `range`. A ray tracer draws one level at a
// time: within a transition the level on the detail's side of the transition's midpoint draws,
// so of two adjoining levels exactly one does, and nothing speckles.
bool detailDraws(float detail, const float range[4]);

}  // namespace ovo
