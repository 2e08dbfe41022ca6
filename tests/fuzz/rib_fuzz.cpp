// libFuzzer target: arbitrary bytes through the RIB tokenizer, parser and reader into a
// renderer that makes nothing and discards every message. It does read every parameter
// array as far as the consuming call will, so a count the reader failed to check shows up
// as a heap overflow. Only inline archives are read: no input opens a file.
#include <OpenImageIO/errorhandler.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/api/renderer_api.h"
#include "core/params/paramtype.h"
#include "plugins/generators/rib/reader.h"

namespace {

class Discard : public OIIO::ErrorHandler {
  public:
    void operator()(int, const std::string&) override {}
};

class NullRenderer : public ovo::RendererAPI {
  public:
    NullRenderer() : manager(ovo::ErrorManager::Create(&discard, 0)) {}
    ~NullRenderer() override { delete manager; }
    ovo::ErrorManager* GetErrorManager() override { return manager; }

    void Parameter(const char* decl, const float* v) override { add(decl, v, 'f'); }
    void Parameter(const char* decl, const int* v) override { add(decl, v, 'i'); }
    void Parameter(const char* decl, const char** v) override { add(decl, v, 's'); }

    void Shader(const char*, const char*, const char*) override { consume(1, 1, 1); }
    void Light(const char*, const char*, const char*) override { consume(1, 1, 1); }
    void Output(const char*, const char*, const char*, const char*) override { consume(1, 1, 1); }
    void Points(int n) override { consume(size(n), size(n), 1); }
    void Polygon(int n) override { consume(size(n), size(n), 1); }
    void Polygon(int nloops, int* nverts) override {
        std::size_t total = 0;
        for (int i = 0; i < nloops; ++i) total += size(nverts[i]);
        consume(total, total, 1);
    }
    void Mesh(const char*, int npolys, const int* nverts, const int* verts) override {
        std::size_t total = 0;
        for (int i = 0; i < npolys; ++i) total += size(nverts[i]);
        std::size_t n = total ? size(*std::max_element(verts, verts + total)) + 1 : 0;
        consume(n, n, size(npolys));
    }
    void Mesh(const char*, int npolys, const int* nloops, const int* nverts,
              const int* verts) override {
        std::size_t loops = 0, total = 0;
        for (int i = 0; i < npolys; ++i) loops += size(nloops[i]);
        for (std::size_t i = 0; i < loops; ++i) total += size(nverts[i]);
        std::size_t n = total ? size(*std::max_element(verts, verts + total)) + 1 : 0;
        consume(n, n, size(npolys));
    }
    // Shapes made by name (blobby, ...) consume what was given, one value of each class.
    void Shape(const char*) override { consume(1, 1, 1); }
    void Patch(const char*, int nu, int nv) override { consume(size(nu) * size(nv), 4, 1); }
    void Patch(int nu, int uorder, const float* uknot, float, float, int nv, int vorder,
               const float* vknot, float, float) override {
        touch(uknot, size(nu + uorder));
        touch(vknot, size(nv + vorder));
        consume(size(nu) * size(nv), 4, 1);
    }
    void Curves(const char*, int ncurves, int* nverts) override {
        std::size_t total = 0;
        for (int i = 0; i < ncurves; ++i) total += size(nverts[i]);
        consume(total, 2 * size(ncurves), size(ncurves));
    }
    void TrimCurve(int nloops, const int* ncurves, const int* n, const int* order,
                   const float* knot, const float* min, const float* max, const float* P) override {
        std::size_t curves = 0, knots = 0, points = 0;
        for (int i = 0; i < nloops; ++i) curves += size(ncurves[i]);
        for (std::size_t i = 0; i < curves; ++i) {
            knots += size(n[i]) + size(order[i]);
            points += size(n[i]);
        }
        touch(knot, knots);
        touch(min, curves);
        touch(max, curves);
        touch(P, 3 * points);
    }
    void Sphere(float, float, float, float) override { consume(4, 4, 1); }
    void Cone(float, float, float) override { consume(4, 4, 1); }
    void Cylinder(float, float, float, float) override { consume(4, 4, 1); }
    void Disk(float, float, float, float) override { consume(4, 4, 1); }
    void Hyperboloid(float* p1, float* p2, float) override {
        touch(p1, 3);
        touch(p2, 3);
        consume(4, 4, 1);
    }
    void Paraboloid(float, float, float, float) override { consume(4, 4, 1); }
    void Torus(float, float, float, float, float) override { consume(4, 4, 1); }
    void SetTransform(const float* m) override { touch(m, 16); }
    void AppendTransform(const float* m) override { touch(m, 16); }
    void Motion(int n, const float* times) override { touch(times, size(n)); }
    void Attribute(const char* decl, const float* v) override {
        touch(v, std::size_t(std::max(0, ovo::ParamType(decl).nfloats())));
    }
    void Attribute(const char* decl, const int* v) override {
        touch(v, ovo::ParamType(decl).arraylen());
    }

    volatile float sink = 0.0f;

  private:
    struct Pending {
        ovo::ParamType type;
        const void* data;
        char kind;
    };
    static std::size_t size(int n) { return n > 0 ? std::size_t(n) : 0; }
    void add(const char* decl, const void* data, char kind) {
        pending.push_back({ovo::ParamType(decl), data, kind});
    }
    template <class T>
    void touch(const T* data, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) sink = sink + float(data[i] != T());
    }
    void touch(const char* const* data, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) sink = sink + float(data[i][0]);
    }
    // Reads every pending parameter as far as a call with these class sizes would.
    void consume(std::size_t vertex, std::size_t linear, std::size_t perpiece) {
        for (const Pending& p : pending) {
            std::size_t count = 1;
            switch (p.type.interpolation()) {
                case ovo::InterpConstant:
                    count = 1;
                    break;
                case ovo::InterpPerPiece:
                    count = perpiece;
                    break;
                case ovo::InterpLinear:
                    count = linear;
                    break;
                case ovo::InterpVertex:
                    count = vertex;
                    break;
            }
            bool counted =
                p.type.basetype() == ovo::TypeInt || p.type.basetype() == ovo::TypeString;
            std::size_t per = counted ? p.type.arraylen() : std::size_t(p.type.nfloats());
            std::size_t n = count * per;
            if (p.kind == 'f') touch(static_cast<const float*>(p.data), n);
            if (p.kind == 'i') touch(static_cast<const int*>(p.data), n);
            if (p.kind == 's') touch(static_cast<const char* const*>(p.data), n);
        }
        pending.clear();
    }

    Discard discard;
    ovo::ErrorManager* manager;
    std::vector<Pending> pending;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    NullRenderer renderer;
    ovo::rib::Reader reader(&renderer);
    reader.allowFileArchives(false);
    reader.readMemory("fuzz.rib", reinterpret_cast<const char*>(data), size);
    reader.finish();
    return 0;
}
