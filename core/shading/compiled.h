// What compiled shaders share: a data block type per shader, its allocation, and for light
// shaders the shadow flag and the single sample. A shader plugin declares its data block, an
// argument table of offsets into it and a ShaderInfo, and implements initialize and execute.
#pragma once

#include <cstddef>

#include "core/shading/environment.h"
#include "core/shading/light.h"
#include "core/shading/shader.h"

namespace ovo {

template <class Data>
class CompiledShader : public Shader {
  public:
    void* createData() const override { return new Data(); }
    void destroyData(void* data) const override { delete static_cast<Data*>(data); }
};

template <class Data>
class CompiledLight : public Light {
  public:
    void* createData() const override { return new Data(); }
    void destroyData(void* data) const override { delete static_cast<Data*>(data); }
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
