// granite: a speckled stone of dark, pink and pale crystals in a mottled ground.
//
// Cell noise scatters one seed point in every cell of a fine lattice in the shader's space; each
// crystal is the region nearest to one seed, and cell noise over the seed's cell picks its
// kind. Turbulence mottles the whole. Lit as "plastic" with a dull sheen.
//
// Parameters:
//   type   name           default         meaning
//   float  Ka             1               ambient coefficient
//   float  Kd             0.8             diffuse coefficient
//   float  Ks             0.2             specular coefficient
//   float  roughness      0.15            highlight size
//   color  specularcolor  1 1 1           highlight colour
//   float  frequency      12              crystals per unit of the shader's space
//   color  darkcolor      0.1 0.1 0.11    the dark crystals
//   color  pinkcolor      0.78 0.6 0.55   the pink crystals
//   color  palecolor      0.85 0.85 0.82  the pale crystals
//
// Example:
//   Surface "granite" "float frequency" [20]
#include <cmath>

#include "core/shading/compiled.h"
#include "shaders/patterns.h"
#include "shaders/surface/illumination.h"

namespace {

using namespace ovo;

struct Data {
    float Ka;
    float Kd;
    float Ks;
    float roughness;
    Color specularcolor;
    float frequency;
    Color darkcolor;
    Color pinkcolor;
    Color palecolor;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Kd, TypeFloat),
    OVO_ARGUMENT(Data, Ks, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat),
    OVO_ARGUMENT(Data, specularcolor, TypeColor),
    OVO_ARGUMENT(Data, frequency, TypeFloat),
    OVO_ARGUMENT(Data, darkcolor, TypeColor),
    OVO_ARGUMENT(Data, pinkcolor, TypeColor),
    OVO_ARGUMENT(Data, palecolor, TypeColor),
};

// The lattice cell whose seed point (cellnoisep of the cell, inside it) lies nearest to p. The
// 27 cells around p hold it unless it is more than 1 away (p's own seed may be up to sqrt 3
// away): then the next shell may hold a nearer one, and no cell beyond, whose points are all 2
// or more away.
Tuple nearestSeedCell(const Tuple& p) {
    const Tuple base(std::floor(p.x), std::floor(p.y), std::floor(p.z));
    Tuple best = base;
    float nearest = 1e30f;
    auto search = [&](int reach) {
        for (int i = -reach; i <= reach; ++i)
            for (int j = -reach; j <= reach; ++j)
                for (int k = -reach; k <= reach; ++k) {
                    Tuple cell = base + Tuple(float(i), float(j), float(k));
                    const float d = (cell + SL::cellnoisep(cell) - p).length2();
                    if (d < nearest) {
                        nearest = d;
                        best = cell;
                    }
                }
    };
    search(1);
    if (nearest > 1.0f) search(2);
    return best;
}

const ShaderInfo Info = {"granite", GlobalOs | GlobalN | GlobalI | GlobalP, ShaderTypeSurface};

class Granite : public CompiledShader<Data> {
  public:
    Granite() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 1.0f;
        d.Kd = 0.8f;
        d.Ks = 0.2f;
        d.roughness = 0.15f;
        d.specularcolor = Color(1.0f);
        d.frequency = 12.0f;
        d.darkcolor = Color(0.1f, 0.1f, 0.11f);
        d.pinkcolor = Color(0.78f, 0.6f, 0.55f);
        d.palecolor = Color(0.85f, 0.85f, 0.82f);
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        const Tuple PP = shaders::shaderPoint(env) * d.frequency;
        Tuple crystalCell = nearestSeedCell(PP);
        const Color kind = SL::cellnoisec(crystalCell);
        const Color crystal = kind.r < 0.3f    ? d.darkcolor
                              : kind.r < 0.55f ? d.pinkcolor
                                               : d.palecolor;
        // Each crystal a little lighter or darker, and the ground mottled.
        const float shade = 0.8f + 0.4f * kind.g;
        const float mottle = 0.75f + 0.5f * shaders::turbulence(PP * 0.25f, 4);
        const Color Ct = crystal * (shade * mottle);
        env.Oi = env.Os;
        env.Ci = shaders::plastic(env, Ct, d.Ka, d.Kd, d.Ks, d.roughness, d.specularcolor);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Granite(); }
