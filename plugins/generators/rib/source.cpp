#include "plugins/generators/rib/source.h"

#include <cstring>

namespace ovo {
namespace rib {

long MemorySource::read(char* buffer, std::size_t size) {
    std::size_t n = byteCount - pos;
    if (n > size) n = size;
    if (n) std::memcpy(buffer, bytes + pos, n);
    pos += n;
    return long(n);
}

}  // namespace rib
}  // namespace ovo
