// intersection: a solid holding what lies inside both of two closed solids.
//
// The renderer makes one for an "intersection" solid block, pairing its parts two at a time.
// Operands: exactly two closed primitives (spheres, closed meshes, other solids), in the order
// given.
//
// Parameters: none
//
// Example:
//   SolidBegin "intersection"
//     SolidBegin "primitive" Sphere 1 -1 1 360 SolidEnd
//     SolidBegin "primitive" Translate 1 0 0 Sphere 1 -1 1 360 SolidEnd
//   SolidEnd
#include "plugins/solids/solid.h"

extern "C" ovo::Aggregate* createAggregate(std::vector<ovo::Reference<ovo::Primitive>>& operands,
                                           ovo::ParameterSet&) {
    return ovo::solid::create("intersection", operands, ovo::solid::Operation::Intersection);
}
