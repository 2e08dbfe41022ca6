// Deformation blur: a motion block of one geometry request whose numbers change from sample to
// sample. The renderer's motion blocks take transforms only, so the shape is drawn once per
// slice of the shutter, with the samples interpolated at the slice's middle, and each copy is
// seen only by the rays whose time falls in its slice ("motion:window").
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "plugins/generators/rib/reader.h"

namespace ovo {
namespace rib {

namespace {

const char* const ShapeRequests[] = {
    "Sphere",
    "Cone",
    "Cylinder",
    "Disk",
    "Hyperboloid",
    "Paraboloid",
    "Torus",
    "Polygon",
    "GeneralPolygon",
    "PointsPolygons",
    "PointsGeneralPolygons",
    "SubdivisionMesh",
    "Patch",
    "PatchMesh",
    "NuPatch",
    "Curves",
    "Points",
};

// Where the parameter list ("token" value pairs at the end) begins: the arguments before it are
// the request's own, whose integer arrays (vertex counts and indices) shape the topology.
std::size_t parameterListStart(const Request& r) {
    std::size_t i = r.args.size();
    while (i >= 2 && r.args[i - 2].kind == Value::String) i -= 2;
    return i;
}

// The first argument (counted from 1) in which the samples differ in more than their numbers;
// 0 when they differ only there. Topology (the integer arrays before the parameter list),
// strings and value counts must agree for the samples to blend.
std::size_t firstMismatch(const std::vector<Request>& samples) {
    const Request& first = samples[0];
    const std::size_t params = parameterListStart(first);
    for (std::size_t i = 1; i < samples.size(); ++i) {
        const Request& r = samples[i];
        if (r.args.size() != first.args.size())
            return std::min(r.args.size(), first.args.size()) + 1;
        for (std::size_t j = 0; j < first.args.size(); ++j) {
            const Value& a = first.args[j];
            const Value& b = r.args[j];
            const bool topology =
                j < params && a.kind == Value::NumberArray && a.integers && b.integers;
            if (a.kind != b.kind || a.size() != b.size() || a.strings != b.strings ||
                a.bare != b.bare || (topology && a.numbers != b.numbers))
                return j + 1;
        }
    }
    return 0;
}

// The samples blended linearly at `time` (held at the first and last sample outside them).
Request blend(const std::vector<Request>& samples, const std::vector<float>& times, float time) {
    std::size_t last = samples.size() - 1;
    if (!(time > times[0])) return samples[0];
    if (!(time < times[last])) return samples[last];
    std::size_t i = 0;
    while (i + 1 < last && !(time < times[i + 1])) ++i;
    const double f = (double(time) - times[i]) / (double(times[i + 1]) - times[i]);
    Request out = samples[i];
    const Request& next = samples[i + 1];
    for (std::size_t j = 0; j < out.args.size(); ++j) {
        Value& v = out.args[j];
        if (!v.isNumeric() || v.numbers == next.args[j].numbers) continue;
        v.integers = true;
        for (std::size_t k = 0; k < v.numbers.size(); ++k) {
            double& x = v.numbers[k];
            x += (next.args[j].numbers[k] - x) * f;
            v.integers = v.integers && x == std::floor(x);
        }
    }
    return out;
}

}  // namespace

bool Reader::isShapeRequest(const std::string& name) {
    for (const char* s : ShapeRequests)
        if (name == s) return true;
    return false;
}

void Reader::deform(const Motion& motion) {
    const std::vector<Request>& samples = motion.requests;
    if (const std::size_t at = firstMismatch(samples)) {
        warnOnce(samples[0], "deform:" + samples[0].name,
                 samples[0].name +
                     ": the motion samples differ in more than their numbers "
                     "(argument " +
                     std::to_string(at) + "). Using the first sample ...");
        dispatch(samples[0]);
        return;
    }
    const float open = frame.shutter[0], close = frame.shutter[1];
    if (!(close > open) || !forwarding()) {
        // One instant; or no world to draw in, which the request reports itself.
        dispatch(blend(samples, motion.times, open));
        return;
    }
    const float Infinity = std::numeric_limits<float>::infinity();
    const int errorsBefore = currentFile ? currentFile->errors : 0;
    for (int k = 0; k < DeformationSlices; ++k) {
        // The outer slices reach past the shutter, so that every ray time sees one copy.
        const float window[2] = {
            k == 0 ? -Infinity : open + (close - open) * float(k) / DeformationSlices,
            k == DeformationSlices - 1 ? Infinity
                                       : open + (close - open) * float(k + 1) / DeformationSlices};
        const float middle = open + (close - open) * (float(k) + 0.5f) / DeformationSlices;
        renderer->Attribute("float[2] motion:window", static_cast<const float*>(window));
        dispatch(blend(samples, motion.times, middle));
        // A request that was refused is refused once, not once per slice.
        if (currentFile && currentFile->errors != errorsBefore) break;
    }
    const float always[2] = {-Infinity, Infinity};
    renderer->Attribute("float[2] motion:window", static_cast<const float*>(always));
}

}  // namespace rib
}  // namespace ovo
