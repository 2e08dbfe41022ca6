// Test volume shader "peek": reads the other layers of its hit and its lights through the
// queries. Ci = (displacement "Km", surface "Kd", volume "f"), each -1 when not found;
// Oi = (the number of those found, the light's float "intensity" read inside an illuminance
// loop, the z of its point "from"), the last two -1 without a light. Example:
// Shader("volume", "peek", 0).
#include "core/shading/compiled.h"
#include "core/shading/sl/lighting.h"
#include "core/shading/sl/queries.h"

namespace {

using namespace ovo;

struct Data {
    float unused;
};

const OIIO::ustring Km("Km"), Kd("Kd"), F("f"), Intensity("intensity"), From("from");

const ShaderInfo Info = {"peek", GlobalP | GlobalCi | GlobalOi, ShaderTypeVolume};

class Peek : public CompiledShader<Data> {
  public:
    Peek() : CompiledShader(Info) {}
    void initialize(ShaderEnvironment&, void*) const override {}
    void execute(ShaderEnvironment& env, void*) const override {
        OIIO::ustring km = Km, kd = Kd, f = F, intensity = Intensity, from = From;
        float a = -1, b = -1, c = -1;
        const float found =
            SL::displacement(env, km, a) + SL::surface(env, kd, b) + SL::volume(env, f, c);
        float light = -1;
        Tuple at(0, 0, -1);
        Tuple P = env.P;
        SL::startIlluminance(env, P);
        while (SL::illuminance1(env)) {
            SL::lightsource(env, intensity, light);
            SL::lightsource(env, from, at);
        }
        env.Ci = Color(a, b, c);
        env.Oi = Color(found, light, at.z);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Peek(); }
