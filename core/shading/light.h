// Light: a shader that also states how it samples and shadows; AreaLight turns any light
// shader into light emitted from geometry.
#pragma once

#include <OpenImageIO/ustring.h>

#include <cstdint>
#include <vector>

#include "core/base/reference.h"
#include "core/math/transform.h"
#include "core/shading/shader.h"

namespace ovo {

class Primitive;
class Shape;

class Light : public Shader {
  public:
    // Lights that only feed ambient() and are skipped by the illuminance loops.
    virtual bool isAmbient() const = 0;
    virtual void setShadows(bool on) = 0;
    virtual bool castsShadows() const = 0;
    // Samples the light gives at one shading point (1 for ordinary lights).
    virtual unsigned numSamples() const = 0;

    // The transform current where the light was declared; each render places the light from
    // it (see Shader::rebindArguments).
    const Transform& getPlacement() const { return placement; }
    void setPlacement(const Transform& t) { placement = t; }

  private:
    Transform placement;
};

// A light shader emitted from the surfaces of a piece of geometry: every sample picks a piece
// (in proportion to its area) and a point on it, runs the wrapped shader there and weights its
// light by the cosine at the emitting surface over the number of samples.
class AreaLight : public Light {
  public:
    AreaLight(const Reference<Light>& light, unsigned samples, OIIO::ustring geometry);
    ~AreaLight() override;

    void execute(ShaderEnvironment& env, void* data) const override;
    // Draws the three scrambles of a shading point on its first sample (env.sampleCounter 0)
    // into env.lightScrambles; later samples keep them, so the samples stay stratified.
    void initialize(ShaderEnvironment& env, void* data) const override;
    const ShaderInfo* info() const override { return light->info(); }
    const Argument* arguments() const override { return light->arguments(); }
    int numArguments() const override { return light->numArguments(); }
    void* createData() const override { return light->createData(); }
    void destroyData(void* data) const override { light->destroyData(data); }

    // Its initialisation draws the point's scrambles.
    bool keepsArguments() const override { return false; }
    bool isAmbient() const override { return false; }
    void setShadows(bool on) override { shadows = on; }
    bool castsShadows() const override { return light->castsShadows(); }
    unsigned numSamples() const override { return samples; }

    void rebindArguments(std::map<OIIO::ustring, Transform>& spaces) override;

    // Makes the emitting pieces from the primitives made under the light's geometry name
    // (replacing any earlier ones): geometric primitives, also inside aggregates, instances and
    // moving primitives (placed at their first time sample). Pieces without area are left out.
    void attach(const std::vector<Reference<Primitive>>& primitives);

    const OIIO::ustring& getGeometryName() const { return geometry; }
    const Reference<Light>& getLight() const { return light; }
    size_t numPieces() const { return pieces.size(); }
    bool getShadowFlag() const { return shadows; }

  private:
    struct Piece {
        Reference<Shape> shape;
        Transform objectToWorld;
    };
    void gather(const Primitive* p, const Transform& outer);

    bool shadows = false;
    unsigned samples;
    Reference<Light> light;
    std::vector<float> cumulative;  // normalised: the last value is 1
    std::vector<Piece> pieces;
    OIIO::ustring geometry;
};

}  // namespace ovo
