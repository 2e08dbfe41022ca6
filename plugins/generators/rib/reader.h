// The RIB reader: maps every request of a RIB stream onto RendererAPI calls. It keeps the
// state RIB has and OVO does not (the camera transformation before WorldBegin, displays,
// exposure, bases, declarations, object handles, inline archives) and checks every
// request before anything reaches the renderer, so bad input only costs a message.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/api/renderer_api.h"
#include "plugins/generators/rib/declarations.h"
#include "plugins/generators/rib/parser.h"
#include "plugins/generators/rib/program.h"
#include "plugins/generators/rib/ribmath.h"
#include "plugins/generators/rib/source.h"

namespace ovo {
namespace image {
struct TextureRequest;
}
namespace ri {
class Context;
}
namespace rib {

// One parameter ready for RendererAPI::Parameter: its OVO declaration text and values.
// The values live here until the call that consumes them has returned.
struct Emitted {
    enum Kind { Floats, Ints, Strings };
    std::string decl;
    Kind kind = Floats;
    std::vector<float> floats;
    std::vector<int> ints;
    std::vector<std::string> strings;
    std::vector<const char*> pointers;  // filled when emitted

    std::size_t size() const {
        return kind == Floats ? floats.size() : kind == Ints ? ints.size() : strings.size();
    }
};

// How many values each storage class needs on one primitive.
struct Counts {
    std::size_t uniform = 1, varying = 1, vertex = 1, facevarying = 1;
};

// The step a basis ("bezier", "bspline", ...) takes unless Basis says otherwise.
int usualStep(const std::string& basis);

// The folder part of a path ("" for a bare name).
std::string folderOf(const std::string& path);
// The canonical absolute path of an existing file; the path itself otherwise.
std::string resolvedPath(const std::string& path);
// True for an existing file that is not a folder.
bool fileExists(const std::string& path);

class Reader {
  public:
    explicit Reader(RendererAPI* target);
    ~Reader();

    // Reads a file ("-" is standard input); reports and returns false when it cannot be
    // opened. Call finish() after the last input.
    bool readFile(const std::string& path);
    // Reads RIB text from memory; `name` stands for the file in messages.
    void readMemory(const std::string& name, const char* data, std::size_t size);
    // Closes whatever the input left open, reporting each block.
    void finish();
    // ReadArchive may open files and RunProgram run programs (default); the fuzz target turns
    // that off.
    void allowFileArchives(bool allow) { fileArchives = allow; }

    // Errors beyond this many in one file abandon the rest of it.
    static constexpr int MaxErrorsPerFile = 20;
    // ReadArchive nesting deeper than this is refused (it is almost surely a cycle).
    static constexpr int MaxArchiveDepth = 32;

    // The C binding's calls as requests of a reader (reader_binding.cpp).
    class Binding;
    // A binding context with a reader of its own reading into `renderer`: what RiBegin uses.
    static ri::Context* hostBinding(RendererAPI* renderer);

  private:
    // ----- reading (reader.cpp)
    struct FileContext {
        std::string name;  // as used in messages
        std::string dir;   // folder that relative ReadArchive names start from
        int errors = 0;
        bool abandoned = false;
    };
    void readSource(Source& source, FileContext& context);
    // Reads a source as the file `name` in folder `dir`; `key` marks it as being read.
    void readNamed(Source& source, const std::string& name, const std::string& dir,
                   const std::string& key);
    void execute(const Request& request);
    void dispatch(const Request& request);
    // Frees the parsed argument values of `request` once a handler has copied what it needs,
    // so that a large mesh is not held twice while its shape is built. Only the request just
    // read from the input is freed: recorded ones (archives, motion blocks) are read again.
    void releaseValues(const Request& request);
    using Handler = void (Reader::*)(const Request&);
    static Handler findHandler(const std::string& name);  // null for unknown and unsupported

    // Messages: "file:line: text". fail() names the request and ends in "Skipping ...".
    enum class Level { Info, Warn, Err };
    void report(Level level, int line, const std::string& text);
    void fail(const Request& request, const std::string& why);
    void warn(const Request& request, const std::string& text);
    // A warning given at most once per file for each key.
    void warnOnce(const Request& request, const std::string& key, const std::string& text);
    // A note shown at -v only, once per file for each key: for what changes nothing in the
    // picture.
    void noteOnce(const Request& request, const std::string& key, const std::string& text);
    // The file being read, as messages name it ("" outside any).
    std::string fileName() const { return currentFile ? currentFile->name : std::string(); }

    // ----- blocks, archives and motion (reader.cpp)
    enum class Block { Frame, World, Attribute, Transform, Solid, Object, ShaderGroup };
    struct Camera {  // the RIB transformation before WorldBegin, possibly moving
        std::vector<float> times;
        std::vector<Mat4> samples{Mat4::identity()};
    };
    struct Scoped {  // what AttributeBegin/TransformBegin save besides the renderer's state
        std::string ubasis = "bezier", vbasis = "bezier";
        int ustep = 3, vstep = 3;
        Camera ctm;
    };
    struct BlockEntry {
        Block kind;
        int line;
        std::string file;
        bool forwarded;  // the renderer saw the opening call
        Scoped saved;
        std::string objectHandle;
    };
    struct Display {
        std::string name, format, mode;
        std::vector<Emitted> params;
    };
    struct Deferred {  // camera-relative requests made before WorldBegin
        Request request;
        std::string file;
        Mat4 placement;  // their RIB transformation (to camera space)
    };
    struct FrameState {
        std::vector<Display> displays;
        float gain = 1.0f, gamma = 1.0f, dither = 0.0f;
        bool ditherSet = false;
        float shutter[2] = {0.0f, 0.0f};  // the ray times, as Shutter set them
        bool zQuantizeSet = false;        // Quantize "z": depth outputs quantise on their own
        int zQuantize[4] = {0, 0, 0, 0};
        bool screenExplicit = false, aspectExplicit = false, screenSent = false;
        std::vector<Deferred> deferred;
        std::map<std::string, Mat4> spaces;  // CoordinateSystem before WorldBegin
        std::set<std::string> objects;       // object handles the renderer knows
    };

    void doFrameBegin(const Request&);
    void doFrameEnd(const Request&);
    void doWorldBegin(const Request&);
    void doWorldEnd(const Request&);
    void doAttributeBegin(const Request&);
    void doAttributeEnd(const Request&);
    void doTransformBegin(const Request&);
    void doTransformEnd(const Request&);
    void doSolidBegin(const Request&);
    void doSolidEnd(const Request&);
    void doObjectBegin(const Request&);
    void doObjectEnd(const Request&);
    void doObjectInstance(const Request&);
    void doMotionBegin(const Request&);
    void doMotionEnd(const Request&);
    void doReadArchive(const Request&);
    void doArchiveBegin(const Request&);
    void doArchiveEnd(const Request&);
    void doVersion(const Request&);
    void doDeclare(const Request&);
    void doShaderGroupBegin(const Request&);
    void doShaderGroupEnd(const Request&);
    // True when the innermost block is `kind`; reports the mismatch otherwise.
    bool closing(const Request& request, Block kind);
    void pushBlock(const Request& request, Block kind, bool forwarded);
    void closeBlock(const BlockEntry& entry);  // the renderer side of an End
    // An End request: checks it closes the innermost block, closes it and restores what
    // the block scoped here.
    void endBlock(const Request& request, Block kind);
    void popFrame();  // back to the frame state saved at FrameBegin or WorldBegin
    void closeImplicitGroup();
    // Transforms go to the renderer inside the world and inside object definitions;
    // before WorldBegin they place the camera.
    bool forwarding() const { return inWorld || objectDepth > 0; }
    bool geometryAllowed(const Request& request);
    // ReadArchive: an inline archive replayed, or a file looked up and read. An archive
    // that reads itself, directly or not, would never end: readsItself reports it.
    struct Archive;
    bool readsItself(const Request& request, const std::string& name, const std::string& key);
    void replayArchive(const Request& request, const std::string& name, const Archive& stored);
    // Where a file archive may be: an absolute name as it is; otherwise next to the
    // including file, then on the input search path.
    std::vector<std::string> archiveCandidates(const std::string& name);
    // Where a file may be: an absolute name as it is; otherwise next to the including file,
    // then in each folder of the search path the string option `pathOption` holds.
    std::vector<std::string> candidates(const std::string& name, const char* pathOption);
    void readArchiveFile(const Request& request, const std::string& name, const std::string& file);
    // ReadArchive's work for a name: inline archives first, then files.
    void readArchive(const Request& request, const std::string& name);

    // ----- procedurals (reader_procedural.cpp)
    void doProcedural(const Request&);
    void runProgram(const Request& request, const std::vector<std::string>& args);
    std::unique_ptr<Programs> programs;  // started on the first RunProgram
    // The detail a procedural is told: the area of the whole image.
    double imageArea();
    // "DynamicLoad": the object's ConvertParameters, Subdivide and Free, called with this
    // reader as the C binding's context (reader_binding.cpp).
    void dynamicLoad(const Request& request, const std::vector<std::string>& args);
    // The loaded object `name` (dlopen handle), found as given, then with ".so"; null when it
    // was reported.
    void* loadObject(const Request& request, const std::string& name);
    // A procedural of the binding's caller: its own subdivide and free functions.
    void userProcedural(const Request& request, void (*subdivide)(void*, float),
                        void (*release)(void*), void* data);
    void closeObjects();
    std::map<std::string, void*> objects;  // loaded objects by file, closed with the reader

    // ----- parameters and settings (reader_params.cpp)
    enum class ParamUse { Geometry, Shader, Display };
    // Reads the parameter list from argument `first` on. Geometry keeps storage classes
    // and renames Cs/Os; the others pass constants. Counts, when given, are checked.
    bool collectParams(const Request& request, std::size_t first, ParamUse use,
                       std::vector<Emitted>& out, const Counts* counts = nullptr);
    void emitParams(std::vector<Emitted>& params);
    // Reads a shader request's parameter list: names no Declare made take their types from
    // the shader's own arguments.
    bool collectShaderParams(const Request& request, std::size_t first, const std::string& shader,
                             std::vector<Emitted>& out);
    // The declaration of the argument `name` of the shader `paramsShader`, from the compiled
    // shader found on the renderer's shader path (an open array takes the length of `value`);
    // false when there is none.
    bool shaderArgument(const std::string& name, const Value& value, Declaration& decl);
    void doOption(const Request&);
    void doAttribute(const Request&);
    void settings(const Request& request, bool option);
    // One "name" value pair of a setting checked into `out`; the old string form of the
    // transmission visibility; one setting sent.
    bool readSetting(const Request& request, bool option, const std::string& category,
                     std::size_t at, std::vector<Emitted>& out);
    bool transmission(const Request& request, const std::string& mode, std::vector<Emitted>& out);
    void sendSetting(Emitted& e);

    // ----- camera, image and display options (reader_options.cpp)
    void doFormat(const Request&);
    void doFrameAspectRatio(const Request&);
    void doScreenWindow(const Request&);
    void doCropWindow(const Request&);
    void doProjection(const Request&);
    void doClipping(const Request&);
    void doDepthOfField(const Request&);
    void doShutter(const Request&);
    void doPixelSamples(const Request&);
    void doPixelFilter(const Request&);
    void doExposure(const Request&);
    void doQuantize(const Request&);
    void doDisplay(const Request&);
    void doHider(const Request&);
    bool optionAllowed(const Request& request);
    void sendScreen(const float* screen);
    void sendDefaultScreen(float aspect);
    void emitOutputs();
    void emitCamera(const Request& request);

    // ----- attributes, transforms, shaders and lights (reader_scene.cpp)
    void doColor(const Request&);
    void doOpacity(const Request&);
    void doSides(const Request&);
    void doDetail(const Request&);
    void doDetailRange(const Request&);
    void doOrientation(const Request&);
    void doReverseOrientation(const Request&);
    void doMatte(const Request&);
    void doShadingRate(const Request&);
    void doBasis(const Request&);
    void doIdentity(const Request&);
    void doTransform(const Request&);
    void doConcatTransform(const Request&);
    void doTranslate(const Request&);
    void doRotate(const Request&);
    void doScale(const Request&);
    void doSkew(const Request&);
    void doPerspective(const Request&);
    void doCoordinateSystem(const Request&);
    void doCoordSysTransform(const Request&);
    void doSurface(const Request&);
    void doDisplacement(const Request&);
    void doAtmosphere(const Request&);
    void doImager(const Request&);
    void doLightSource(const Request&);
    void doAreaLightSource(const Request&);
    void doIlluminate(const Request&);
    void doShaderLayer(const Request&);
    void doConnectShaderLayers(const Request&);
    void colorAttribute(const Request& request, const char* decl);
    void defer(const Request& request);  // a camera-relative request before WorldBegin
    void shader(const Request& request, const char* type);
    void light(const Request& request, bool area);
    bool shaderFound(const Request& request, const std::string& name);
    std::map<std::string, bool> shaderFindable;  // by name and search path
    std::set<std::string> missingShaders;        // reported in this frame
    std::set<std::string> missingLights;         // file handles whose shader was not found

    // A transform request read into what it does: set or append, with the matrix.
    struct Xform {
        enum Kind { Set, Append, Translate, Rotate, Scale } kind = Append;
        float values[16] = {};
        Mat4 matrix = Mat4::identity();
    };
    bool readTransform(const Request& request, Xform& out);
    void applyTransform(const Xform& x);  // static
    void applyMotion(const Request& request, const std::vector<float>& times,
                     const std::vector<Xform>& xs);

    // ----- textures made from pictures (reader_textures.cpp)
    void doMakeTexture(const Request&);
    void doMakeLatLongEnvironment(const Request&);
    void doMakeCubeFaceEnvironment(const Request&);
    void doMakeShadow(const Request&);
    // The picture `name` as found next to the scene file or on the texture path; reports and
    // returns "" when it is nowhere.
    std::string findPicture(const Request& request, const std::string& name);
    // Where a texture `name` is written: next to the scene file when the name is relative
    // (makeTexture then adds that folder to the texture path).
    std::string textureOutput(const std::string& name);
    // Makes a texture through the image library; false, reported, when it cannot (faceNames
    // names the cube faces for the report of one that does not fit).
    bool makeTexture(const Request& request, const image::TextureRequest& texture,
                     const std::string& name, const std::string* faceNames = nullptr);
    // Lets texture lookups find what was written into `folder`: adds it to the texture path.
    void addTextureFolder(const std::string& folder);
    // Shadow-map names given to a light are reported once and replaced by "raytrace".
    void traceShadowMaps(const Request& request, std::vector<Emitted>& params);

    // ----- geometry (reader_geometry.cpp)
    void doSphere(const Request&);
    void doCone(const Request&);
    void doCylinder(const Request&);
    void doDisk(const Request&);
    void doHyperboloid(const Request&);
    void doParaboloid(const Request&);
    void doTorus(const Request&);
    void doPolygon(const Request&);
    void doGeneralPolygon(const Request&);
    void doPointsPolygons(const Request&);
    void doPointsGeneralPolygons(const Request&);
    void doSubdivisionMesh(const Request&);
    void doPatch(const Request&);
    void doPatchMesh(const Request&);
    void doNuPatch(const Request&);
    void doTrimCurve(const Request&);
    void doCurves(const Request&);
    void doPoints(const Request&);
    void doBlobby(const Request&);
    void doGeometry(const Request&);
    // Geometry of a type OVO does not have is counted per type and reported once, with the
    // count, at the end of the input: a scene may hold thousands of them, in every frame.
    struct SkippedGeometry {
        std::string file;
        int line = 0;
        int count = 0;
    };
    std::map<std::string, SkippedGeometry> skippedGeometry;
    void reportSkippedGeometry();
    // A quadric's numbers, and its parameters kept until the shape call has read them.
    struct QuadricCall {
        float v[7];
        std::vector<Emitted> params;
    };
    // Quadric front: n numbers, then the parameter list checked and sent for one quadric.
    bool quadric(const Request& request, int n, QuadricCall& call);
    // Collects the parameter list from argument `first` on, checked against `counts`, and
    // sends it; `params` keeps the values until the call that reads them.
    bool sendParams(const Request& request, std::size_t first, const Counts& counts,
                    std::vector<Emitted>& params);
    // Reports "missing "P"" unless the list from `first` on has a position (P, Pw or Pz).
    bool requirePosition(const Request& request, std::size_t first);
    // How many positions "P" (or, when `homogeneous`, "Pw") holds; reports bad lengths.
    bool positionCount(const Request& request, bool homogeneous, std::size_t& n);
    // Sums polygon sizes of at least 3 vertices each ("every <item> needs ..."), and checks
    // that `indices`, when given, has one index per vertex.
    bool polygonSizes(const Request& request, const std::vector<int>& sizes, const char* item,
                      long long& total, const std::vector<int>* indices = nullptr);
    // Checks an indexed mesh's vertex indices and collects its parameters from `first` on:
    // `faces` faces with `total` corners.
    bool meshParams(const Request& request, std::size_t first, std::size_t faces,
                    const std::vector<int>& verts, long long total, std::vector<Emitted>& params);
    // Bicubic patches take one basis: warns once when u and v differ.
    // What the Patch and Curves calls cannot say of the bases: a v basis other than u's and
    // steps other than the bases' usual ones reach the shapes as parameters.
    void sendBasisParams(bool patch);

    // ----- state
    RendererAPI* renderer;
    ErrorManager* errors;
    DeclarationTable decls;
    FileContext* currentFile = nullptr;
    Request* streamed = nullptr;         // the request readSource is executing
    int archiveDepth = 0;                // archive nesting
    std::vector<std::string> beingRead;  // archives being read, to refuse cycles
    std::set<std::string> warned;        // "file\nkey" of the warnings given once
    bool fileArchives = true;

    std::vector<BlockEntry> blocks;
    bool inWorld = false;
    int objectDepth = 0;
    bool implicitGroup = false;
    Scoped scoped;
    FrameState frame;
    std::vector<FrameState> frameStack;
    std::vector<std::string> emittedOutputs;  // output names the renderer holds
    int areaLights = 0;
    // The shader whose parameter list is being read, and the argument declarations of the
    // shaders looked up so far (by name and search path).
    std::string paramsShader;
    std::map<std::string, std::vector<std::pair<std::string, Declaration>>> shaderArguments;
    // The file's light numbers and names to the renderer's handles. A LightSource that reuses
    // a number defines a new light under a fresh handle, so what follows refers to it while
    // the earlier light stays where it was switched on.
    std::map<std::string, std::string> lightHandles;
    int lightRedefinitions = 0;
    const std::string& lightHandle(const std::string& fileHandle);

    struct Motion {
        bool active = false;
        int line = 0;
        std::string file;
        std::vector<float> times;
        std::vector<Request> requests;
    } motionBlock;

    // ----- deformation blur (reader_deformation.cpp)
    // Copies a deforming shape is drawn as: 16 spreads the 4 by 4 samples a pixel usually
    // takes over as many slices, so the smear shows no steps, while the copies' memory and
    // overlap in the hierarchy stay modest.
    static constexpr int DeformationSlices = 16;
    static bool isShapeRequest(const std::string& name);
    // A motion block of one geometry request: the samples blended per slice of the shutter,
    // each copy seen only in its slice; samples that differ in more than their numbers are
    // reported once and the first is drawn.
    void deform(const Motion& motion);

    struct Archive {
        std::vector<Request> requests;
        std::string file;
        int line = 0;
    };
    std::map<std::string, Archive> archives;
    std::string recordingName;  // inline archive being recorded
    Archive recording;
    int recordingDepth = 0;
};

}  // namespace rib
}  // namespace ovo
