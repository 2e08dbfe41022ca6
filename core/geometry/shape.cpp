// The Shape base: defaults of the virtual operations, the shared helpers, and the shape part
// of the attribute state.
#include "core/geometry/shape.h"

#include "core/geometry/hit.h"
#include "core/plugins/factory.h"

namespace ovo {

// ---------------------------------------------------------------------------------------------
// TrimCurveList, ShapeAttributes

TrimCurveList::TrimCurveList() {}

TrimCurveList::TrimCurveList(const TrimCurveList& other)
    : ReferenceCounted(), curves(other.curves) {}

TrimCurveList::~TrimCurveList() {}

ShapeAttributes::ShapeAttributes() : trimCurves(new TrimCurveList()) {}

// ---------------------------------------------------------------------------------------------
// Shape

Shape::Shape() : handednessSwapped(false) {}

// A transform whose 3x3 determinant is not positive mirrors space (a NaN one counts as
// mirrored too: it is not "left-handed").
Shape::Shape(const Transform& objectToWorld, const ShapeAttributes& attributes)
    : attributes(attributes), handednessSwapped(!objectToWorld.m.isLeftHanded()) {}

Shape::Shape(const Shape& other)
    : ReferenceCounted(),
      nInterp(other.nInterp),
      csInterp(other.csInterp),
      osInterp(other.osInterp),
      sInterp(other.sInterp),
      tInterp(other.tInterp),
      variables(other.variables),
      attributes(other.attributes),
      handednessSwapped(other.handednessSwapped) {}

Shape::~Shape() {}

bool Shape::refine(RendererAPI&, const Transform&, const ParameterSet&,
                   std::vector<Reference<Shape>>&, std::vector<unsigned int>&) {
    return false;
}

bool Shape::intersect(const Ray&, Hit&) const { return false; }

bool Shape::intersect(const Ray&) const { return false; }

void Shape::sample(ShaderEnvironment&, const Point&, float, float) const {}

Interpolator<float>* Shape::createFloatInterpolator(Parameter&) { return nullptr; }

Interpolator<Color>* Shape::createColorInterpolator(Parameter&) { return nullptr; }

Interpolator<Normal>* Shape::createNormalInterpolator(Parameter&) { return nullptr; }

void Shape::computeNormalDerivatives(const Vector& dpdu, const Vector& dpdv, const Vector& d2pduu,
                                     const Vector& d2pduv, const Vector& d2pdvv, const Normal& n,
                                     Vector& dndu, Vector& dndv) const {
    const float E = dot(dpdu, dpdu), F = dot(dpdu, dpdv), G = dot(dpdv, dpdv);
    const float e = dot(n, d2pduu), f = dot(n, d2pduv), g = dot(n, d2pdvv);
    // No test for E*G == F*F: a degenerate patch gives IEEE infinities, as value arithmetic does.
    const float r = 1.0f / (E * G - F * F);
    dndu = Vector((f * F - e * G) * r * dpdu + (e * F - f * E) * r * dpdv);
    dndv = Vector((g * F - f * G) * r * dpdu + (f * F - g * E) * r * dpdv);
}

namespace {

// Every parameter the shape's own lookups left unread becomes a primitive variable, made by
// the shape's interpolator for its class (constant, per piece, varying or per vertex). Points
// and vectors travel through the normal interpolators, which treat any triple alike; arrays
// and strings stay with the shape.
void addVariables(Shape& shape, ParameterSet& parameters) {
    for (Parameter* p : parameters) {
        if (!p->unused() || !p->getFloats() || p->type().arraylen() != 1) continue;
        const OIIO::ustring& name = p->name();
        if (name == "P" || name == "Pw" || name == "Pz") continue;
        PrimitiveVariable v{name, p->type().basetype(), nullptr, nullptr, nullptr};
        if (v.type == TypeFloat) {
            v.floats.reset(shape.createFloatInterpolator(*p));
        } else if (v.type == TypeColor) {
            v.colors.reset(shape.createColorInterpolator(*p));
        } else if (v.type == TypePoint || v.type == TypeVector || v.type == TypeNormal) {
            Parameter triple(*p, false);
            triple.type() = ParamType(TypeNormal, 1, p->type().interpolation());
            v.tuples.reset(shape.createNormalInterpolator(triple));
        }
        if (v.floats || v.colors || v.tuples) shape.addVariable(std::move(v));
    }
}

}  // namespace

Shape* createShape(const std::string& name, std::string& searchPath, RendererAPI& renderer,
                   const Transform& objectToWorld, const ShapeAttributes& attributes,
                   ParameterSet& parameters) {
    auto create = findPluginEntry<OvoCreateShapeEntry>(name, searchPath, "shape", "createShape");
    Shape* shape = create(renderer, objectToWorld, attributes, parameters);
    if (!shape) return nullptr;
    if (Parameter* p = parameters.find("N", TypeNormal))
        shape->setN(shape->createNormalInterpolator(*p));
    if (Parameter* p = parameters.find("C", TypeColor))
        shape->setCs(shape->createColorInterpolator(*p));
    if (Parameter* p = parameters.find("opacity", TypeColor))
        shape->setOs(shape->createColorInterpolator(*p));
    if (Parameter* p = parameters.find("s", TypeFloat))
        shape->setS(shape->createFloatInterpolator(*p));
    if (Parameter* p = parameters.find("t", TypeFloat))
        shape->setT(shape->createFloatInterpolator(*p));
    addVariables(*shape, parameters);
    return shape;
}

}  // namespace ovo
