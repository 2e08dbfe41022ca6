#include "python/params.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include "core/api/raytracer.h"
#include "core/params/paramtype.h"

namespace py = pybind11;

namespace ovo {
namespace python {

namespace {

// The declaration a key stands for, and the base type its values are sent as.
struct Declaration {
    std::string text;  // what the renderer is given: the key, or a declaration made for it
    BaseType base = TypeFloat;
    unsigned arraylen = 1;
    bool known = false;  // typed, by the key itself or by the renderer's declarations
};

Declaration declared(RendererAPI& renderer, const std::string& key) {
    Declaration d;
    d.text = key;
    if (key.find(' ') != std::string::npos) {
        ParamType type;
        const char* rest = nullptr;
        if (type.fromString(key.c_str(), &rest) > 0 && rest && *rest) {
            d.base = type.basetype();
            d.arraylen = type.arraylen();
            d.known = true;
        }
        return d;
    }
    if (auto* raytracer = dynamic_cast<Raytracer*>(&renderer)) {
        const auto& table = raytracer->getDeclarations();
        const auto found = table.find(key);
        if (found != table.end()) {
            d.text = std::string(found->second.c_str()) + " " + key;
            d.base = found->second.basetype();
            d.arraylen = found->second.arraylen();
            d.known = true;
        }
    }
    return d;
}

bool isText(py::handle value) { return py::isinstance<py::str>(value); }
bool isWhole(py::handle value) {
    return py::isinstance<py::int_>(value) || py::isinstance<py::bool_>(value);
}

// An undeclared bare name gets its type from its value. Numbers are floats, as in a scene file
// (an integer parameter is declared: "int maxdepth"), but for arrays of an integer dtype.
void inferType(Declaration& d, const std::string& name, py::handle value) {
    std::size_t count = 1;
    const char* word = "float";
    d.base = TypeFloat;
    if (isText(value)) {
        word = "string";
        d.base = TypeString;
    } else if (py::isinstance<py::array>(value)) {
        const py::array array = py::reinterpret_borrow<py::array>(value);
        count = std::size_t(array.size());
        const char kind = array.dtype().kind();
        if (kind == 'i' || kind == 'u' || kind == 'b') {
            word = "int";
            d.base = TypeInt;
        } else if (kind == 'U' || kind == 'S') {
            word = "string";
            d.base = TypeString;
        }
    } else if (py::isinstance<py::sequence>(value)) {
        const py::sequence items = py::reinterpret_borrow<py::sequence>(value);
        count = items.size();
        bool allText = count > 0;
        for (py::handle item : items) allText = allText && isText(item);
        if (allText) {
            word = "string";
            d.base = TypeString;
        }
    }
    d.text = std::string(word) + (count == 1 ? "" : "[" + std::to_string(count) + "]") + " " + name;
}

std::vector<std::string> textsOf(py::handle value) {
    std::vector<std::string> texts;
    if (isText(value)) {
        texts.push_back(value.cast<std::string>());
    } else {
        for (py::handle item : py::reinterpret_borrow<py::iterable>(value))
            texts.push_back(py::str(item).cast<std::string>());
    }
    return texts;
}

template <class T>
std::vector<T> numbersOf(py::handle value) {
    using Array = py::array_t<T, py::array::c_style | py::array::forcecast>;
    const Array array = Array::ensure(value);
    if (!array) throw py::type_error("expected a number or a sequence of numbers");
    return std::vector<T>(array.data(), array.data() + array.size());
}

template <class P>
void call(RendererAPI& renderer, Target target, const char* decl, P value) {
    if (target == Target::Parameter)
        renderer.Parameter(decl, value);
    else
        renderer.Attribute(decl, value);
}

}  // namespace

void send(RendererAPI& renderer, Target target, const std::string& key, py::handle value,
          ValueStore& store) {
    Declaration d = declared(renderer, key);
    if (!d.known) inferType(d, key, value);
    store.declarations.push_back(d.text);
    const char* decl = store.declarations.back().c_str();
    // A single value goes by value, as the typed calls of a scene file do; lists by pointer.
    if (d.base == TypeString) {
        store.strings.push_back(textsOf(value));
        if (isText(value)) return call(renderer, target, decl, store.strings.back()[0].c_str());
        std::vector<const char*> pointers;
        for (const std::string& s : store.strings.back()) pointers.push_back(s.c_str());
        store.pointers.push_back(std::move(pointers));
        call(renderer, target, decl, static_cast<const char**>(store.pointers.back().data()));
    } else if (d.base == TypeInt) {
        if (isWhole(value)) return call(renderer, target, decl, value.cast<int>());
        store.ints.push_back(numbersOf<int>(value));
        call(renderer, target, decl, static_cast<const int*>(store.ints.back().data()));
    } else {
        if (d.base == TypeFloat && (isWhole(value) || py::isinstance<py::float_>(value)))
            return call(renderer, target, decl, value.cast<float>());
        store.floats.push_back(numbersOf<float>(value));
        call(renderer, target, decl, static_cast<const float*>(store.floats.back().data()));
    }
}

void sendParameters(RendererAPI& renderer, py::dict dict, ValueStore& store) {
    for (auto item : dict)
        send(renderer, Target::Parameter, py::str(item.first), item.second, store);
}

py::object getAttribute(RendererAPI& renderer, const std::string& key) {
    const Declaration d = declared(renderer, key);
    const unsigned n = d.arraylen;
    if (d.base == TypeString && n == 1) {
        const char* text = nullptr;
        if (!renderer.GetAttribute(key.c_str(), text) || !text) return py::none();
        return py::str(text);
    }
    if (d.base == TypeInt) {
        if (n == 1) {
            int value = 0;
            return renderer.GetAttribute(key.c_str(), value) ? py::object(py::int_(value))
                                                             : py::none();
        }
        std::vector<int> values(n);
        if (n == 0 || !renderer.GetAttribute(key.c_str(), values.data())) return py::none();
        return py::cast(values);
    }
    if (!d.known || (d.base == TypeFloat && n == 1)) {
        float value = 0.0f;
        return renderer.GetAttribute(key.c_str(), value) ? py::object(py::float_(value))
                                                         : py::none();
    }
    ParamType type(d.base, n);
    if (d.base == TypeString || n == 0) return py::none();
    std::vector<float> values(std::size_t(type.nfloats()));
    if (!renderer.GetAttribute(key.c_str(), values.data())) return py::none();
    return py::cast(values);
}

}  // namespace python
}  // namespace ovo
