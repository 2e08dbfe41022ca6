// RaySettings: the frame options that ray tracing and shading read while rendering. The scene
// interface's Options record carries them (it derives from this record) and the Scene keeps its
// own copy, made when the Scene is built.
#pragma once

#include "core/math/tuple.h"

namespace ovo {

enum SpecularModel { SpecularDefault = 0, SpecularBmrt = 1, SpecularTorrance = 2 };

struct RaySettings {
    int specularModel = SpecularBmrt;
    int maxRayDepth = 10;
    int maxDiffuseDepth = 1;
    Color maxDepthColor = Color(0.0f);
    // Global-illumination cache settings no option reaches yet: (min pixel distance factor,
    // max pixel distance, weight threshold) for occlusion and for indirect diffuse.
    float occlusionCacheSettings[3] = {0.25f, 20.0f, 2.5f};
    float irradianceCacheSettings[3] = {0.25f, 20.0f, 2.5f};
};

}  // namespace ovo
