#include "plugins/generators/rib/source.h"

#include <cstring>

namespace ovo {
namespace rib {

long MemorySource::read(char* buffer, std::size_t size) {
    std::size_t n = m_size - m_pos;
    if (n > size) n = size;
    if (n) std::memcpy(buffer, m_data + m_pos, n);
    m_pos += n;
    return long(n);
}

}  // namespace rib
}  // namespace ovo
