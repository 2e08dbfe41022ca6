#include "core/shading/blocks.h"

#include <utility>
#include <vector>

#include "core/shading/environment.h"
#include "core/shading/shader.h"

namespace ovo {

struct ReadyRecord {
    const Shader* shader;
    void* block;  // null for a shader that does not keep its arguments: it is asked only once
    enum { None, Empty, Kept } output;  // whether the block keeps its light's output
    LightOutput light;
    const Primitive* blocker;
};

// A cache line of its own: written on every block, never beside another thread's.
struct alignas(64) BlockReuse::Store {
    std::vector<std::pair<const Shader*, void*>> kept;
    // Reserved whole when the store is made and never grown past it, so that a record stays
    // where readyRecord found it.
    std::vector<ReadyRecord> ready;
};

namespace {

// Initial-exec: read at a fixed offset from the thread pointer instead of through
// __tls_get_addr on every block. The Python module loads libovo at run time, which takes
// eight bytes of the static TLS reserve that the C library keeps for that.
__attribute__((tls_model("initial-exec"))) thread_local BlockReuse::Store* threadStore = nullptr;

// A shading point holds a block per layer and per light sample; more than this many kept would
// only be a thread's share of a scene with unusually many lights.
const size_t MaxKept = 64;

}  // namespace

void* takeBlock(const Shader& shader) {
    if (BlockReuse::Store* store = threadStore) {
        auto& kept = store->kept;
        // The most recently given back first: the same shaders come round in the same order.
        for (size_t i = kept.size(); i-- > 0;) {
            if (kept[i].first != &shader) continue;
            void* block = kept[i].second;
            // Moved field by field, and only when it is not the last: the last pair was often
            // just stored by giveBlock, and one wide load of it would wait for those stores.
            const size_t last = kept.size() - 1;
            if (i != last) {
                kept[i].first = kept[last].first;
                kept[i].second = kept[last].second;
            }
            kept.pop_back();
            return block;
        }
    }
    return shader.createData();
}

ReadyRecord* readyRecord(const Shader& shader) {
    if (BlockReuse::Store* store = threadStore)
        for (ReadyRecord& r : store->ready)
            if (r.shader == &shader) return &r;
    return nullptr;
}

const LightOutput* keptOutput(const ReadyRecord* record, void*& block) {
    if (!record || record->output != ReadyRecord::Kept) return nullptr;
    block = record->block;
    return &record->light;
}

void* readyBlock(const Shader& shader, ShaderEnvironment& env, ReadyRecord*& record) {
    if (record && record->block) {
        env.shaderSpace = shader.getCoordinateSystem();
        return record->block;
    }
    void* block = takeBlock(shader);
    shader.init(env, nullptr, block);
    BlockReuse::Store* store = threadStore;
    if (store && !record && store->ready.size() < MaxKept) {
        const bool keeps = shader.keepsArguments();
        store->ready.push_back(
            ReadyRecord{&shader, keeps ? block : nullptr,
                        keeps && shader.sameEverywhere() ? ReadyRecord::Empty : ReadyRecord::None,
                        LightOutput(), nullptr});
        record = &store->ready.back();
    }
    return block;
}

void keepOutput(ReadyRecord* record, const LightOutput& output) {
    if (!record || record->output != ReadyRecord::Empty) return;
    record->light = output;
    record->output = ReadyRecord::Kept;
}

const Primitive** lastBlocker(ReadyRecord* record) { return record ? &record->blocker : nullptr; }

void giveBlock(const Shader& shader, void* block) {
    if (!block) return;
    BlockReuse::Store* store = threadStore;
    if (store)
        for (const ReadyRecord& r : store->ready)
            if (r.block == block) return;
    if (store && store->kept.size() < MaxKept)
        store->kept.emplace_back(&shader, block);
    else
        shader.destroyData(block);
}

BlockReuse::BlockReuse() : store(threadStore ? nullptr : new Store) {
    if (store) {
        store->kept.reserve(MaxKept);
        store->ready.reserve(MaxKept);
        threadStore = store;
    }
}

BlockReuse::~BlockReuse() {
    if (!store) return;
    threadStore = nullptr;
    for (const auto& [shader, block] : store->kept) shader->destroyData(block);
    for (const ReadyRecord& r : store->ready)
        if (r.block) r.shader->destroyData(r.block);
    delete store;
}

}  // namespace ovo
