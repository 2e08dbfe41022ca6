// Captured reports and aggregate plugins for the geometry tests, with the shared analytic shapes.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/geometry/shape.h"
#include "core/math/constants.h"
#include "core/math/transform.h"
#include "core/params/error.h"
#include "core/params/parameter.h"
#include "tests/common/shapes.h"
#include "tests/common/test_util.h"

namespace ovotest {

using namespace ovo;

// Binds a capturing manager for reports of code without a renderer while in scope.
class CaptureReports {
  public:
    const std::vector<ovotest::Report>& records() const { return capture.handler.reports; }
    // Each report as its severity (OIIO's, shifted down: 2 a warning, 3 an error) and its text.
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Report& r : records())
            out.push_back(std::to_string(r.code >> 16) + " " + r.text);
        return out;
    }

  private:
    ovotest::CapturingManager capture;
    ErrorScope scope{capture.manager};
};

inline Reference<Primitive> makeAggregate(const std::string& file,
                                          std::vector<Reference<Primitive>>& prims,
                                          ParameterSet& params) {
    auto entry = OvoCreateAggregateEntry(ovotest::pluginSymbol(file, "createAggregate"));
    if (!entry) return Reference<Primitive>();
    return Reference<Primitive>(entry(prims, params));
}

inline Reference<Primitive> makeAggregate(const std::string& file,
                                          std::vector<Reference<Primitive>>& prims) {
    ParameterSet params;
    return makeAggregate(file, prims, params);
}

}  // namespace ovotest
