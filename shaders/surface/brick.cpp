// brick: a wall of bricks in running bond, laid out in s and t.
//
// Every other course is shifted by half a brick. Each brick's colour varies by cell noise over
// the brick's row and column and is mottled by noise; the edges of the mortar joints are
// softened so that they do not stair-step.
//
// Parameters:
//   type   name          default          meaning
//   float  Ka            1                ambient coefficient
//   float  Kd            0.9              diffuse coefficient
//   float  Ks            0.05             specular coefficient
//   float  roughness     0.2              highlight size
//   color  specularcolor 1 1 1            highlight colour
//   float  brickwidth    0.25             width of a brick with its joint, in s
//   float  brickheight   0.08             height of a course with its joint, in t
//   float  mortarwidth   0.01             thickness of a joint, in s and t
//   color  brickcolor    0.6 0.2 0.1      average colour of a brick
//   color  mortarcolor   0.6 0.58 0.54    colour of the mortar
//
// Example:
//   Surface "brick" "float brickwidth" [0.2] "float brickheight" [0.07]
#include <cmath>

#include "core/shading/compiled.h"
#include "core/shading/sl/noise.h"
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
    float brickwidth;
    float brickheight;
    float mortarwidth;
    Color brickcolor;
    Color mortarcolor;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Kd, TypeFloat),
    OVO_ARGUMENT(Data, Ks, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat),
    OVO_ARGUMENT(Data, specularcolor, TypeColor),
    OVO_ARGUMENT(Data, brickwidth, TypeFloat),
    OVO_ARGUMENT(Data, brickheight, TypeFloat),
    OVO_ARGUMENT(Data, mortarwidth, TypeFloat),
    OVO_ARGUMENT(Data, brickcolor, TypeColor),
    OVO_ARGUMENT(Data, mortarcolor, TypeColor),
};

const ShaderInfo Info = {"brick", GlobalOs | GlobalN | GlobalI | GlobalP | GlobalS | GlobalT,
                         ShaderTypeSurface};

// 1 inside a brick, 0 in the joint at either end of [0, 1); the edges soften over a band 60% of
// the joint wide, centred on them.
inline float insideJoints(float x, float joint) {
    const float half = 0.5f * joint, fuzz = 0.3f * half;
    return shaders::smoothstep(half - fuzz, half + fuzz, x) *
           (1.0f - shaders::smoothstep(1.0f - half - fuzz, 1.0f - half + fuzz, x));
}

class Brick : public CompiledShader<Data> {
  public:
    Brick() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 1.0f;
        d.Kd = 0.9f;
        d.Ks = 0.05f;
        d.roughness = 0.2f;
        d.specularcolor = Color(1.0f);
        d.brickwidth = 0.25f;
        d.brickheight = 0.08f;
        d.mortarwidth = 0.01f;
        d.brickcolor = Color(0.6f, 0.2f, 0.1f);
        d.mortarcolor = Color(0.6f, 0.58f, 0.54f);
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        float ss = env.s / d.brickwidth, tt = env.t / d.brickheight;
        const float row = std::floor(tt);
        if (std::fmod(std::fabs(row), 2.0f) == 1.0f) ss += 0.5f;  // running bond
        const float column = std::floor(ss);
        ss -= column;
        tt -= row;
        const float inS = insideJoints(ss, d.mortarwidth / d.brickwidth);
        const float inT = insideJoints(tt, d.mortarwidth / d.brickheight);
        const float brick = inS * inT;
        // Bricks from one batch but not one firing, and none of them quite even.
        const float firing = SL::cellnoisef(column, row);
        const float grit = SL::noise(env.s * 60.0f, env.t * 60.0f);
        const Color Cb = d.brickcolor * (0.7f + 0.6f * firing + 0.15f * grit);
        const Color Ct = shaders::mix(d.mortarcolor, Cb, brick);
        env.Oi = env.Os;
        env.Ci = shaders::plastic(env, Ct, d.Ka, d.Kd, d.Ks, d.roughness, d.specularcolor);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Brick(); }
