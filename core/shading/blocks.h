// Data blocks of shaders, kept by a render thread between shading points. Shader::init rewrites
// every argument of a block before the shader runs, so a block given back can serve the next
// point that runs the same shader; a block of arguments that are the same everywhere is made
// ready once and serves every point. While a BlockReuse lives on the thread, blocks are taken from
// and given back to its store instead of being made and freed at every layer and light sample;
// without one (a host calling the shading library directly) they are made and freed each time.
#pragma once

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
