// Byte sources the RIB tokenizer reads from: memory, or a file (plain or gzip-compressed,
// "-" for standard input). The tokenizer only sees this interface.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace ovo {
namespace rib {

class Source {
  public:
    virtual ~Source() = default;
    // Reads up to `size` bytes into `buffer`: the count read, 0 at the end, -1 on an error.
    virtual long read(char* buffer, std::size_t size) = 0;
    // What went wrong when read returned -1.
    virtual std::string error() const { return "read error"; }
};

// Reads a caller-owned block of memory; the caller keeps it alive.
class MemorySource : public Source {
  public:
    MemorySource(const char* data, std::size_t size) : bytes(data), byteCount(size) {}
    long read(char* buffer, std::size_t size) override;

  private:
    const char* bytes;
    std::size_t byteCount;
    std::size_t pos = 0;
};

// Opens a file for reading; gzip-compressed files are decompressed on the fly, and "-"
// reads standard input. Returns null and fills `error` when the file cannot be opened.
std::unique_ptr<Source> openFileSource(const std::string& path, std::string& error);

}  // namespace rib
}  // namespace ovo
