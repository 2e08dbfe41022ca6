// Data blocks of shaders, kept by a render thread between shading points. Shader::init rewrites
// every argument of a block before the shader runs, so a block given back can serve the next
// point that runs the same shader; a block of arguments that are the same everywhere is made
// ready once and serves every point. While a BlockReuse lives on the thread, blocks are taken from
// and given back to its store instead of being made and freed at every layer and light sample;
// without one (a host calling the shading library directly) they are made and freed each time.
#pragma once

#include "core/math/tuple.h"

namespace ovo {

class Shader;

// A data block of `shader`, ready for Shader::init.
void* takeBlock(const Shader& shader);
// Gives back a block that takeBlock (or shader.createData) made for `shader`; null is ignored.
void giveBlock(const Shader& shader, void* block);

class ShaderEnvironment;

// A block of `shader` made ready by Shader::init for the point `env` describes. On a thread
// with a BlockReuse, a shader that keeps its arguments (Shader::keepsArguments) is made ready
// once: the thread keeps that block until its BlockReuse ends and hands it out again, setting
// env's shader space as init would; giveBlock leaves it alone. Otherwise takeBlock, then init.
void* readyBlock(const Shader& shader, ShaderEnvironment& env);

// What a light gave at a point, besides its block.
struct LightOutput {
    Color Cl, Ol;
    Vector L;
    float lightDistance;
};

// A light whose output is the same at every point (Shader::sameEverywhere) runs once per thread
// with a BlockReuse: its ready block keeps that output. `keptOutput` gives it, and the block in
// `block`, once kept; null before, or for any other shader. `keepOutput` keeps it after the first
// run (after readyBlock), and does nothing for any other shader.
const LightOutput* keptOutput(const Shader& shader, void*& block);
void keepOutput(const Shader& shader, const LightOutput& output);

// The render loop keeps one for its whole walk over the buckets; its end frees the blocks it
// kept, before the scene and its shaders go. Nested ones do nothing.
class BlockReuse {
  public:
    BlockReuse();
    ~BlockReuse();
    BlockReuse(const BlockReuse&) = delete;
    BlockReuse& operator=(const BlockReuse&) = delete;

    struct Store;

  private:
    Store* store;
};

}  // namespace ovo
