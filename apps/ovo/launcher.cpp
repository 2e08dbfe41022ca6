// The ovo executable: answers --help and --version by itself and hands everything else to the
// renderer's command library (libovo_cli, beside libovo), loaded only then. Loading the library
// brings in the whole image library with its hundreds of dependencies, which costs far more
// than answering a question about the program.
#include <dlfcn.h>
#include <limits.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "apps/ovo/command_line.h"

namespace {

// lib/libovo_cli.so beside the executable's bin/: the build tree and an installation look
// alike. Only that one: a launcher must not pick up another version's library.
std::string commandLibrary() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "libovo_cli.so";
    path[n] = '\0';
    std::string dir(path);
    dir.erase(dir.rfind('/'));
    const std::size_t slash = dir.rfind('/');
    dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
    return dir + "/lib/libovo_cli.so";
}

// Touching fresh memory costs a page fault per 4 KB page, and on a virtual machine a fault can
// cost over ten microseconds: the image library alone fills a 24 MB string table while it
// loads, and a frame's film takes 48 bytes a pixel. The C library backs its heaps with 2 MB
// pages when its tunable asks for them, but reads the tunable only as a process starts: so
// the launcher starts itself once more with it added (about 6% of a small frame's time).
// The heap is also asked to grow by HeapReserve at once, for prefaultHeap below.
// Without /proc, or when the user has set the tunable, it goes on as it is.
const std::size_t HeapReserve = std::size_t(24) << 20;

void restartWithLargePages(char** argv) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return;  // the sanitizers bring their own allocator
#endif
    // A set-user-ID start drops the tunables, and the restart would never end.
    if (getauxval(AT_SECURE)) return;
    const char* Tunable = "glibc.malloc.hugetlb";
    const char* old = std::getenv("GLIBC_TUNABLES");
    if (old && std::strstr(old, Tunable)) return;
    std::string value = (old && *old ? std::string(old) + ":" : std::string()) + Tunable + "=1";
    if (!(old && std::strstr(old, "glibc.malloc.top_pad")))
        value += ":glibc.malloc.top_pad=" + std::to_string(HeapReserve);
    if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) return;
    execv("/proc/self/exe", argv);
}

// Even in 2 MB pages the string table's faults take tens of milliseconds here, one after the
// other while the library loads, with the second processor idle. A helper thread faults the
// heap's unused top in meanwhile, from its far end down (the loading thread allocates from the
// near end up), one atomic add of zero a page, which changes no byte: the pages come zeroed as
// they would at first touch, or keep what the loading thread has written there by then.
// A touch takes only the heap's own lock in the kernel; asking the kernel to populate the range
// instead holds the lock of the whole address space for each 2 MB zeroed, and the loading
// thread's every mapping of a library waited for it (about 40 ms of a frame's start).
// The heap must not shrink under the helper: trimming its top is turned off (see prefaultHeap).
struct HeapTop {
    std::uintptr_t low, high;
};

void* faultIn(void* range) {
    const HeapTop top = *static_cast<HeapTop*>(range);
    delete static_cast<HeapTop*>(range);
    const std::size_t page = 2u << 20;
    for (std::uintptr_t end = top.high & ~(page - 1); end > top.low; end -= page) {
        const std::uintptr_t from = std::max(end - page, top.low);
        __atomic_fetch_add(reinterpret_cast<unsigned char*>(from), 0, __ATOMIC_RELAXED);
    }
    return nullptr;
}

void prefaultHeap() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return;
#endif
    // The top chunk is what lies unused at the heap's end; below 4 MB, no reserve was asked for.
    const std::size_t unused = std::min(mallinfo2().keepcost, HeapReserve);
    if (unused < (std::size_t(4) << 20)) return;
    // A free next to the top could otherwise hand pages the helper is about to touch back to
    // the system. The reserve stays the process's: it ends with its last frame.
    if (mallopt(M_TRIM_THRESHOLD, INT_MAX) != 1) return;
    const auto high = reinterpret_cast<std::uintptr_t>(sbrk(0));
    auto* range = new HeapTop{high - unused, high};
    pthread_t helper;
    if (pthread_create(&helper, nullptr, faultIn, range) == 0)
        pthread_detach(helper);
    else
        delete range;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    ovo::app::CommandLine options;
    std::string error;
    if (!ovo::app::parseCommandLine(args, options, error)) {
        std::fprintf(stderr, "ovo: %s\n%s", error.c_str(), ovo::app::usageText());
        return 2;
    }
    if (options.help) {
        std::fputs(ovo::app::usageText(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("ovo %s\n", OVO_VERSION_STRING);
        return 0;
    }
    restartWithLargePages(argv);
    prefaultHeap();
    std::string library = commandLibrary();
    void* handle = dlopen(library.c_str(), RTLD_LAZY | RTLD_GLOBAL);
    using Entry = int (*)(int, char**);
    Entry run = handle ? reinterpret_cast<Entry>(dlsym(handle, "ovoMain")) : nullptr;
    if (!run) {
        std::fprintf(stderr, "ovo: cannot load %s: %s\n", library.c_str(), dlerror());
        return 1;
    }
    const int status = run(argc, argv);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Every image is written and closed by now. What exit would add is the destructors of the
    // image library's few hundred libraries, about 15 ms a run that change nothing on disk.
    std::fflush(nullptr);
    _exit(status);
#endif
    return status;
}
