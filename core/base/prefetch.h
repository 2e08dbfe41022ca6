// prefetch: asks the processor to start loading the cache line at an address.
//
// Written as a volatile instruction: GCC deletes a loop whose body is only prefetch builtins
// (_mm_prefetch, __builtin_prefetch), counting them as having no effect, which once silently
// took every child's prefetch out of the hierarchy walk. After changing hot code, check that
// the instructions are there: objdump -d build/plugins/bvh.accelerator.so | grep -c prefetch
#pragma once

namespace ovo {

inline void prefetch(const void* p) {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(p)));
#else
    __builtin_prefetch(p);
#endif
}

}  // namespace ovo
