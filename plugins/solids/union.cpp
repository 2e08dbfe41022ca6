// union: a solid holding everything inside either of two closed solids.
//
// The renderer makes one for a "union" solid block, pairing its parts two at a time; the surface is
// the boundary of the combination, so faces buried inside the other part are never hit. Operands:
// exactly two closed primitives (spheres, closed meshes, other solids), in the order given.
//
// Parameters: none
//
// Example:
//   SolidBegin "union"
//     SolidBegin "primitive" Sphere 1 -1 1 360 SolidEnd
//     SolidBegin "primitive" Translate 1 0 0 Sphere 1 -1 1 360 SolidEnd
//   SolidEnd
#include "plugins/solids/solid.h"

extern "C" ovo::Aggregate* createAggregate(std::vector<ovo::Reference<ovo::Primitive>>& operands,
                                           ovo::ParameterSet&) {
    return ovo::solid::create("union", operands, ovo::solid::Operation::Union);
}
