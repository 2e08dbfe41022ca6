// Test accelerator "pair": an aggregate that only keeps its primitives (no hits), so tests can
// count what the factory passed. No parameters. Example: Attribute("string accelerator", "pair").
#include "core/geometry/primitive.h"

namespace {

class PairAggregate : public ovo::Aggregate {
  public:
    explicit PairAggregate(std::vector<ovo::Reference<ovo::Primitive>>& primitives)
        : Aggregate(primitives) {}
};

}  // namespace

extern "C" ovo::Aggregate* createAggregate(std::vector<ovo::Reference<ovo::Primitive>>& primitives,
                                           ovo::ParameterSet&) {
    return new PairAggregate(primitives);
}
