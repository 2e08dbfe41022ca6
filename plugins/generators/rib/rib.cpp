// rib: the RIB scene reader (generator plugin "rib", file rib.generator.so)
//
// Reads a RenderMan Interface Bytestream file in its ASCII form, plain or gzip-compressed,
// and describes the scene to OVO. The renderer runs it for files ending in ".rib"; the
// argument is the file name, "-" for standard input; further words are ignored.
// What a RIB user can rely on:
//   - The transformation current at WorldBegin places the camera; lights and coordinate
//     systems declared before WorldBegin are placed relative to it.
//   - Display "name" "file"|"framebuffer" writes an image whose format follows the file
//     name's extension (TIFF without one); "+name" adds a display; several are allowed;
//     modes rgb, rgba, a, z. A framebuffer display goes to the "framebuffer" image format
//     instead when the program registered one (ovo --view shows it in the browser).
//   - ReadArchive looks next to the including file, then on the input search path
//     (Option "searchpath" "archive"); ArchiveBegin/ArchiveEnd define inline archives.
//   - MakeTexture, MakeLatLongEnvironment and MakeCubeFaceEnvironment write tiled,
//     MIP-mapped textures (the files maketx writes) with their wrap modes and filter; a
//     relative picture is looked for next to the scene file, then on the texture search
//     path, and a relative texture is written next to the scene file, whose folder joins the
//     texture search path. Cube faces become one lat-long environment (z up).
//   - Procedural "DelayedReadArchive", "RunProgram" and "DynamicLoad" are resolved at once,
//     each in an attribute block. A DynamicLoad object (its name as given, then with ".so",
//     next to the scene file, then on Option "searchpath" "procedural") exports
//     ConvertParameters, Subdivide and Free; its Ri calls (the C binding, libovori and ri.h)
//     reach the frame being read, nested RiProcedural calls included.
//   - OVO traces its shadows: MakeShadow is reported once and skipped, and a light's
//     "shadowname" that names a shadow map is reported once and traced as "raytrace".
//   - Requests OVO has no use for (Hider, MakeBump, Interior, ...) are reported once per
//     file and skipped; unknown words and malformed requests are errors naming the file
//     and line, and the reader goes on with the next request.
//
// Parameters: none
//
// Example:
//   ovo scene.rib
//   ovo - < scene.rib
//   renderer->Input("scene.rib");   // from a host
//   renderer->Input("rib -");       // standard input
#include <sys/stat.h>

#include <cctype>
#include <string>

#include "core/api/renderer_api.h"
#include "plugins/generators/rib/reader.h"
#include "ri/context.h"

namespace ovo {
class ParameterSet;
}

namespace {

class RibGenerator : public ovo::RendererAPI::Generator {
  public:
    void run(ovo::RendererAPI* renderer, const char* args) override {
        if (!renderer) return;
        std::string file = fileName(args ? args : "");
        if (file.empty()) {
            if (ovo::ErrorManager* errors = renderer->GetErrorManager())
                errors->Error("rib: no input file given");
            return;
        }
        ovo::rib::Reader reader(renderer);
        reader.readFile(file);
        reader.finish();
    }

  private:
    // The file name: the whole argument when it names a file (paths may hold spaces), else
    // its first word, or a double-quoted name.
    static std::string fileName(const char* text) {
        while (*text && std::isspace(static_cast<unsigned char>(*text))) ++text;
        std::string whole = text;
        while (!whole.empty() && std::isspace(static_cast<unsigned char>(whole.back())))
            whole.pop_back();
        struct stat st;
        if (!whole.empty() && stat(whole.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return whole;
        std::string word;
        if (*text == '"') {
            for (++text; *text && *text != '"'; ++text) word += *text;
            return word;
        }
        for (; *text && !std::isspace(static_cast<unsigned char>(*text)); ++text) word += *text;
        return word;
    }
};

}  // namespace

extern "C" ovo::RendererAPI::Generator* createGenerator(ovo::ParameterSet&) {
    return new RibGenerator;
}

// The C binding's RiBegin: its calls become requests of a reader of their own.
extern "C" ovo::ri::Context* ovoCreateRiContext(ovo::RendererAPI* renderer) {
    return ovo::rib::Reader::hostBinding(renderer);
}
