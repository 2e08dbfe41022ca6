// Parameter lists from Python: dictionaries and keyword arguments turned into the renderer's
// Parameter and Attribute calls. A key is a declaration ("float fov", "vertex point P") or a
// bare name; a bare name the renderer has declared takes that declaration, any other takes a
// type from its value (str: string, a number: float, a sequence: an array of strings or floats,
// a NumPy array: an array of its dtype's kind).
#pragma once

#include <pybind11/pybind11.h>

#include <deque>
#include <string>
#include <vector>

#include "core/api/renderer_api.h"

namespace ovo {
namespace python {

// The values handed to the renderer: arrays are passed by reference and must outlive the
// command that consumes them, so a call keeps them here until it returns.
struct ValueStore {
    std::deque<std::vector<float>> floats;
    std::deque<std::vector<int>> ints;
    std::deque<std::vector<std::string>> strings;
    std::deque<std::vector<const char*>> pointers;
    std::deque<std::string> declarations;
    void clear() { *this = ValueStore(); }
};

enum class Target { Parameter, Attribute };

// Sends one (key, value) pair as a Parameter or Attribute call.
void send(RendererAPI& renderer, Target target, const std::string& key, pybind11::handle value,
          ValueStore& store);
// Sends every pair of `dict` as Parameter calls.
void sendParameters(RendererAPI& renderer, pybind11::dict dict, ValueStore& store);

// The value of an attribute as Python sees it (a number, a string or a list), None when the
// renderer has no such attribute.
pybind11::object getAttribute(RendererAPI& renderer, const std::string& key);

}  // namespace python
}  // namespace ovo
