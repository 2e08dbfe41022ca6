// difference: the first of two closed solids with the second carved out of it.
//
// The renderer makes one for a "difference" solid block (its later parts are first joined by
// "union"). Where the second solid carves the first, the geometric normal faces into the cavity,
// away from the remaining material. Operands: exactly two closed primitives (spheres, closed
// meshes, other solids): the solid, then what is taken away. An open operand (an uncapped
// cylinder drilling a hole) holds only what its crossings along a ray enclose: a ray that meets
// its wall once and leaves through an open end is inside it past the wall only.
//
// Parameters: none
//
// Example:
//   SolidBegin "difference"
//     SolidBegin "primitive" Sphere 1 -1 1 360 SolidEnd
//     SolidBegin "primitive" Translate 1 0 0 Sphere 1 -1 1 360 SolidEnd
//   SolidEnd
#include "plugins/solids/solid.h"

extern "C" ovo::Aggregate* createAggregate(std::vector<ovo::Reference<ovo::Primitive>>& operands,
                                           ovo::ParameterSet&) {
    return ovo::solid::create("difference", operands, ovo::solid::Operation::Difference);
}
