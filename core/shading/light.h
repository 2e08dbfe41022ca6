// Light: a shader that also states how it samples and shadows; AreaLight turns any light
// shader into light emitted from geometry.
#pragma once

#include "core/shading/shader.h"

namespace ovo {

class Light : public Shader {
public:
    // Lights that only feed ambient() and are skipped by the illuminance loops.
    virtual bool isAmbient() const = 0;
    virtual void setShadows(bool on) = 0;
    virtual bool castsShadows() const = 0;
    // Samples the light gives at one shading point (1 for ordinary lights).
    virtual unsigned numSamples() const = 0;
};

}  // namespace ovo
