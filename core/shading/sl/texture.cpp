// Textures and environments through the scene's OpenImageIO texture system; traced
// environments and shadows through the tracing functions.
#include "core/shading/sl/texture.h"

#include <OpenImageIO/texture.h>

#include <algorithm>
#include <cstdarg>

#include "core/math/ray.h"
#include "core/render/scene.h"
#include "core/shading/sl/keywords.h"
#include "core/shading/sl/strings.h"
#include "core/shading/sl/trace.h"

namespace SL {

using ovo::Color;
using ovo::Point;
using ovo::RayDifferential;
using ovo::Scene;
using ovo::ShaderEnvironment;
using ovo::Tuple;
using ovo::Vector;

namespace {

inline float luminance(const Color& c) { return 0.299f * c.r + 0.587f * c.g + 0.114f * c.b; }

inline OIIO::TextureSystem* textures(const ShaderEnvironment& env) {
    return env.scene ? env.scene->getTextureSystem() : nullptr;
}

// The wrap table; a name outside it leaves the mode as it was.
void setWrap(OIIO::TextureOpt::Wrap& mode, OIIO::ustring name) {
    if (name == strings::default_)
        mode = OIIO::TextureOpt::WrapDefault;
    else if (name == strings::black)
        mode = OIIO::TextureOpt::WrapBlack;
    else if (name == strings::clamp)
        mode = OIIO::TextureOpt::WrapClamp;
    else if (name == strings::periodic)
        mode = OIIO::TextureOpt::WrapPeriodic;
    else if (name == strings::mirror)
        mode = OIIO::TextureOpt::WrapMirror;
}

void parseTexture(OIIO::TextureOpt& opt, KeywordReader r) {
    for (OIIO::ustring key = r.next(); !key.empty(); key = r.next()) {
        if (key == strings::fill) {
            opt.fill = float(r.number());
        } else if (key == strings::blur) {
            opt.sblur = opt.tblur = float(r.number());
        } else if (key == strings::width) {
            opt.swidth = opt.twidth = float(r.number());
        } else if (key == strings::swrap) {
            setWrap(opt.swrap, r.name());
        } else if (key == strings::twrap) {
            setWrap(opt.twrap, r.name());
        } else if (key == strings::wrap) {
            const OIIO::ustring name = r.name();
            setWrap(opt.swrap, name);
            setWrap(opt.twrap, name);
        } else if (key == strings::filter) {
            r.name();
        } else {
            return;
        }
    }
}

// Reports a texture that could not be read, once per frame; a thread remembers the last name
// it reported for the frame, so a missing texture does not take the report's lock per lookup.
void failed(ShaderEnvironment& env, OIIO::ustring name, const std::string& why) {
    thread_local const Scene* lastScene = nullptr;
    thread_local OIIO::ustring lastName;
    if (!env.scene || (env.scene == lastScene && name == lastName)) return;
    lastScene = env.scene;
    lastName = name;
    env.scene->reportTextureFailure(name, why);
}

// One lookup: the texture system fills `result` (nchannels floats, left zero on failure).
void lookup(ShaderEnvironment& env, OIIO::ustring name, int channel, int nchannels, float s,
            float t, const float derivatives[4], KeywordReader r, float* result) {
    OIIO::TextureOpt opt;
    opt.firstchannel = channel;
    parseTexture(opt, r);
    OIIO::TextureSystem* ts = textures(env);
    if (!ts) return;
    if (!ts->texture(name, opt, s, t, derivatives[0], derivatives[1], derivatives[2],
                     derivatives[3], nchannels, result))
        failed(env, name, ts->geterror());  // a missing texture reads as the fill
}

const float NoDerivatives[4] = {0.0f, 0.0f, 0.0f, 0.0f};

// The centre of the quadrilateral and its x and y steps: ds/dx, dt/dx, ds/dy, dt/dy.
void quad(float s1, float t1, float s2, float t2, float s3, float t3, float s4, float t4, float& s,
          float& t, float d[4]) {
    s = (s1 + s2 + s3 + s4) * 0.25f;
    t = (t1 + t2 + t3 + t4) * 0.25f;
    d[0] = (s2 - s1 + s4 - s3) * 0.5f;
    d[1] = (t2 - t1 + t4 - t3) * 0.5f;
    d[2] = (s3 - s1 + s4 - s2) * 0.5f;
    d[3] = (t3 - t1 + t4 - t2) * 0.5f;
}

struct SampleKeywords {
    int samples = 1;
    float blur = 0.0f;
    float Kr = 1.0f;
};

// "samples", "blur" and, for traced environments, "Kr".
void parseSamples(SampleKeywords& k, KeywordReader r, bool withKr) {
    for (OIIO::ustring key = r.next(); !key.empty(); key = r.next()) {
        if (key == strings::samples)
            k.samples = int(r.number());
        else if (key == strings::blur)
            k.blur = float(r.number());
        else if (withKr && key == strings::Kr)
            k.Kr = float(r.number());
        else
            return;
    }
}

inline bool tracesNothing(const ShaderEnvironment& env) {
    return env.derivPass != 0 || (env.ray && env.ray->type == RayDifferential::Transmission);
}

// Shadow of the current light; `r` reads the keywords.
Color shadow(ShaderEnvironment& env, OIIO::ustring name, KeywordReader r) {
    if (tracesNothing(env) || name.empty() || !env.scene) return Color(0.0f);
    SampleKeywords k;
    parseSamples(k, r, false);
    const Vector towardsLight(-env.L);
    if (towardsLight.length() == 0.0f) return Color(0.0f);
    const float maxt = env.lightDistance >= 1e30f ? 1e30f : env.lightDistance - env.bias;
    // In a light shader Ps is the point being lit (P is the light's own position).
    const Color through = transmissionCone(env, env.Ps, towardsLight, maxt, k.samples, k.blur,
                                           env.scene->findGeometrySet(name));
    return Color(1.0f) - through;
}

}  // namespace

Color texturec(ShaderEnvironment& env, OIIO::ustring name, int channel, int n, ...) {
    float c[3] = {0.0f, 0.0f, 0.0f};
    va_list ap;
    va_start(ap, n);
    lookup(env, name, channel, 3, env.s, env.t, NoDerivatives, KeywordReader(n, &ap), c);
    va_end(ap);
    return Color(c);
}

float texturef(ShaderEnvironment& env, OIIO::ustring name, int channel, int n, ...) {
    float f = 0.0f;
    va_list ap;
    va_start(ap, n);
    lookup(env, name, channel, 1, env.s, env.t, NoDerivatives, KeywordReader(n, &ap), &f);
    va_end(ap);
    return f;
}

Color texture2c(ShaderEnvironment& env, OIIO::ustring name, int channel, float s, float t, int n,
                ...) {
    float c[3] = {0.0f, 0.0f, 0.0f};
    va_list ap;
    va_start(ap, n);
    lookup(env, name, channel, 3, s, t, NoDerivatives, KeywordReader(n, &ap), c);
    va_end(ap);
    return Color(c);
}

float texture2f(ShaderEnvironment& env, OIIO::ustring name, int channel, float s, float t, int n,
                ...) {
    float f = 0.0f;
    va_list ap;
    va_start(ap, n);
    lookup(env, name, channel, 1, s, t, NoDerivatives, KeywordReader(n, &ap), &f);
    va_end(ap);
    return f;
}

Color texturec(ShaderEnvironment& env, OIIO::ustring name, int channel, const TextureFootprint& at,
               int n, ...) {
    float c[3] = {0.0f, 0.0f, 0.0f};
    if (env.derivPass != 0) return Color(c);
    const float d[4] = {at.dsdx, at.dtdx, at.dsdy, at.dtdy};
    va_list ap;
    va_start(ap, n);
    lookup(env, name, channel, 3, at.s, at.t, d, KeywordReader(n, &ap), c);
    va_end(ap);
    return Color(c);
}

float texturef(ShaderEnvironment& env, OIIO::ustring name, int channel, const TextureFootprint& at,
               int n, ...) {
    float f = 0.0f;
    if (env.derivPass != 0) return f;
    const float d[4] = {at.dsdx, at.dtdx, at.dsdy, at.dtdy};
    va_list ap;
    va_start(ap, n);
    lookup(env, name, channel, 1, at.s, at.t, d, KeywordReader(n, &ap), &f);
    va_end(ap);
    return f;
}

Color texture8c(ShaderEnvironment& env, OIIO::ustring name, int channel, float s1, float t1,
                float s2, float t2, float s3, float t3, float s4, float t4, int n, ...) {
    float s, t, d[4], c[3] = {0.0f, 0.0f, 0.0f};
    quad(s1, t1, s2, t2, s3, t3, s4, t4, s, t, d);
    va_list ap;
    va_start(ap, n);
    lookup(env, name, channel, 3, s, t, d, KeywordReader(n, &ap), c);
    va_end(ap);
    return Color(c);
}

float texture8f(ShaderEnvironment& env, OIIO::ustring name, int channel, float s1, float t1,
                float s2, float t2, float s3, float t3, float s4, float t4, int n, ...) {
    float s, t, d[4], f = 0.0f;
    quad(s1, t1, s2, t2, s3, t3, s4, t4, s, t, d);
    va_list ap;
    va_start(ap, n);
    lookup(env, name, channel, 1, s, t, d, KeywordReader(n, &ap), &f);
    va_end(ap);
    return f;
}

Color environmentc(ShaderEnvironment& env, OIIO::ustring name, int channel, Tuple& R, int n, ...) {
    if (env.derivPass != 0 || !env.scene) return Color(0.0f);
    if (env.ray && (env.ray->type == RayDifferential::Transmission ||
                    env.ray->type == RayDifferential::Gather))
        return Color(0.0f);
    if (R.length() == 0.0f) return Color(0.0f);
    const ovo::GeometrySet* set = env.scene->findGeometrySet(name);
    va_list ap;
    va_start(ap, n);
    KeywordReader r(n, &ap);
    Color result(0.0f);
    if (set || name == strings::raytrace) {
        SampleKeywords k;
        parseSamples(k, r, true);
        if (k.Kr > 0.0f) result = traceCone(env, env.P, Vector(R), k.samples, k.blur, set);
    } else if (OIIO::TextureSystem* ts = env.scene->getTextureSystem()) {
        OIIO::TextureOpt opt;
        opt.firstchannel = channel;
        for (OIIO::ustring key = r.next(); !key.empty(); key = r.next()) {
            if (key == strings::samples)
                r.number();
            else if (key == strings::blur)
                opt.sblur = opt.tblur = float(r.number());
            else
                break;
        }
        float c[3] = {0.0f, 0.0f, 0.0f};
        const OIIO::V3fParam zero(0.0f, 0.0f, 0.0f);
        if (!ts->environment(name, opt, OIIO::V3fParam(R.x, R.y, R.z), zero, zero, 3, c))
            failed(env, name, ts->geterror());
        result = Color(c);
    }
    va_end(ap);
    return result;
}

Color shadowc(ShaderEnvironment& env, OIIO::ustring name, int, Tuple&, int n, ...) {
    va_list ap;
    va_start(ap, n);
    const Color c = shadow(env, name, KeywordReader(n, &ap));
    va_end(ap);
    return c;
}

float shadowf(ShaderEnvironment& env, OIIO::ustring name, int, Tuple&, int n, ...) {
    va_list ap;
    va_start(ap, n);
    const Color c = shadow(env, name, KeywordReader(n, &ap));
    va_end(ap);
    return luminance(c);
}

float textureinfo(ShaderEnvironment& env, OIIO::ustring name, OIIO::ustring dataname, float& out) {
    OIIO::TextureSystem* ts = textures(env);
    if (!ts || dataname != strings::channels) return 0.0f;
    int channels = 0;
    if (!ts->get_texture_info(name, 0, dataname, OIIO::TypeInt, &channels)) {
        ts->geterror();
        return 0.0f;
    }
    out = float(channels);
    return 1.0f;
}

float textureinfo(ShaderEnvironment&, OIIO::ustring, OIIO::ustring, std::vector<float>&) {
    return 0.0f;
}

}  // namespace SL
