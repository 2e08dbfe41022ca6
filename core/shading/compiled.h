// What compiled shaders share: a data block type per shader, its allocation, the shader's
// ShaderInfo and argument table, and for light shaders the shadow flag and the single sample.
// A shader plugin declares its data block, an argument table of offsets into it and a
// ShaderInfo, hands the last two to its base's constructor, and implements initialize and
// execute:
//
//   class Matte : public CompiledShader<Data> {
//     public:
//       Matte() : CompiledShader(Info, Arguments) {}
//       void initialize(ShaderEnvironment& env, void* data) const override { ... }
//       void execute(ShaderEnvironment& env, void* data) const override { ... }
//   };
#pragma once

#include <cstddef>

#include "core/shading/environment.h"
#include "core/shading/light.h"
#include "core/shading/shader.h"

namespace ovo {

// The part common to CompiledShader and CompiledLight; Base is Shader or Light. The argument
// table is the plugin's own constant array, so it outlives every shader made from it.
template <class Base, class Data>
class CompiledBase : public Base {
  public:
    template <std::size_t N>
    CompiledBase(const ShaderInfo& info, const Shader::Argument (&arguments)[N])
        : shaderInfo(info), argumentTable(arguments), argumentCount(int(N)) {}
    // A shader without arguments.
    explicit CompiledBase(const ShaderInfo& info)
        : shaderInfo(info), argumentTable(nullptr), argumentCount(0) {}

    const ShaderInfo* info() const override { return &shaderInfo; }
    const Shader::Argument* arguments() const override { return argumentTable; }
    int numArguments() const override { return argumentCount; }
    void* createData() const override { return new Data(); }
    void destroyData(void* data) const override { delete static_cast<Data*>(data); }

  private:
    const ShaderInfo shaderInfo;
    const Shader::Argument* const argumentTable;
    const int argumentCount;
};

template <class Data>
class CompiledShader : public CompiledBase<Shader, Data> {
  public:
    using CompiledBase<Shader, Data>::CompiledBase;
};

template <class Data>
class CompiledLight : public CompiledBase<Light, Data> {
  public:
    using CompiledBase<Light, Data>::CompiledBase;

    bool isAmbient() const override { return false; }
    void setShadows(bool on) override { shadows = on; }
    bool castsShadows() const override { return shadows; }
    unsigned numSamples() const override { return 1; }

  private:
    bool shadows = false;
};

// One argument record: its name, type and the offset of its member in the data block.
#define OVO_ARGUMENT(DATA, MEMBER, TYPE) \
    { OIIO::ustring(#MEMBER), ParamType(TYPE), 0u, unsigned(offsetof(DATA, MEMBER)) }
#define OVO_NAMED_ARGUMENT(DATA, MEMBER, NAME, TYPE) \
    { OIIO::ustring(NAME), ParamType(TYPE), 0u, unsigned(offsetof(DATA, MEMBER)) }

}  // namespace ovo
