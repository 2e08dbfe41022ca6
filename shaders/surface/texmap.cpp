// texmap: a matte surface whose colour is a texture map.
//
// The colour is Os * Cs * texture(texturename, s, t) * (Ka * ambient() + Kd * diffuse(Nf)):
// the map is filtered over the area each pixel covers in (s, t), so a MIP-mapped texture
// (MakeTexture) stays sharp up close and smooth far away. swrap and twrap say what lies
// outside 0..1 ("periodic", "clamp", "black", "mirror"; "default" keeps the file's own).
//
// Parameters:
//   type    name         default    meaning
//   string  texturename  ""         the texture; empty gives Cs alone
//   float   Ka           1          ambient coefficient
//   float   Kd           1          diffuse coefficient
//   string  swrap        "default"  wrap mode across s
//   string  twrap        "default"  wrap mode across t
//
// Example:
//   Surface "texmap" "string texturename" ["wood.tx"]
#include "core/shading/compiled.h"
#include "core/shading/sl/strings.h"
#include "shaders/surface/illumination.h"
#include "shaders/surface/tracing.h"

namespace {

using namespace ovo;

struct Data {
    OIIO::ustring texturename;
    float Ka;
    float Kd;
    OIIO::ustring swrap;
    OIIO::ustring twrap;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, texturename, TypeString), OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Kd, TypeFloat),           OVO_ARGUMENT(Data, swrap, TypeString),
    OVO_ARGUMENT(Data, twrap, TypeString),
};

const ShaderInfo Info = {
    "texmap",
    GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP | GlobalS | GlobalT | GlobalDu | GlobalDv,
    ShaderTypeSurface};

class Texmap : public CompiledShader<Data> {
  public:
    Texmap() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.texturename = OIIO::ustring();
        d.Ka = 1.0f;
        d.Kd = 1.0f;
        d.swrap = strings::default_;
        d.twrap = strings::default_;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        Color Ct = env.Cs;
        if (!d.texturename.empty())
            Ct *= shaders::filteredTexture(env, d.texturename, env.s, env.t, d.swrap, d.twrap);
        Tuple Nf = shaders::facingNormal(env);
        env.Oi = env.Os;
        env.Ci = env.Os * Ct * (d.Ka * SL::ambient(env) + d.Kd * SL::diffuse(env, Nf));
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Texmap(); }
