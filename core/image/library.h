// The image library: OpenImageIO's writers, texture system and texture maker. They live in
// libOpenImageIO, which brings about 270 libraries with it and takes a fifth of a second to
// load, so libovo does not link it: a small bridge library beside libovo does, and is loaded
// the first time one of them is needed (a frame starts it on a thread of its own while it
// renders). ustring and the rest of OpenImageIO's utility library are linked as usual.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <OpenImageIO/oiioversion.h>

#include "core/image/writer.h"

OIIO_NAMESPACE_BEGIN
class TextureSystem;
OIIO_NAMESPACE_END

namespace ovo {
namespace image {

// A texture made from pictures.
struct TextureRequest {
    enum Kind { Plain, LatLong, CubeFaces };
    Kind kind = Plain;
    std::vector<std::string> pictures;  // one; six faces (px nx py ny pz nz) for CubeFaces
    std::string output;
    std::string wrapModes;  // "swrap,twrap"
    std::string filter;     // OpenImageIO's name of the MIP-level filter
    float fov = 90.0f;      // of the cube faces, in degrees
};

// Why a writer was not opened: its format has none, the file cannot be written, or the image
// library cannot be loaded (loadError says why).
enum class OpenFailure { None, NoWriter, CannotOpen, NoLibrary };

// What the bridge library exports (ovo_image_bridge).
struct Bridge {
    ImageWriter* (*openWriter)(const std::string& format, const std::string& pluginSearchPath,
                               const std::string& file, const ImageLayout& layout,
                               OpenFailure& failure);
    // False with the reason; badFace is the index of a cube face that is not square like the
    // first or has another number of channels (-1 otherwise).
    bool (*makeTexture)(const TextureRequest& request, std::string& why, int& badFace);
    OIIO::TextureSystem* (*createTextureSystem)();
    void (*destroyTextureSystem)(OIIO::TextureSystem* system);
    // Reads a picture as floats, `channels` per pixel, rows top first; false when it cannot.
    bool (*readImage)(const std::string& file, int& width, int& height, int& channels,
                      std::vector<float>& pixels);
};

// The bridge once loaded; null while loading or when it cannot be loaded. Never waits.
const Bridge* loaded();
// The bridge, loaded now or waited for (the dynamic loader holds one lock while it works, so
// no other library loads meanwhile); null when it cannot be loaded (loadError says why).
const Bridge* bridge();
std::string loadError();

// The renderer's texture system: made on first use, configured with the last settings given.
// An adopted system (made by the caller) is used as it is and not destroyed.
class LazyTextureSystem {
  public:
    struct Settings {
        std::string searchPath, pluginSearchPath;
        bool autoMipmap = false;
        int maxOpenFiles = 100;
        float maxMemoryMB = 1024.0f;
    };

    LazyTextureSystem() = default;
    explicit LazyTextureSystem(OIIO::TextureSystem* adopted) : system(adopted), adopted(true) {}
    ~LazyTextureSystem();
    LazyTextureSystem(const LazyTextureSystem&) = delete;
    LazyTextureSystem& operator=(const LazyTextureSystem&) = delete;

    // Null when the image library cannot be loaded.
    OIIO::TextureSystem* get() {
        OIIO::TextureSystem* s = system.load(std::memory_order_acquire);
        return s ? s : make();
    }
    // Null until made.
    OIIO::TextureSystem* made() const { return system.load(std::memory_order_acquire); }
    // Applied now when the system is made, else when it is.
    void configure(const Settings& settings);

  private:
    OIIO::TextureSystem* make();
    void apply(OIIO::TextureSystem* s) const;

    std::atomic<OIIO::TextureSystem*> system{nullptr};
    bool adopted = false;
    std::mutex mutex;
    Settings settings;
    bool configured = false;
};

}  // namespace image
}  // namespace ovo
