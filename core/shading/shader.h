// Shader: the base class that compiled shader plugins implement, the Argument records
// through which they publish their parameters, the bindings of scene parameters to
// arguments, and the layer-to-layer connections of a shader group.
#pragma once

#include <OpenImageIO/ustring.h>

#include <map>
#include <string>
#include <vector>

#include "core/geometry/interpolator.h"
#include "core/base/reference.h"
#include "core/math/matrix.h"
#include "core/math/transform.h"
#include "core/math/tuple.h"
#include "core/params/parameter.h"
#include "core/params/paramtype.h"

namespace ovo {

class ShaderEnvironment;
class Shape;

enum ShaderType : unsigned {
    ShaderTypeNone = 0,
    ShaderTypeSurface = 1,
    ShaderTypeDisplacement = 2,
    ShaderTypeLight = 4,
    ShaderTypeVolume = 8,
    ShaderTypeImager = 16,
};
// "surface", "displacement", "light", "volume", "imager"; anything else "<unknown>".
const char* shaderTypeName(unsigned type);
// The type for a name, 0 when the name is unknown (or null).
ShaderType parseShaderType(const char* name);

// Flags of the shading globals a shader reads (ShaderInfo::globals).
enum ShaderGlobal : unsigned {
    GlobalCs = 0x1,
    GlobalOs = 0x2,
    GlobalP = 0x4,
    GlobalDPdu = 0x8,
    GlobalDPdv = 0x10,
    GlobalN = 0x20,
    GlobalNg = 0x40,
    GlobalU = 0x80,
    GlobalV = 0x100,
    GlobalDu = 0x200,
    GlobalDv = 0x400,
    GlobalS = 0x800,
    GlobalT = 0x1000,
    GlobalL = 0x2000,
    GlobalCl = 0x4000,
    GlobalOl = 0x8000,
    GlobalE = 0x10000,
    GlobalI = 0x20000,
    GlobalNcomps = 0x80000,
    GlobalTime = 0x100000,
    GlobalDtime = 0x200000,
    GlobalDPdtime = 0x400000,
    GlobalCi = 0x800000,
    GlobalOi = 0x1000000,
    GlobalPs = 0x2000000,
    GlobalAlpha = 0x4000000,
};

// What the shader compiler proves about a shader (ShaderInfo::properties).
enum ShaderProperty : unsigned {
    // A surface shader that leaves Oi equal to Os at every point and has no other effect on
    // it: a shadow ray takes a hit's opacity from Os without running the shader.
    ShaderOpacityIsOs = 0x1,
    // No output argument, and every default is the same at every point: once Shader::init has
    // run, the block serves every later point of the frame unchanged.
    ShaderUniformArguments = 0x2,
    // A light with uniform arguments whose body reads nothing of the point (no global but Cl, Ol
    // and L, no illuminate, solar only with an axis, no random or state-reading builtin): every
    // point gets the same Cl, Ol and L from it.
    ShaderSameEverywhere = 0x4,
};

struct ShaderInfo {
    const char* name;
    unsigned globals;         // ShaderGlobal mask of the globals the shader reads
    unsigned type;            // ShaderType
    unsigned properties = 0;  // ShaderProperty flags
};

struct GlobalVariable {
    unsigned flag;  // 0 when the name is not a global
    ParamType type;
};
// The shading globals by name ("Cs", "P", ...); flag 0 for any other name.
GlobalVariable findGlobalVariable(const char* name);

class Shader : public ReferenceCounted {
  public:
    // One published parameter of a compiled shader. A scalar lives inline at `offset` in the
    // data block (float, OIIO::ustring, Tuple for point/vector/normal/hpoint, Color, Matrix);
    // an array argument holds a std::vector of that element type there.
    struct Argument {
        OIIO::ustring name;
        ParamType type;
        unsigned flags;  // reserved for the shader compiler
        unsigned offset;
    };

    // A parameter of the Shader call bound to an argument: one interpolator per element.
    class ArgumentConnectionInterface {
      public:
        ArgumentConnectionInterface(const Argument* argument, const Parameter& parameter);
        virtual ~ArgumentConnectionInterface();
        virtual void evaluate(ShaderEnvironment& env, void* data) const = 0;
        virtual void createInterpolators(std::map<OIIO::ustring, Transform>& spaces) = 0;
        virtual void clearInterpolators() = 0;

        const Argument* argument;
        ParamType type;
        std::vector<float> values;
        std::vector<OIIO::ustring> spaces;
    };

    template <class T>
    class ArgumentConnection;  // T = float, OIIO::ustring, Color, Tuple, Matrix

    // One end of a layer connection.
    struct ConnectionEnd {
        ParamType type;
        unsigned global;  // ShaderGlobal flag, 0 for a shader argument
        int index;        // array element, -1 when none was named
        int layer;        // position of the layer in its group
        unsigned offset;  // the argument's data offset
    };

    class ShaderConnectionInterface {
      public:
        ShaderConnectionInterface(const ConnectionEnd& source, const ConnectionEnd& destination)
            : source(source), destination(destination) {}
        virtual ~ShaderConnectionInterface() {}
        virtual void evaluate(ShaderEnvironment& env, void* sourceData,
                              void* destinationData) const = 0;
        ConnectionEnd source;
        ConnectionEnd destination;
    };
    class FloatConnection;
    class TupleConnection;
    class StringConnection;
    class MatrixConnection;
    class FloatTupleConnection;
    template <class T>
    class ArrayConnection;  // T = float, const char*, Tuple

    Shader();
    ~Shader() override;

    virtual void execute(ShaderEnvironment& env, void* data) const = 0;
    virtual void initialize(ShaderEnvironment& env, void* data) const = 0;
    virtual const ShaderInfo* info() const = 0;
    virtual const Argument* arguments() const = 0;
    virtual int numArguments() const = 0;
    virtual void* createData() const = 0;
    virtual void destroyData(void* data) const = 0;

    unsigned type() const { return info()->type; }
    const Argument* find(const OIIO::ustring& name) const;

    // Prepares a data block: coordinate system, defaults, parameter bindings, and for a
    // layer of a group the layer connections from the other layers' blocks.
    void init(ShaderEnvironment& env, const Shape* shape, void* data) const;
    void init(ShaderEnvironment& env, std::vector<void*>& layerData, const Shape* shape,
              void* data) const;

    bool getMessage(const OIIO::ustring& name, void* data, float& out) const;
    bool getMessage(const OIIO::ustring& name, void* data, Color& out) const;
    bool getMessage(const OIIO::ustring& name, void* data, Tuple& out) const;

    // What a light asks diffuse() and specular() to leave out: its float message
    // "__nondiffuse" or "__nonspecular", 0 without one. The same as getMessage, from arguments
    // found by rebindArguments instead of by name for every light sample.
    enum Contribution { NonDiffuse = 0, NonSpecular = 1 };
    float leftOut(Contribution which, void* data) const;

    const std::string& getHandle() const { return handle; }
    void setHandle(const char* h) { handle = h ? h : ""; }
    const Transform& getCoordinateSystem() const { return coordinateSystem; }
    void setCoordinateSystem(const Transform& t) { coordinateSystem = t; }

    // Connections are owned by the shader.
    void addLayerConnection(ShaderConnectionInterface* c) { layerConnections.push_back(c); }
    void addArgumentConnection(ArgumentConnectionInterface* c) { argumentConnections.push_back(c); }
    const std::vector<ShaderConnectionInterface*>& getLayerConnections() const {
        return layerConnections;
    }
    const std::vector<ArgumentConnectionInterface*>& getArgumentConnections() const {
        return argumentConnections;
    }
    // Whether a block made ready by init serves every point of a render unchanged: the compiler
    // proved the arguments uniform (ShaderUniformArguments), and every binding is constant.
    virtual bool keepsArguments() const;
    // Whether every point of a render gets the same output from it: it keeps its arguments and
    // the compiler proved that its body reads nothing of the point (ShaderSameEverywhere).
    bool sameEverywhere() const;
    // Takes the named system "shader" as the coordinate system and rebuilds every binding's
    // interpolators from the named coordinate systems (lights are re-bound for each camera).
    // An area light passes it on to the light shader it wraps.
    virtual void rebindArguments(std::map<OIIO::ustring, Transform>& spaces);

  private:
    // Gives the shape's primitive variables to the arguments of the same name.
    void bindVariables(ShaderEnvironment& env, const Shape& shape, void* data) const;
    Shader(const Shader&) = delete;
    Shader& operator=(const Shader&) = delete;

    std::string handle;
    // The arguments leftOut reads, once rebindArguments has found them.
    const Argument* leftOutArguments[2] = {nullptr, nullptr};
    bool leftOutFound = false;
    std::vector<ShaderConnectionInterface*> layerConnections;
    std::vector<ArgumentConnectionInterface*> argumentConnections;
    Transform coordinateSystem;
};

// Loads the shader plugin `name` from `searchPath` and binds `parameters` to its arguments.
// Throws Error when the plugin cannot be found or opened; null when its entry makes nothing.
// When no plugin of that name is on the path, the shader-source compiler (if one is set) is
// asked first.
Shader* createShader(const std::string& name, const std::string& searchPath,
                     std::map<OIIO::ustring, Transform>& spaces, ParameterSet& parameters);

// Called with a shader's name and the search path when no plugin of that name is on it: an
// application that can compile shader sources (the ovo command) compiles <name>.sl if it
// finds one and returns the folder that now holds <name>.shader.so; otherwise it returns an
// empty string and the shader is not found, as without it. Set once, before rendering.
using ShaderSourceCompiler = std::string (*)(const std::string& name,
                                             const std::string& searchPath);
void setShaderSourceCompiler(ShaderSourceCompiler compiler);
// Called with a shader's name before the shader path is searched: an application that reads
// scene files gives a scene's own source precedence over a compiled shader of the same name by
// returning the folder that holds <name>.shader.so compiled from it, or "" to search as usual.
using ShaderSourceOverride = std::string (*)(const std::string& name);
void setShaderSourceOverride(ShaderSourceOverride sceneFirst);

}  // namespace ovo

// Entry point every shader plugin exports.
extern "C" typedef ovo::Shader* (*OvoCreateShaderEntry)();
