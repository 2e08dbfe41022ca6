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
class Primitive;

// What a light gave at a point, besides its block.
struct LightOutput {
    Color Cl, Ol;
    Vector L;
    float lightDistance;
};

// On a thread with a BlockReuse, a shader that keeps its arguments (Shader::keepsArguments) is
// made ready once: the thread keeps that block, in the shader's ready record, until its
// BlockReuse ends, and giveBlock leaves it alone. A light whose output is the same at every point
// (Shader::sameEverywhere) runs once per thread: its record keeps that output too. A light
// sample looks its record up once and passes it to the calls below.
struct ReadyRecord;

// The thread's record of `shader`; null before its first readyBlock, or without a BlockReuse.
ReadyRecord* readyRecord(const Shader& shader);

// The output `record` keeps, with its block in `block`; null when it keeps none yet, or for a
// null record.
const LightOutput* keptOutput(const ReadyRecord* record, void*& block);

// A block of `shader` made ready by Shader::init for the point `env` describes; `record` is what
// readyRecord gave for it. A kept block is handed out again, setting env's shader space as init
// would. Otherwise takeBlock, then init; on the shader's first time the thread makes its record,
// and `record` then names it.
void* readyBlock(const Shader& shader, ShaderEnvironment& env, ReadyRecord*& record);

// Keeps a light's output after its first run, when its record is to keep one; does nothing
// otherwise (and for a null record).
void keepOutput(ReadyRecord* record, const LightOutput& output);

// Where the record keeps the primitive that last stopped a shadow ray of its light on this
// thread (see LightCacheEntry::blocker); null for a null record.
const Primitive** lastBlocker(ReadyRecord* record);

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
