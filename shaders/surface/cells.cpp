// cells: a pattern layer of coloured tiles set in grout, for shader groups.
//
// The surface is tiled in s and t; each tile takes the surface colour mixed with a colour cell
// noise picks for it, and the grout runs between the tiles. The colour is left in
// the output "Ct" and the tile coverage (1 on a tile, 0 in the grout) in "glazed", for later
// layers to take through ConnectShaders or read with surface(). Alone it shows the colour
// unlit.
//
// Parameters:
//   type   name        default        meaning
//   float  frequency   8              tiles per unit of s and of t
//   float  groutwidth  0.1            width of the grout, as a fraction of a tile
//   float  variation   0.6            how far each tile's colour strays from the surface colour
//   color  groutcolor  0.25 0.24 0.22 colour of the grout
//   color  Ct          0 0 0          output: the pattern's colour
//   float  glazed      0              output: 1 on a tile, 0 in the grout
//
// Example:
//   ShaderLayer "surface" "cells" "pattern" "float frequency" [12]
//   ShaderLayer "surface" "plastic" "paint"
//   ConnectShaderLayers "surface" "pattern" "Ct" "paint" "Cs"
#include <algorithm>
#include <cmath>

#include "core/shading/compiled.h"
#include "shaders/patterns.h"

namespace {

using namespace ovo;

struct Data {
    float frequency;
    float groutwidth;
    float variation;
    Color groutcolor;
    Color Ct;
    float glazed;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, frequency, TypeFloat), OVO_ARGUMENT(Data, groutwidth, TypeFloat),
    OVO_ARGUMENT(Data, variation, TypeFloat), OVO_ARGUMENT(Data, groutcolor, TypeColor),
    OVO_ARGUMENT(Data, Ct, TypeColor),        OVO_ARGUMENT(Data, glazed, TypeFloat),
};

const ShaderInfo Info = {"cells", GlobalCs | GlobalOs | GlobalS | GlobalT, ShaderTypeSurface};

// 0 within `half` of a whole number, 1 further in, with a soft edge.
inline float awayFromEdge(float x, float half) {
    const float f = x - std::floor(x);
    const float d = std::min(f, 1.0f - f);
    return shaders::smoothstep(half * 0.7f, half, d);
}

class Cells : public CompiledShader<Data> {
  public:
    Cells() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.frequency = 8.0f;
        d.groutwidth = 0.1f;
        d.variation = 0.6f;
        d.groutcolor = Color(0.25f, 0.24f, 0.22f);
        d.Ct = Color(0.0f);
        d.glazed = 0.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        const float ss = env.s * d.frequency, tt = env.t * d.frequency;
        const Color tile = shaders::mix(env.Cs, SL::cellnoisec(ss, tt), d.variation);
        const float half = 0.5f * d.groutwidth;
        d.glazed = awayFromEdge(ss, half) * awayFromEdge(tt, half);
        d.Ct = shaders::mix(d.groutcolor, tile, d.glazed);
        env.Oi = env.Os;
        env.Ci = env.Os * d.Ct;
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Cells(); }
