// Geometry calls, solids, objects and instances, and the building of transform-node trees into
// primitives. Every geometry call adds its arguments to the pending parameter list under fixed
// names and ends in Shape(type), which asks the shape plugin of that type for the shape and
// files its primitive under the current node.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "core/api/raytracer.h"
#include "core/geometry/primitive.h"

namespace ovo {

namespace {

const OIIO::ustring ObjectSpace("object");
// The pending parameter that carries per-face attribute records from Mesh to Shape.
const char* const AttributeRecords = "__attributes";

enum NodeKind {
    NodePassing,
    NodeAccelerator,
    NodePrimitive,
    NodeUnion,
    NodeIntersection,
    NodeDifference
};

NodeKind nodeKind(const std::string& name) {
    if (name.empty()) return NodePassing;
    if (name == "primitive") return NodePrimitive;
    if (name == "union") return NodeUnion;
    if (name == "intersection") return NodeIntersection;
    if (name == "difference") return NodeDifference;
    return NodeAccelerator;
}

bool isCubicBasis(const char* basis) {
    static const char* const bases[] = {"bezier", "bspline", "catmull-rom", "hermite", "power"};
    for (const char* b : bases)
        if (std::strcmp(basis, b) == 0) return true;
    return false;
}

// A type's count field holds fewer elements than a big mesh has polygons: a longer array goes
// as that many single values, which the shapes read the same way, instead of being cut short.
void pushArray(ovo::ParameterSet& pending, const char* name, BaseType base, int count,
               const void* values) {
    if (count < 1 || !values) return;
    const ParamType array(base, unsigned(count));
    if (array.arraylen() == unsigned(count))
        pending.push_back(name, array, values, true);
    else
        pending.push_back(new ovo::Parameter(name, ParamType(base), count, values, true));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pending parameters added by the geometry calls

void Raytracer::addInt(const char* name, int value) {
    pending.push_back(name, ParamType(TypeInt), &value, true);
}

void Raytracer::addFloat(const char* name, float value) {
    pending.push_back(name, ParamType(TypeFloat), &value, true);
}

void Raytracer::addString(const char* name, const char* value) {
    const char* text = value ? value : "";
    pending.push_back(name, ParamType(TypeString), &text, true);
}

void Raytracer::addPoint(const char* name, const float* value) {
    pending.push_back(name, ParamType(TypePoint), value, true);
}

// `count` values, copied. Nothing is added without values to read.
void Raytracer::addInts(const char* name, int count, const int* values) {
    pushArray(pending, name, TypeInt, count, values);
}

void Raytracer::addFloats(const char* name, int count, const float* values) {
    pushArray(pending, name, TypeFloat, count, values);
}

// An open array: its length follows from the other parameters, so it stays where the caller
// keeps it for the duration of the call.
void Raytracer::addOpenArray(const char* name, BaseType type, const void* values) {
    if (!values) return;
    pending.push_back(name, ParamType(type, 0), values, false);
}

// ---------------------------------------------------------------------------------------------
// Shape

// A static node gives its shapes its own transform; a moving one applies its motion to what it
// holds when it is built, so its shapes are made in its space.
Transform Raytracer::shapeTransform() const {
    return currentNode->local.isMoving() ? Transform::Identity : currentNode->local.getSample(0);
}

void Raytracer::Shape(const char* type) {
    const std::string name = type ? type : "";
    if (!checkInWorld(name.c_str()) ||
        (getAttributes().detail.hasRange() &&
         !detailDraws(currentDetail(), getAttributes().detail.range))) {
        pending.clear();
        return;
    }
    // The parameters move out of the pending list, so that calls a shape makes back on this
    // renderer while it is made or refined start from an empty one.
    ParameterSet parameters(std::move(pending));
    pending.clear();
    TransformNode* node = currentNode;
    attributesStack.push_back(getAttributes());
    namedSpaces[ObjectSpace] = node->accumulated.getSample(0);
    const Transform m = shapeTransform();
    std::string searchPath = getOptions().searchPaths.plugin;

    ErrorScope reports(errorManager);
    try {
        // Copied: a refining shape may push records of its own.
        const Attributes attributes = getAttributes();
        Reference<ovo::Shape> shape(
            createShape(name, searchPath, *this, m, attributes, parameters));
        if (shape && shape->canIntersect()) {
            addPrimitive(*node, shape, attributes, m);
        } else if (shape) {
            std::vector<Reference<ovo::Shape>> shapes;
            std::vector<unsigned int> indices;
            shape->refine(*this, m, parameters, shapes, indices);
            const ovo::Parameter* records = parameters.find(AttributeRecords);
            const Attributes* recordData = records && records->type().basetype() == TypeVoid
                                               ? static_cast<const Attributes*>(records->data())
                                               : nullptr;
            for (size_t i = 0; i < shapes.size(); ++i) {
                if (!shapes[i]) continue;
                const bool own =
                    recordData && i < indices.size() && indices[i] < unsigned(records->nvalues());
                addPrimitive(*node, shapes[i], own ? recordData[indices[i]] : attributes, m);
            }
        }
    } catch (const Error& e) {
        errorManager->Severe("%s", e.what());
    } catch (const std::bad_alloc&) {
        errorManager->Severe("%s: out of memory. Ignoring ...", name.c_str());
    }
    attributesStack.pop_back();
    pending.clear();
}

void Raytracer::addPrimitive(TransformNode& node, const Reference<ovo::Shape>& shape,
                             const Attributes& attributes, const Transform& m) {
    Reference<Primitive> primitive;
    if (shape->hasControlMesh()) {
        primitive = new ControlMeshPrimitive(shape, attributes.primitiveAttributes());
    } else {
        // Equal transforms are stored once, and stay where they are while primitives use them.
        const Transform& stored = (inWorld ? worldTransforms : outsideTransforms).store(m);
        primitive = new NoPPrimitive(shape, attributes.primitiveAttributes(), stored);
    }
    // The sets name the geometric primitive: it is the one that checks them.
    const float* window = attributes.timeWindow;
    if (std::isfinite(window[0]) || std::isfinite(window[1]))
        node.primitives.push_back(new TimeWindowPrimitive(primitive, window[0], window[1]));
    else
        node.primitives.push_back(primitive);
    for (const OIIO::ustring& set : attributes.geometrySets) {
        geometrySets[set].add(primitive.get());
        geometryNames[set].push_back(primitive);
    }
}

// ---------------------------------------------------------------------------------------------
// Quadrics

void Raytracer::Sphere(float radius, float zmin, float zmax, float thetamax) {
    addFloat("radius", radius);
    addFloat("zmin", zmin);
    addFloat("zmax", zmax);
    addFloat("thetamax", thetamax);
    Shape("sphere");
}

void Raytracer::Cylinder(float radius, float zmin, float zmax, float thetamax) {
    addFloat("radius", radius);
    addFloat("zmin", zmin);
    addFloat("zmax", zmax);
    addFloat("thetamax", thetamax);
    Shape("cylinder");
}

void Raytracer::Cone(float height, float radius, float thetamax) {
    Cone(height, radius, 0.0f, height, thetamax);
}

void Raytracer::Cone(float height, float radius, float zmin, float zmax, float thetamax) {
    // A cone without height is its base.
    if (std::fabs(height) < 1e-6f) {
        Disk(0.0f, 0.0f, radius, thetamax);
        return;
    }
    addFloat("height", height);
    addFloat("radius", radius);
    addFloat("zmin", zmin);
    addFloat("zmax", zmax);
    addFloat("thetamax", thetamax);
    Shape("cone");
}

void Raytracer::Disk(float height, float innerRadius, float outerRadius, float thetamax) {
    addFloat("height", height);
    addFloat("innerRadius", innerRadius);
    addFloat("outerRadius", outerRadius);
    addFloat("thetamax", thetamax);
    Shape("disk");
}

void Raytracer::Paraboloid(float radius, float zmin, float zmax, float thetamax) {
    addFloat("radius", radius);
    addFloat("zmin", zmin);
    addFloat("zmax", zmax);
    addFloat("thetamax", thetamax);
    Shape("paraboloid");
}

void Raytracer::Torus(float majorRadius, float minorRadius, float phimin, float phimax,
                      float thetamax) {
    addFloat("majorRadius", majorRadius);
    addFloat("minorRadius", minorRadius);
    addFloat("phimin", phimin);
    addFloat("phimax", phimax);
    addFloat("thetamax", thetamax);
    Shape("torus");
}

// The line from p1 to p2 swept about z. Lines that sweep a simpler quadric make that one.
void Raytracer::Hyperboloid(float* p1, float* p2, float thetamax) {
    if (!p1 || !p2) {
        errorManager->Error("Hyperboloid: missing end point. Ignoring ...");
        pending.clear();
        return;
    }
    const float r1 = std::sqrt(p1[0] * p1[0] + p1[1] * p1[1]);
    const float r2 = std::sqrt(p2[0] * p2[0] + p2[1] * p2[1]);
    const float dx = p2[0] - p1[0], dy = p2[1] - p1[1];
    if (std::sqrt(dx * dx + dy * dy) < 1e-6f) {
        Cylinder(r1, p1[2], p2[2], thetamax);
        return;
    }
    if (std::fabs(p1[2] - p2[2]) < 1e-6f) {
        Disk(p1[2], std::min(r1, r2), std::max(r1, r2), thetamax);
        return;
    }
    if (dy * p1[0] == dx * p1[1]) {
        // In a plane through the axis: a cone, unless the line crosses the axis at equal radii
        // (a double cone has no apex height), which the general sweep handles.
        const float k = -(r2 - r1) / (p2[2] - p1[2]);
        const float h = p1[2] + r1 / k;
        if (k != 0.0f && std::isfinite(h)) {
            Cone(h, h * k, p1[2], p2[2], thetamax);
            return;
        }
    }
    addPoint("top", p2);
    addPoint("bottom", p1);
    addFloat("thetamax", thetamax);
    Shape("hyperboloid");
}

// ---------------------------------------------------------------------------------------------
// Polygons, points, patches, curves, meshes and trim curves

void Raytracer::Polygon(int nvertices) {
    addInt("nvertices", nvertices);
    Shape("polygon");
}

void Raytracer::Polygon(int nloops, int* nvertices) {
    addInt("nloops", nloops);
    addInts("nvertices", nloops, nvertices);
    Shape("polygon");
}

void Raytracer::Points(int npoints) {
    // The interface passes "P" without its length; the point count gives it.
    if (npoints > 0)
        if (ovo::Parameter* p = pending.find("P", TypePoint))
            p->type().setArraylen(unsigned(npoints));
    Shape("particle");
}

void Raytracer::Patch(const char* type, int nu, int nv) {
    const std::string basis = type ? type : "";
    if (basis == "linear" && nu == 2 && nv == 2) {
        Shape("bilinearpatch");
        return;
    }
    addInt("nu", nu);
    addInt("nv", nv);
    if (basis == "linear") {
        Shape("bilinearpatchmesh");
        return;
    }
    addString("basis", basis.c_str());
    Shape("bicubicpatch");
}

void Raytracer::Patch(int nu, int uorder, const float* uknot, float umin, float umax, int nv,
                      int vorder, const float* vknot, float vmin, float vmax) {
    addInt("nu", nu);
    addInt("uorder", uorder);
    addFloats("uknot", nu + uorder, uknot);
    addFloat("umin", umin);
    addFloat("umax", umax);
    addInt("nv", nv);
    addInt("vorder", vorder);
    addFloats("vknot", nv + vorder, vknot);
    addFloat("vmin", vmin);
    addFloat("vmax", vmax);
    Shape("nupatch");
}

// The curve type decides the shape; an unknown one makes nothing.
bool Raytracer::curveBasis(const char* basis, const char*& type) {
    const char* name = basis ? basis : "";
    if (std::strcmp(name, "linear") == 0) {
        type = "linearcurves";
        return true;
    }
    if (isCubicBasis(name)) {
        addString("basis", name);
        type = "cubiccurves";
        return true;
    }
    errorManager->Warning("No such interpolation type \"%s\"", name);
    pending.clear();
    return false;
}

void Raytracer::Curves(const char* basis, int ncurves, int* nvertspercurve) {
    const char* type = nullptr;
    if (!curveBasis(basis, type)) return;
    addInt("ncurves", ncurves);
    addInts("nvertspercurve", ncurves, nvertspercurve);
    Shape(type);
}

void Raytracer::Curves(const char* basis, int ncurves, int nvertspercurve) {
    const char* type = nullptr;
    if (!curveBasis(basis, type)) return;
    addInt("ncurves", ncurves);
    addInt("nvertspercurve", nvertspercurve);
    Shape(type);
}

void Raytracer::Mesh(const char* type, int npolys, const int* nvertices, const int* vertices) {
    const std::string kind = type ? type : "";
    const char* shape = kind == "linear"          ? "polygonMesh"
                        : kind == "catmull-clark" ? "ccmesh"
                                                  : nullptr;
    if (!shape) {
        pending.clear();
        return;
    }
    addInts("nvertices", npolys, nvertices);
    addOpenArray("vertices", TypeInt, vertices);

    // Names of saved attribute states become the attribute records of the faces they name.
    std::vector<Attributes> records;
    if (const ovo::Parameter* names = pending.find(AttributeRecords, TypeString)) {
        const size_t n = names->type().interpolation() == InterpPerPiece
                             ? size_t(std::max(npolys, 0))
                             : size_t(names->type().arraylen());
        const char* const* text = names->getStrings();
        records.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            records.push_back(getAttributes());
            const std::string state = text && text[i] ? text[i] : "";
            auto saved = savedAttributes.find(state);
            if (saved == savedAttributes.end()) {
                errorManager->Error("Mesh: Unknown attribute state \"%s\"", state.c_str());
                continue;
            }
            applySavedAttributes(records.back(), saved->second.attributes, saved->second.mask);
        }
        pending.erase(AttributeRecords);
        // Shape reads the records during the call below, while `records` lives.
        pending.push_back(new ovo::Parameter(AttributeRecords, ParamType(TypeVoid, 0),
                                             int(records.size()), records.data(), false));
    }
    Shape(shape);
}

void Raytracer::Mesh(const char* type, int npolys, const int* nloops, const int* nvertices,
                     const int* vertices) {
    // Holes are for polygon meshes only. The pending list is emptied in every case, so that it
    // cannot reach the next call.
    if (!type || std::strcmp(type, "linear") != 0) {
        pending.clear();
        return;
    }
    addInts("nloops", npolys, nloops);
    addOpenArray("nvertices", TypeInt, nvertices);
    addOpenArray("vertices", TypeInt, vertices);
    Shape("polygonMesh");
}

void Raytracer::TrimCurve(int nloops, const int* ncurves, const int* n, const int* order,
                          const float* knot, const float* min, const float* max, const float* P) {
    addInts("ncurves", nloops, ncurves);
    addOpenArray("n", TypeInt, n);
    addOpenArray("order", TypeInt, order);
    addOpenArray("knot", TypeFloat, knot);
    addOpenArray("min", TypeFloat, min);
    addOpenArray("max", TypeFloat, max);
    if (P) pending.push_back("P", ParamType(TypePoint, 1, InterpVertex), P, false);

    ParameterSet parameters(std::move(pending));
    pending.clear();
    std::string searchPath = getOptions().searchPaths.plugin;
    const Transform m = shapeTransform();
    ErrorScope reports(errorManager);
    try {
        const Attributes attributes = getAttributes();
        Reference<ovo::Shape> shape(
            createShape("trimcurves", searchPath, *this, m, attributes, parameters));
        if (shape) {
            // A new list: the old one may be shared with other attribute records.
            Reference<TrimCurveList> curves(new TrimCurveList());
            if (shape->canIntersect()) {
                curves->curves.push_back(shape);
            } else {
                std::vector<unsigned int> indices;
                shape->refine(*this, m, parameters, curves->curves, indices);
            }
            getAttributes().trimCurves = curves;
        }
    } catch (const Error& e) {
        errorManager->Severe("%s", e.what());
    } catch (const std::bad_alloc&) {
        errorManager->Severe("trimcurves: out of memory. Ignoring ...");
    }
    pending.clear();
}

// ---------------------------------------------------------------------------------------------
// Objects and instances

void Raytracer::defineObject(const std::string& name, TransformNode& node) {
    Reference<Primitive> object;
    try {
        object = buildPrimitive(node);
    } catch (const Error& e) {
        errorManager->Severe("%s", e.what());
    }
    // Stored even when empty or failed, so that instances of it make nothing without a warning
    // of their own.
    getOptions().objects[name] = object;
}

void Raytracer::ObjectInstance(const char* name) {
    const std::string key = name ? name : "";
    auto found = getOptions().objects.find(key);
    if (found == getOptions().objects.end()) {
        errorManager->Warning("No such instance %s", key.c_str());
    } else if (found->second) {
        ErrorScope reports(errorManager);
        currentNode->primitives.push_back(
            new Instance(found->second, shapeTransform(), getAttributes().primitiveAttributes()));
    }
    pending.clear();
}

// ---------------------------------------------------------------------------------------------
// Building nodes

Reference<Primitive> Raytracer::buildPrimitive(const TransformNode& node) {
    ErrorScope reports(errorManager);
    std::vector<Reference<Primitive>> passed;
    Reference<Primitive> built = buildNode(node, passed);
    // Only an unnamed node passes its primitives on; at the top they are gathered here.
    if (!built && !passed.empty())
        built = gather(getOptions().acceleratorName, getOptions().acceleratorParameters, passed);
    return built;
}

Reference<Primitive> Raytracer::buildNode(const TransformNode& node,
                                          std::vector<Reference<Primitive>>& passed) {
    // The tree is only read, so that it can be built again (several cameras, a failed try).
    std::vector<Reference<Primitive>> parts;
    parts.reserve(node.primitives.size() + node.adopted.size());
    parts.insert(parts.end(), node.primitives.begin(), node.primitives.end());
    parts.insert(parts.end(), node.adopted.begin(), node.adopted.end());
    for (const auto& child : node.children) {
        Reference<Primitive> built = buildNode(*child, parts);
        if (built) parts.push_back(built);
    }

    const NodeKind kind = nodeKind(node.name);
    const bool moving = node.local.isMoving();
    if (kind == NodePassing && !moving) {
        passed.insert(passed.end(), parts.begin(), parts.end());
        return Reference<Primitive>();
    }

    Reference<Primitive> content;
    ParameterSet parameters;
    parameters = node.acceleratorParameters;
    switch (kind) {
        case NodePassing:  // moving: it keeps what it holds, to move it
        case NodePrimitive:
            content =
                gather(getOptions().acceleratorName, getOptions().acceleratorParameters, parts);
            break;
        case NodeAccelerator:
            content = gather(node.name, parameters, parts);
            break;
        case NodeUnion:
        case NodeIntersection:
            content = combine(node.name, parameters, parts, 0);
            break;
        case NodeDifference:
            if (parts.size() <= 1) {
                content = combine("union", parameters, parts, 0);
            } else {
                Reference<Primitive> rest = combine("union", parameters, parts, 1);
                content = solid("difference", parameters, parts[0], rest);
            }
            break;
    }
    if (moving && content) content = new MotionPrimitive(content, node.local);
    return content;
}

// None, one, or an aggregate of the accelerator `name` over all of them.
Reference<Primitive> Raytracer::gather(const std::string& name, const ParameterSet& parameters,
                                       std::vector<Reference<Primitive>>& parts) {
    if (parts.empty()) return Reference<Primitive>();
    if (parts.size() == 1) return parts[0];
    ParameterSet p;
    p = parameters;
    return Reference<Primitive>(
        createAggregate(name, getOptions().searchPaths.plugin, "accelerator", parts, p));
}

// Combines parts[first..] pairwise, from the last two back to the first, the running result
// first in each pair.
Reference<Primitive> Raytracer::combine(const std::string& operation,
                                        const ParameterSet& parameters,
                                        const std::vector<Reference<Primitive>>& parts,
                                        size_t first) {
    if (parts.size() <= first) return Reference<Primitive>();
    Reference<Primitive> result = parts.back();
    for (size_t i = parts.size() - 1; i-- > first && result;)
        result = solid(operation, parameters, result, parts[i]);
    return result;
}

Reference<Primitive> Raytracer::solid(const std::string& operation, const ParameterSet& parameters,
                                      const Reference<Primitive>& a,
                                      const Reference<Primitive>& b) {
    if (!a || !b) return Reference<Primitive>();
    std::vector<Reference<Primitive>> operands{a, b};
    ParameterSet p;
    p = parameters;
    return Reference<Primitive>(
        createAggregate(operation, getOptions().searchPaths.plugin, "shape", operands, p));
}

}  // namespace ovo
