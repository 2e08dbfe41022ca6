// The Python module `ovo`: a renderer scripted from Python. Every operation of the scene
// interface keeps its name and arguments; parameter lists come as dictionaries and keyword
// arguments ({"float fov": 40}, P=numpy_array). Render releases the interpreter lock and
// returns the image as a float32 array of (height, width, channels).
//
//   import ovo
//   r = ovo.Renderer(diagnostics=lambda level, message: print(level, message))
//   r.Attribute("int[2] resolution", [64, 48])
//   r.World(); r.Translate(0, 0, 5); r.Sphere(2); image = r.Render()
#include <dlfcn.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "core/plugins/installation.h"
#include "python/params.h"
#include "python/renderer.h"

namespace py = pybind11;
using namespace pybind11::literals;
using ovo::RendererAPI;
using ovo::python::Renderer;
using ovo::python::ValueStore;
using Text = std::optional<std::string>;
using Floats = std::vector<float>;
using Ints = std::vector<int>;

namespace {

const char* orNull(const Text& text) { return text ? text->c_str() : nullptr; }

// The dictionaries among the extra positional arguments, then the keyword arguments.
void sendAll(RendererAPI& api, const py::args& extra, const py::kwargs& keywords,
             ValueStore& store) {
    for (py::handle item : extra) {
        if (!py::isinstance<py::dict>(item))
            throw py::type_error("a parameter list is a dict or keyword arguments");
        ovo::python::sendParameters(api, py::reinterpret_borrow<py::dict>(item), store);
    }
    ovo::python::sendParameters(api, keywords, store);
}

// An operation that takes a parameter list: the parameters go first, their values kept until
// it has consumed them.
template <class... Args>
auto withParameters(void (*body)(RendererAPI&, Args...)) {
    return [body](Renderer& r, Args... args, py::args extra, py::kwargs keywords) {
        sendAll(r.api(), extra, keywords, r.parameters);
        body(r.api(), args...);
        r.parameters.clear();
    };
}

// A build tree's module (build/python/) finds build/plugins and build/shaders as the ovo
// command does, unless OVO_HOME says otherwise or the library belongs to an installation.
void findBuildTree() {
    if (std::getenv("OVO_HOME") || !ovo::homeFolder("/plugins").empty()) return;
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&findBuildTree), &info) == 0 || !info.dli_fname) return;
    char* resolved = realpath(info.dli_fname, nullptr);
    if (!resolved) return;
    std::string folder(resolved);
    free(resolved);
    for (int up = 0; up < 2; ++up) folder = folder.substr(0, folder.rfind('/'));
    struct stat st;
    if (stat((folder + "/plugins").c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        setenv("OVO_HOME", folder.c_str(), 0);
}

void defineBlocksAndOptions(py::class_<Renderer>& c) {
    c.def(
        "Input", [](Renderer& r, const std::string& text) { r.input(text); }, "text"_a);
    c.def("Camera",
          withParameters(+[](RendererAPI& a, std::string name) { a.Camera(name.c_str()); }),
          "name"_a);
    c.def(
        "Output",
        [](Renderer& r, const std::string& name, const std::string& type, const std::string& mode,
           const Text& camera, py::args extra, py::kwargs keywords) {
            sendAll(r.api(), extra, keywords, r.parameters);
            r.output(name, type.c_str(), mode.c_str(), orNull(camera));
            r.parameters.clear();
        },
        "name"_a, "type"_a, "mode"_a = "rgba", "camera"_a = "camera");
    c.def("World", [](Renderer& r, py::args extra, py::kwargs keywords) {
        sendAll(r.api(), extra, keywords, r.parameters);
        r.world();
        r.parameters.clear();
    });
    c.def(
        "Render", [](Renderer& r, const Text& camera) { return r.render(orNull(camera)); },
        "camera"_a = py::none());
    c.def("Motion", [](Renderer& r, const Floats& times) {
        r.api().Motion(int(times.size()), times.data());
    });
    c.def("Comment",
          [](Renderer& r, const std::string& text) { r.api().Comment("%s", text.c_str()); });
    c.def("Command", [](Renderer& r, const std::string& text) { r.api().Command(text.c_str()); });
    c.def("Parameter", [](Renderer& r, const std::string& decl, py::handle value) {
        ovo::python::send(r.api(), ovo::python::Target::Parameter, decl, value, r.parameters);
    });
    c.def("Attribute", [](Renderer& r, py::args pairs, py::kwargs keywords) {
        ValueStore store;
        if (pairs.size() == 2 && py::isinstance<py::str>(pairs[0])) {
            ovo::python::send(r.api(), ovo::python::Target::Attribute, pairs[0].cast<std::string>(),
                              pairs[1], store);
        } else {
            for (py::handle item : pairs) {
                if (!py::isinstance<py::dict>(item))
                    throw py::type_error("Attribute takes (declaration, value) or dicts");
                for (auto kv : py::reinterpret_borrow<py::dict>(item))
                    ovo::python::send(r.api(), ovo::python::Target::Attribute, py::str(kv.first),
                                      kv.second, store);
            }
        }
        for (auto kv : keywords)
            ovo::python::send(r.api(), ovo::python::Target::Attribute, py::str(kv.first), kv.second,
                              store);
    });
    c.def("GetAttribute", [](Renderer& r, const std::string& decl) {
        return ovo::python::getAttribute(r.api(), decl);
    });
    c.def("PushAttributes", [](Renderer& r) { r.api().PushAttributes(); });
    c.def("PopAttributes", [](Renderer& r) { r.api().PopAttributes(); });
    c.def(
        "SaveAttributes",
        [](Renderer& r, const Text& name, const Text& categories) {
            r.api().SaveAttributes(orNull(name), orNull(categories));
        },
        "name"_a = py::none(), "categories"_a = py::none());
    c.def(
        "RestoreAttributes",
        [](Renderer& r, const Text& name, const Text& categories) {
            r.api().RestoreAttributes(orNull(name), orNull(categories));
        },
        "name"_a = py::none(), "categories"_a = py::none());
    c.def("Modify", [](Renderer& r, const std::string& text) { r.api().Modify(text.c_str()); });
    c.def("PushOptions", [](Renderer& r) { r.api().PushOptions(); });
    c.def("PopOptions", [](Renderer& r) { r.api().PopOptions(); });
}

void defineTransformsAndShaders(py::class_<Renderer>& c) {
    c.def("PushTransform", [](Renderer& r) { r.api().PushTransform(); });
    c.def("PopTransform", [](Renderer& r) { r.api().PopTransform(); });
    c.def("SetTransform", [](Renderer& r, py::handle value) {
        if (py::isinstance<py::str>(value))
            return r.api().SetTransform(value.cast<std::string>().c_str());
        const Floats m = value.cast<Floats>();
        if (m.size() != 16) throw py::value_error("a transformation is 16 numbers");
        r.api().SetTransform(m.data());
    });
    c.def("AppendTransform", [](Renderer& r, const Floats& m) {
        if (m.size() != 16) throw py::value_error("a transformation is 16 numbers");
        r.api().AppendTransform(m.data());
    });
    c.def("Translate", [](Renderer& r, float x, float y, float z) { r.api().Translate(x, y, z); });
    c.def("Rotate", [](Renderer& r, float angle, float x, float y, float z) {
        r.api().Rotate(angle, x, y, z);
    });
    c.def("Scale", [](Renderer& r, float x, float y, float z) { r.api().Scale(x, y, z); });
    // The handle (a layer's name in a shader group) is a keyword: dicts may follow the name.
    c.def(
        "Shader",
        [](Renderer& r, const std::string& type, const std::string& name, py::args extra,
           const Text& handle, py::kwargs keywords) {
            sendAll(r.api(), extra, keywords, r.parameters);
            r.api().Shader(type.c_str(), name.c_str(), orNull(handle));
            r.parameters.clear();
        },
        "type"_a, "name"_a, "handle"_a = py::none());
    c.def("Light", withParameters(+[](RendererAPI& a, std::string handle, std::string name) {
              a.Light(handle.c_str(), name.c_str(), nullptr);
          }),
          "handle"_a, "name"_a);
    c.def("ShaderGroupBegin", [](Renderer& r) { r.api().ShaderGroupBegin(); });
    c.def("ShaderGroupEnd", [](Renderer& r) { r.api().ShaderGroupEnd(); });
    c.def("ConnectShaders", [](Renderer& r, const std::string& a, const std::string& b,
                               const std::string& c2, const std::string& d) {
        r.api().ConnectShaders(a.c_str(), b.c_str(), c2.c_str(), d.c_str());
    });
    c.def("LightSwitch", [](Renderer& r, const std::string& handle, bool on) {
        r.api().LightSwitch(handle.c_str(), on);
    });
    c.def("SolidBegin", [](Renderer& r, const std::string& op) { r.api().SolidBegin(op.c_str()); });
    c.def("SolidEnd", [](Renderer& r) { r.api().SolidEnd(); });
    c.def("ObjectBegin", [](Renderer& r, const std::string& n) { r.api().ObjectBegin(n.c_str()); });
    c.def("ObjectEnd", [](Renderer& r) { r.api().ObjectEnd(); });
    c.def("ObjectInstance",
          [](Renderer& r, const std::string& n) { r.api().ObjectInstance(n.c_str()); });
}

void defineGeometry(py::class_<Renderer>& c) {
    c.def("Shape", withParameters(+[](RendererAPI& a, std::string type) { a.Shape(type.c_str()); }),
          "type"_a);
    c.def("Points", withParameters(+[](RendererAPI& a, int n) { a.Points(n); }), "npoints"_a);
    c.def("Curves", withParameters(+[](RendererAPI& a, std::string basis, Ints nvertices) {
              a.Curves(basis.c_str(), int(nvertices.size()), nvertices.data());
          }),
          "basis"_a, "nvertices"_a);
    c.def("NuCurves",
          withParameters(+[](RendererAPI& a, Ints nvertices, Ints order, Floats knot, Floats vmin,
                             Floats vmax) {
              const std::size_t n = nvertices.size();
              if (order.size() != n || vmin.size() != n || vmax.size() != n)
                  throw py::value_error("every curve needs its order, vmin and vmax");
              a.Curves(int(n), nvertices.data(), order.data(), knot.data(), vmin.data(),
                       vmax.data());
          }),
          "nvertices"_a, "order"_a, "knot"_a, "vmin"_a, "vmax"_a);
    c.def("Polygon", withParameters(+[](RendererAPI& a, int n) { a.Polygon(n); }), "nvertices"_a);
    c.def("GeneralPolygon", withParameters(+[](RendererAPI& a, Ints loops) {
              a.Polygon(int(loops.size()), loops.data());
          }),
          "nvertices"_a);
    // "bilinear" patches have 2 x 2 points, "bicubic" ones 4 x 4, unless nu and nv say more.
    using Count = std::optional<int>;
    c.def("Patch", withParameters(+[](RendererAPI& a, std::string type, Count nu, Count nv) {
              const int corners = type == "bilinear" ? 2 : 4;
              a.Patch(type.c_str(), nu.value_or(corners), nv.value_or(corners));
          }),
          "type"_a, "nu"_a = py::none(), "nv"_a = py::none());
    c.def("NuPatch",
          withParameters(+[](RendererAPI& a, int nu, int uorder, Floats uknot, float umin,
                             float umax, int nv, int vorder, Floats vknot, float vmin, float vmax) {
              if (int(uknot.size()) != nu + uorder || int(vknot.size()) != nv + vorder)
                  throw py::value_error("a knot vector has n + order values");
              a.Patch(nu, uorder, uknot.data(), umin, umax, nv, vorder, vknot.data(), vmin, vmax);
          }));
    c.def("TrimCurve", [](Renderer& r, const Ints& ncurves, const Ints& order, const Floats& knot,
                          const Floats& min, const Floats& max, const Ints& n, const Floats& P) {
        r.api().TrimCurve(int(ncurves.size()), ncurves.data(), n.data(), order.data(), knot.data(),
                          min.data(), max.data(), P.data());
    });
    // nloops, when given, makes polygons with holes: the loops of each polygon.
    c.def("Mesh",
          withParameters(+[](RendererAPI& a, std::string type, Ints nvertices, Ints vertices,
                             std::optional<Ints> nloops) {
              if (nloops)
                  a.Mesh(type.c_str(), int(nloops->size()), nloops->data(), nvertices.data(),
                         vertices.data());
              else
                  a.Mesh(type.c_str(), int(nvertices.size()), nvertices.data(), vertices.data());
          }),
          "type"_a, "nvertices"_a, "vertices"_a, "nloops"_a = py::none());
    using Number = std::optional<float>;
    c.def("Sphere",
          withParameters(+[](RendererAPI& a, float radius, Number zmin, Number zmax, float tmax) {
              a.Sphere(radius, zmin.value_or(-radius), zmax.value_or(radius), tmax);
          }),
          "radius"_a = 1.0f, "zmin"_a = py::none(), "zmax"_a = py::none(), "thetamax"_a = 360.0f);
    c.def("Cone",
          withParameters(+[](RendererAPI& a, float height, float radius, float tmax, Number zmin,
                             Number zmax) {
              if (zmin || zmax)
                  a.Cone(height, radius, zmin.value_or(0.0f), zmax.value_or(height), tmax);
              else
                  a.Cone(height, radius, tmax);
          }),
          "height"_a, "radius"_a, "thetamax"_a = 360.0f, "zmin"_a = py::none(),
          "zmax"_a = py::none());
    c.def("Cylinder",
          withParameters(+[](RendererAPI& a, float radius, float zmin, float zmax, float tmax) {
              a.Cylinder(radius, zmin, zmax, tmax);
          }),
          "radius"_a, "zmin"_a, "zmax"_a, "thetamax"_a = 360.0f);
    c.def("Disk",
          withParameters(+[](RendererAPI& a, float height, float inner, float outer, float tmax) {
              a.Disk(height, inner, outer, tmax);
          }),
          "height"_a, "innerRadius"_a, "outerRadius"_a, "thetamax"_a = 360.0f);
    c.def("Hyperboloid", withParameters(+[](RendererAPI& a, Floats p1, Floats p2, float tmax) {
              if (p1.size() != 3 || p2.size() != 3) throw py::value_error("a point is 3 numbers");
              a.Hyperboloid(p1.data(), p2.data(), tmax);
          }),
          "point1"_a, "point2"_a, "thetamax"_a = 360.0f);
    c.def("Paraboloid",
          withParameters(+[](RendererAPI& a, float radius, float zmin, float zmax, float tmax) {
              a.Paraboloid(radius, zmin, zmax, tmax);
          }),
          "radius"_a, "zmin"_a, "zmax"_a, "thetamax"_a = 360.0f);
    c.def("Torus",
          withParameters(+[](RendererAPI& a, float major, float minor, float phimin, float phimax,
                             float tmax) { a.Torus(major, minor, phimin, phimax, tmax); }),
          "majorRadius"_a, "minorRadius"_a, "phimin"_a = 0.0f, "phimax"_a = 360.0f,
          "thetamax"_a = 360.0f);
}

}  // namespace

PYBIND11_MODULE(ovo, m) {
    m.doc() = "OVO, a plugin-based ray-tracing renderer for RenderMan-style scenes";
    findBuildTree();
    py::class_<Renderer> c(m, "Renderer");
    c.def(py::init<py::object, int>(), "diagnostics"_a = py::none(), "verbosity"_a = 1,
          "A renderer; diagnostics(level, message) receives what it reports.");
    defineBlocksAndOptions(c);
    defineTransformsAndShaders(c);
    defineGeometry(c);
    m.def("read_image", &ovo::python::readImage, "path"_a,
          "An image file as a float32 array of (height, width, channels), or None.");
}
