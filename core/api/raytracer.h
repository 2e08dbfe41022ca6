// Raytracer: the renderer behind RendererAPI. It checks the nesting of blocks, keeps the
// option, attribute and transform state of the scene being described, collects geometry in
// the transform-node tree and renders it on Render().
//
// The operations are spread over several files by subject: raytracer.cpp (construction),
// raytracer_blocks.cpp, raytracer_options.cpp, raytracer_typed_calls.cpp (Parameter, Attribute
// and GetAttribute), raytracer_attributes.cpp, raytracer_transforms.cpp, raytracer_shaders.cpp,
// raytracer_geometry.cpp and raytracer_render.cpp.
#pragma once

#include <OpenImageIO/texture.h>
#include <OpenImageIO/ustring.h>

#include <deque>
#include <list>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/api/attributes.h"
#include "core/api/options.h"
#include "core/api/renderer_api.h"
#include "core/api/transform_node.h"
#include "core/api/transform_store.h"
#include "core/geometry/geometry_set.h"
#include "core/base/reference.h"
#include "core/math/motion.h"
#include "core/math/transform.h"
#include "core/params/parameter.h"
#include "core/render/scene.h"

namespace ovo {

class Camera;
class Film;
class Primitive;
class Sampler;
class Scene;
class Shape;

// What the block stack holds. Frame and accelerator blocks are numbered but never opened;
// a kind of World or above counts as inside the world.
enum BlockKind : unsigned char {
    BlockNotStarted = 0,
    BlockFrame = 1,
    BlockWorld = 2,
    BlockAttribute = 3,
    BlockTransform = 4,
    BlockAccelerator = 5,
    BlockSolid = 6,
    BlockMotion = 7,
    BlockObject = 8,
    BlockShaderGroup = 9,
};
// The words that name a block in messages.
const char* blockBeginWord(BlockKind kind);
const char* blockEndWord(BlockKind kind);

// A camera declared with Camera(): the options current then, its placement and parameters.
struct CameraRecord {
    std::string name;
    Options options;
    MotionTransform cameraTransform;  // world to camera
    ParameterSet parameters;
};

// Attribute categories of SaveAttributes/RestoreAttributes.
enum AttributeCategory : unsigned {
    CategoryColor = 0x1,
    CategoryOpacity = 0x2,
    CategoryOrientation = 0x4,
    CategoryTwoSided = 0x8,
    CategoryTransform = 0x10,
    CategoryTrimSense = 0x20,
    CategoryLightSamples = 0x40,
    CategoryShadowBias = 0x80,
    CategoryVolume = 0x100,
    CategorySurface = 0x200,
    CategoryDisplacement = 0x400,
    CategoryLights = 0x800,
    CategoryShaders = 0x700,
    CategoryTrimCurves = 0x1000,
    CategoryOcclusionMaxError = 0x2000,
    CategoryOcclusionMaxPixelDistance = 0x4000,
    CategoryOcclusionMinSamples = 0x8000,
    CategoryIndirectMaxError = 0x10000,
    CategoryIndirectMaxPixelDistance = 0x20000,
    CategoryIndirectMinSamples = 0x40000,
    CategoryUser = 0x80000,
    CategoryAll = 0xfffff,
};

// Copies the categories in `mask` from a saved record; the transform category is the caller's
// (RestoreAttributes sets the current transform, a mesh face has none of its own).
void applySavedAttributes(Attributes& to, const Attributes& from, unsigned mask);

class Raytracer : public RendererAPI {
  public:
    explicit Raytracer(ErrorManager* errorManager);
    ~Raytracer() override;

    OVO_RENDERER_API_OVERRIDES

    ErrorManager* GetErrorManager() override { return errorManager; }

    // Called by every Render of this renderer as the frame progresses (see
    // RenderProgressCallback); null switches it off.
    void setProgressCallback(RenderProgressCallback callback, void* user) {
        progressCallback = callback;
        progressData = user;
    }
    // Asks the frame being rendered to stop: buckets begun finish, finished ones are written,
    // and no later Render of this renderer draws anything. Only stores to a lock-free atomic,
    // so a signal handler may call it.
    void requestStop() { stopRequest.store(true, std::memory_order_relaxed); }
    bool stopRequested() const { return stopRequest.load(std::memory_order_relaxed); }

    // The value kinds of the typed calls: which overload of a family was called.
    enum ValueKind { KindInt, KindFloat, KindString, KindInts, KindFloats, KindStrings };

    // State read by the rendering engine, the shading library and hosts that inspect a scene.
    Options& getOptions() { return optionsStack.back(); }
    const Options& getOptions() const { return optionsStack.back(); }
    Attributes& getAttributes() { return attributesStack.back(); }
    const Attributes& getAttributes() const { return attributesStack.back(); }
    BlockKind getBlock() const { return blocks.back(); }
    size_t getBlockDepth() const { return blocks.size(); }
    bool isInWorld() const { return inWorld; }
    TransformNode* getCurrentNode() const { return currentNode; }
    TransformNode* getWorldNode() const { return worldNode; }
    TransformNode& getRootNode() { return root; }
    // The first time sample of the current object-to-world transform.
    const Transform& getCurrentTransform() const { return currentNode->accumulated.getSample(0); }
    std::map<OIIO::ustring, Transform>& getNamedSpaces() { return namedSpaces; }
    const std::map<std::string, ParamType>& getDeclarations() const { return declarations; }
    const ParameterSet& getPendingParameters() const { return pending; }
    std::map<OIIO::ustring, GeometrySet>& getGeometrySets() { return geometrySets; }
    std::map<OIIO::ustring, std::vector<Reference<Primitive>>>& getGeometryNames() {
        return geometryNames;
    }
    // Made on first use (it loads the image library).
    OIIO::TextureSystem* getTextureSystem() { return textures.get(); }
    size_t getOptionsDepth() const { return optionsStack.size(); }
    size_t getAttributesDepth() const { return attributesStack.size(); }

    // Passes when the innermost block is `kind`; otherwise reports the innermost block as
    // unclosed (Severe) and fails.
    bool checkBlockEnd(BlockKind kind);
    // Passes inside the world; otherwise reports that the primitive `type` comes too early.
    bool checkInWorld(const char* type);

    // raytracer_geometry.cpp: turns a node's subtree into one primitive (null when it holds
    // none): aggregates for accelerator nodes, solids for solid nodes, a MotionPrimitive around
    // a moving node's content. Render builds the world node this way. Reads the tree only;
    // throws the Error of a plugin that cannot be loaded.
    Reference<Primitive> buildPrimitive(const TransformNode& node);

  private:
    struct SavedAttributes {
        Attributes attributes;
        unsigned mask;
    };
    Raytracer(const Raytracer&) = delete;
    Raytracer& operator=(const Raytracer&) = delete;

    // raytracer.cpp
    void fillDeclarations();

    // raytracer_blocks.cpp
    void pushNode();
    void popNode();
    // Restores the state World() saved, after the frame has been rendered.
    void endWorld();

    // raytracer_typed_calls.cpp
    bool parseDeclaration(const char* call, const char* decl, ParamType& type, const char*& name);
    // The declaration form of a Parameter or Attribute overload: parses `decl` and passes the
    // name, the type and the value on to the typed form, or reports why not.
    template <class T>
    void byDeclaration(const char* call, void (Raytracer::*typed)(const char*, ParamType, T),
                       const char* decl, T value) {
        ParamType type;
        const char* name;
        if (parseDeclaration(call, decl, type, name)) (this->*typed)(name, type, value);
    }
    // What every GetAttribute overload does, for the value kind of T.
    template <class T>
    bool getAttributeAs(const char* decl, ValueKind kind, T& value);
    // The checks every Parameter() call makes before its value is appended.
    bool checkParameter(const char*& name, ParamType type, ValueKind kind, const void* value);
    // The checks common to Attribute() (reading false) and GetAttribute() (reading true):
    // demotion to constant, supported base type, value kind and a value to work with.
    bool checkAttribute(bool reading, const char*& name, ParamType& type, ValueKind kind,
                        const void* value);
    // Reports an undeclared name or a type other than the declared one.
    bool checkDeclared(const char* call, const char* name, ParamType type);
    // True when the name is left to the handlers: user attributes are stored here.
    bool declaredAttribute(const char* name, ParamType type, const void* data);
    // The user attribute `name` of type `type`, or null after reporting why not.
    const ovo::Parameter* findUserAttribute(const char* name, ParamType type);
    void unimplemented(bool reading, const char* name, ParamType type);

    // raytracer_attributes.cpp: false when the name is not an attribute of that value kind.
    bool applyAttribute(const char* name, int value);
    bool applyAttribute(const char* name, float value);
    bool applyAttribute(const char* name, const char* value);
    bool applyAttribute(const char* name, const float* value);
    unsigned parseCategories(const char* categories);
    void setOrientation(const char* value);
    void setGeometrySets(const char* value);
    // raytracer_detail.cpp: the detail of the primitive the current attributes would make.
    float currentDetail() const;

    // raytracer_options.cpp: false when the name is not an option of that value kind.
    bool applyOption(const char* name, int value);
    bool applyOption(const char* name, float value);
    bool applyOption(const char* name, const char* value);
    bool applyOption(const char* name, const int* value);
    bool applyOption(const char* name, const float* value);
    bool readOption(const char* name, const char*& value) const;
    bool readOption(const char* name, float& value) const;
    bool readOption(const char* name, float* value) const;
    bool readOption(const char* name, int* value) const;

    // raytracer_transforms.cpp
    // Runs a transform call through the open motion block, or applies it at once.
    void transformCall(const OIIO::ustring& command, const Transform& t);
    void setPath(const MotionTransform& m);
    void appendPath(const Transform& t);
    void appendPath(const MotionTransform& m);

    // raytracer_geometry.cpp: builds the object whose node ObjectEnd closes and stores it in
    // the options' object map under `name`. It reports plugin failures itself, so that
    // ObjectEnd always closes its block.
    void defineObject(const std::string& name, TransformNode& node);
    void addInt(const char* name, int value);
    void addFloat(const char* name, float value);
    void addString(const char* name, const char* value);
    void addPoint(const char* name, const float* value);
    void addInts(const char* name, int count, const int* values);
    void addFloats(const char* name, int count, const float* values);
    void addOpenArray(const char* name, BaseType type, const void* values);
    bool curveBasis(const char* basis, const char*& type);
    Transform shapeTransform() const;
    void addPrimitive(TransformNode& node, const Reference<ovo::Shape>& shape,
                      const Attributes& attributes, const Transform& m);
    Reference<Primitive> buildNode(const TransformNode& node,
                                   std::vector<Reference<Primitive>>& passed);
    Reference<Primitive> gather(const std::string& name, const ParameterSet& parameters,
                                std::vector<Reference<Primitive>>& parts);
    Reference<Primitive> combine(const std::string& operation, const ParameterSet& parameters,
                                 const std::vector<Reference<Primitive>>& parts, size_t first);
    Reference<Primitive> solid(const std::string& operation, const ParameterSet& parameters,
                               const Reference<Primitive>& a, const Reference<Primitive>& b);

    // raytracer_render.cpp: renders the frame for one camera or all; defines the "screen",
    // "raster" and "NDC" spaces of the first camera when the world begins.
    void renderFrame(const char* camera);
    void defineScreenSpaces();
    void configureTextureSystem();
    // The world primitive, built once per frame for all its cameras.
    struct FrameWorld {
        bool built = false;
        Reference<Primitive> primitive;
    };
    void renderCamera(CameraRecord& record, FrameWorld& world);
    // The outputs of the camera, when the camera can be rendered at all; reports why not.
    bool checkRenderable(CameraRecord& record, std::vector<OutputRecord>& assigned);
    // The film with its filter, the camera and the sampler of one camera's frame.
    struct FramePlugins {
        std::unique_ptr<Film> film;
        std::unique_ptr<ovo::Camera> camera;
        std::unique_ptr<Sampler> sampler;
    };
    void makeFramePlugins(const CameraRecord& record, FramePlugins& frame);
    Reference<Primitive> worldPrimitive(FrameWorld& world);
    void reportStatistics(double seconds, const Scene& scene);
    // Places the lights for one camera and attaches the area lights to their geometry.
    void placeLights(const CameraRecord& record);
    // "camera", and for projective cameras "screen", "raster" and "NDC".
    void defineCameraSpaces(const ovo::Camera& camera, const MotionTransform& cameraTransform);

    ErrorManager* errorManager;
    std::deque<BlockKind> blocks;
    bool inWorld = false;

    TransformNode root;
    TransformNode* currentNode = nullptr;
    TransformNode* worldNode = nullptr;
    // One entry per open transform, attribute, solid or object block (the root at the bottom):
    // the block's node, and the node that was current when the block opened, which becomes
    // current again when it closes (it may be a child made under a moving node).
    std::vector<TransformNode*> nodeStack;
    std::vector<TransformNode*> resumeNodes;
    std::vector<TransformNode*> objectNodes;  // the nodes of the open object blocks

    std::vector<Options> optionsStack;
    std::vector<Attributes> attributesStack;
    std::list<CameraRecord> cameras;
    std::list<OutputRecord> outputs;

    std::map<std::string, ParamType> declarations;
    std::map<OIIO::ustring, Transform> namedSpaces;
    std::map<std::string, SavedAttributes> savedAttributes;
    unsigned groupShaderType = 0;  // the ShaderType of the open shader group, 0 before its first
    std::map<OIIO::ustring, std::vector<Reference<Primitive>>> geometryNames;
    std::map<OIIO::ustring, GeometrySet> geometrySets;
    TransformStore worldTransforms;    // for primitives made inside the world
    TransformStore outsideTransforms;  // for primitives of objects defined outside it

    // The open motion block.
    int motionCount = 0;
    int motionIndex = 0;
    OIIO::ustring motionCommand;  // empty until the block's first transform call
    MotionTransform motionTransform;

    image::LazyTextureSystem textures;
    ParameterSet pending;  // filled by Parameter(), consumed by the next command

    RenderProgressCallback progressCallback = nullptr;
    std::atomic<bool> stopRequest{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "requestStop must be signal-safe");
    void* progressData = nullptr;
};

}  // namespace ovo
