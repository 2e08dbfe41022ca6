// ShaderEnvironment construction and copies. A hit record carries one, so copies are plain
// member-wise copies: the references it holds are raised, the ray and scene pointers shared.
#include "core/shading/environment.h"

#include <emmintrin.h>

#include <cstring>
#include <type_traits>

#include "core/shading/blocks.h"

#include "core/shading/light.h"
#include "core/shading/shader.h"

namespace ovo {

ShaderEnvironment::ShaderEnvironment() {}

ShaderEnvironment::ShaderEnvironment(const ShaderEnvironment& other) = default;

ShaderEnvironment& ShaderEnvironment::operator=(const ShaderEnvironment& other) = default;

ShaderEnvironment::~ShaderEnvironment() {}

void* ShaderEnvironment::globalAddress(unsigned flag) {
    switch (flag) {
        case GlobalCs:
            return &Cs;
        case GlobalOs:
            return &Os;
        case GlobalP:
            return &P;
        case GlobalDPdu:
            return &dPdu;
        case GlobalDPdv:
            return &dPdv;
        case GlobalN:
            return &N;
        case GlobalNg:
            return &Ng;
        case GlobalU:
            return &u;
        case GlobalV:
            return &v;
        case GlobalDu:
            return &du;
        case GlobalDv:
            return &dv;
        case GlobalS:
            return &s;
        case GlobalT:
            return &t;
        case GlobalL:
            return &L;
        case GlobalCl:
            return &Cl;
        case GlobalOl:
            return &Ol;
        case GlobalE:
            return &E;
        case GlobalI:
            return &I;
        case GlobalNcomps:
            return &ncomps;
        case GlobalCi:
            return &Ci;
        case GlobalOi:
            return &Oi;
        case GlobalPs:
            return &Ps;
        case GlobalAlpha:
            return &alpha;
        default:
            return nullptr;
    }
}

void ShaderEnvironment::copyIntersection(const ShaderEnvironment& f) {
    P = f.P;
    Ng = f.Ng;
    u = f.u;
    v = f.v;
    su = f.su;
    sv = f.sv;
    face = f.face;
    dPdu = f.dPdu;
    dPdv = f.dPdv;
    dNdu = f.dNdu;
    dNdv = f.dNdv;
    time = f.time;
    space = f.space;
    shaderSpace = f.shaderSpace;
}

void ShaderEnvironment::reuse() {
    // A copy of values that nothing writes: a new record built here and copied in would be
    // read back before its stores have retired.
    static const ShadingValues fresh;
    clearLightCache();
    // Shading empties these when it ends; a record whose shading was cut short starts clean.
    surfaceData.clear();
    displacementData.clear();
    volumeData.clear();
    // Copied 16 bytes at a time. Left to itself the compiler knows the values and writes them
    // with a string store, which costs more than the copy on every traced ray.
    static_assert(std::is_trivially_copyable_v<ShadingValues>);
    const ShadingValues* from = &fresh;
    asm("" : "+r"(from));
    const char* src = reinterpret_cast<const char*>(from);
    char* dst = reinterpret_cast<char*>(static_cast<ShadingValues*>(this));
    constexpr size_t Size = sizeof(ShadingValues), Whole = Size / 16 * 16;
    for (size_t i = 0; i < Whole; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
    if constexpr (Size > Whole) std::memcpy(dst + Whole, src + Whole, Size - Whole);
}

void ShaderEnvironment::clearLightCache() {
    for (const LightCacheEntry& e : lightCache)
        if (e.light) giveBlock(*e.light, e.data);
    lightCache.clear();
    cacheValid = false;
    cacheCursor = 0;
    currentLight = nullptr;
    currentLightData = nullptr;
}

}  // namespace ovo
