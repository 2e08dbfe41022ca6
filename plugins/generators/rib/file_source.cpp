// File sources through zlib: gzread passes uncompressed files through unchanged, so one
// reader serves "scene.rib" and "scene.rib.gz" alike.
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "plugins/generators/rib/source.h"

namespace ovo {
namespace rib {

namespace {

class GzSource : public Source {
  public:
    explicit GzSource(gzFile opened) : file(opened) {}
    ~GzSource() override { gzclose(file); }

    long read(char* buffer, std::size_t size) override {
        if (size > unsigned(INT_MAX)) size = INT_MAX;
        int n = gzread(file, buffer, unsigned(size));
        if (n < 0) {
            int code = 0;
            const char* text = gzerror(file, &code);
            lastError = code == Z_ERRNO ? std::strerror(errno) : (text ? text : "read error");
            return -1;
        }
        return n;
    }
    std::string error() const override { return lastError; }

  private:
    gzFile file;
    std::string lastError;
};

}  // namespace

std::unique_ptr<Source> openFileSource(const std::string& path, std::string& error) {
    gzFile file = nullptr;
    if (path == "-") {
        int fd = dup(STDIN_FILENO);  // gzclose closes its descriptor; keep stdin open
        if (fd >= 0) file = gzdopen(fd, "rb");
        if (!file && fd >= 0) close(fd);
    } else {
        // A directory opens fine but reads as an error; pipes and devices are allowed.
        struct stat st;
        if (stat(path.c_str(), &st) != 0) {
            error = std::strerror(errno);
            return nullptr;
        }
        if (S_ISDIR(st.st_mode)) {
            error = "is a directory";
            return nullptr;
        }
        errno = 0;
        file = gzopen(path.c_str(), "rb");
    }
    if (!file) {
        error = errno ? std::strerror(errno) : "cannot open";
        return nullptr;
    }
    gzbuffer(file, 1 << 16);
    return std::unique_ptr<Source>(new GzSource(file));
}

}  // namespace rib
}  // namespace ovo
