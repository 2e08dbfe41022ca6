// The floor under OVO's start-up figures: a program that links OpenImageIO and creates a
// texture system as the renderer does, and nothing more. scripts/bench.sh --startup times it
// beside `ovo --version` and an empty frame.
#include <OpenImageIO/texture.h>

int main() {
    OIIO::TextureSystem* textures = OIIO::TextureSystem::create(true);
    if (!textures) return 1;
    OIIO::TextureSystem::destroy(textures);
    return 0;
}
