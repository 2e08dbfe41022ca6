#include "core/image/library.h"

#include <dlfcn.h>

#include <OpenImageIO/texture.h>

#include <map>

#include "core/plugins/installation.h"

namespace ovo {

namespace {

std::mutex formatsMutex;
std::map<std::string, ImageWriterFactory>& declaredFormats() {
    static std::map<std::string, ImageWriterFactory> formats;
    return formats;
}

}  // namespace

void declareImageFormat(const std::string& format, ImageWriterFactory factory) {
    std::lock_guard<std::mutex> lock(formatsMutex);
    if (factory)
        declaredFormats()[format] = factory;
    else
        declaredFormats().erase(format);
}

ImageWriterFactory declaredImageFormat(const std::string& format) {
    std::lock_guard<std::mutex> lock(formatsMutex);
    const auto found = declaredFormats().find(format);
    return found == declaredFormats().end() ? nullptr : found->second;
}

namespace image {

namespace {

const char* const BridgeFile = "libovo_imageio.so";

std::once_flag loadOnce;
std::atomic<const Bridge*> loadedBridge{nullptr};
std::string failure;  // written once, inside loadOnce

// Its few hundred libraries find nearly every symbol they need among themselves. By default
// each look-up first passes every library of the global scope, which by the time a frame
// renders holds libovo's and the plugins' (about thirty): binding within the group first makes
// the load about a tenth faster. The sanitizers' runtimes refuse such a group, so their builds
// load it as usual.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int DeepBind = 0;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
constexpr int DeepBind = 0;
#else
constexpr int DeepBind = RTLD_DEEPBIND;
#endif
#else
constexpr int DeepBind = RTLD_DEEPBIND;
#endif

// Libraries of OpenImageIO's closure (Debian 12's build of it) that bind tens of thousands of
// their own symbols each. Inside the image library's group a library's look-ups pass every
// library loaded before it, up to 250 of them; loaded first, each on its own and leaves before
// the libraries that need them, they find their own symbols at once. That halves the
// instructions of an empty frame (914M to 466M) and binds nothing differently but duplicate
// template instantiations and a few identical helpers of libraries that rendering never calls.
// A name this system does not have is skipped, and the load is as before.
const char* const SelfBinding[] = {
    "libcrypto.so.3",     "libsqlite3.so.0",    "libxerces-c-3.2.so", "libgeos.so.3.11.1",
    "libgeos_c.so.1",     "libproj.so.25",      "librttopo.so.1",     "libhdf5_serial.so.103",
    "libnetcdf.so.19",    "libkmlbase.so.1",    "libkmldom.so.1",     "libpoppler.so.126",
    "libspatialite.so.7", "libopenvdb.so.10.0", "libgdcmMSFF.so.3.0", "libdcmdata.so.17",
    "libgdal.so.32",
};

void load() {
    // Lazy binding: a function of the few hundred libraries is bound when first called, so the
    // thousands that rendering never calls cost nothing.
    for (const char* name : SelfBinding) dlopen(name, RTLD_LAZY | RTLD_LOCAL | DeepBind);
    const std::string folder = libraryFolder();
    const std::string path = (folder.empty() ? std::string() : folder + "/") + BridgeFile;
    // Never unloaded: writers and the texture system it makes live until the process ends.
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL | DeepBind);
    if (!handle) {
        const char* why = dlerror();
        failure = std::string("cannot load the image library: ") + (why ? why : path.c_str());
        return;
    }
    typedef const Bridge* (*Entry)();
    const Entry entry = reinterpret_cast<Entry>(dlsym(handle, "ovo_image_bridge"));
    const Bridge* b = entry ? entry() : nullptr;
    if (!b) {
        failure = path + " has no ovo_image_bridge";
        return;
    }
    loadedBridge.store(b, std::memory_order_release);
}

}  // namespace

const Bridge* loaded() { return loadedBridge.load(std::memory_order_acquire); }

const Bridge* bridge() {
    if (const Bridge* b = loaded()) return b;
    std::call_once(loadOnce, load);
    return loaded();
}

std::string loadError() {
    bridge();
    return failure;
}

LazyTextureSystem::~LazyTextureSystem() {
    OIIO::TextureSystem* s = made();
    if (s && !adopted)
        if (const Bridge* b = loaded()) b->destroyTextureSystem(s);
}

OIIO::TextureSystem* LazyTextureSystem::make() {
    const Bridge* b = bridge();
    if (!b) return nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    OIIO::TextureSystem* s = system.load(std::memory_order_relaxed);
    if (s) return s;
    s = b->createTextureSystem();
    if (s && configured) apply(s);
    system.store(s, std::memory_order_release);
    return s;
}

void LazyTextureSystem::apply(OIIO::TextureSystem* s) const {
    s->attribute("searchpath", settings.searchPath);
    s->attribute("plugin_searchpath", settings.pluginSearchPath);
    s->attribute("automip", settings.autoMipmap ? 1 : 0);
    s->attribute("accept_unmipped", settings.autoMipmap ? 1 : 0);
    s->attribute("max_open_files", settings.maxOpenFiles);
    s->attribute("max_memory_MB", settings.maxMemoryMB);
    s->attribute("latlong_up", "z");
}

void LazyTextureSystem::configure(const Settings& s) {
    std::lock_guard<std::mutex> lock(mutex);
    settings = s;
    configured = true;
    if (OIIO::TextureSystem* made = system.load(std::memory_order_relaxed)) apply(made);
}

}  // namespace image
}  // namespace ovo
