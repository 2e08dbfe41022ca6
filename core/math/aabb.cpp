#include "core/math/aabb.h"

#include <mutex>

namespace ovo {

namespace detail {

__thread AabbCounterSlot aabbCounterSlot __attribute__((tls_model("initial-exec")));

namespace {

// Registry of the live threads' slots (an intrusive list: nothing to allocate or destroy at
// exit) plus the totals of threads that have ended.
std::mutex registryMutex;
AabbCounterSlot* registryHead = nullptr;
uint64_t retired[2] = {0, 0};

// Folds the thread's counts into the retired totals when the thread ends, before its TLS block
// goes away. Counts made later in that thread's teardown are dropped.
struct SlotRetirer {
    ~SlotRetirer() {
        AabbCounterSlot& slot = aabbCounterSlot;
        std::lock_guard<std::mutex> lock(registryMutex);
        for (int i = 0; i < 2; ++i) retired[i] += slot.value[i].load(std::memory_order_relaxed);
        if (slot.prev)
            slot.prev->next = slot.next;
        else
            registryHead = slot.next;
        if (slot.next) slot.next->prev = slot.prev;
        slot.prev = slot.next = nullptr;
    }
};

}  // namespace

void registerAabbCounterSlot() {
    AabbCounterSlot& slot = aabbCounterSlot;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        slot.prev = nullptr;
        slot.next = registryHead;
        if (registryHead) registryHead->prev = &slot;
        registryHead = &slot;
    }
    slot.state = 1;
    static thread_local SlotRetirer retirer;
    (void)retirer;
}

}  // namespace detail

Aabb::Counter Aabb::numIntersectionTests(0);
Aabb::Counter Aabb::numHits(1);

uint64_t Aabb::Counter::load() const {
    std::lock_guard<std::mutex> lock(detail::registryMutex);
    uint64_t total = detail::retired[index];
    for (const detail::AabbCounterSlot* s = detail::registryHead; s; s = s->next)
        total += s->value[index].load(std::memory_order_relaxed);
    return total;
}

void Aabb::Counter::reset() {
    std::lock_guard<std::mutex> lock(detail::registryMutex);
    detail::retired[index] = 0;
    for (detail::AabbCounterSlot* s = detail::registryHead; s; s = s->next)
        s->value[index].store(0, std::memory_order_relaxed);
}

}  // namespace ovo
