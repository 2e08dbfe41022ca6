// The filters whose weight is one profile along x times the same profile along y. A filter
// plugin supplies the profile: a function object called with the offset from the pixel centre,
// the half-width and its inverse, which evaluate inlines.
#pragma once

#include "core/render/filter.h"

namespace ovo {
namespace filters {

template <class Profile>
class SeparableFilter : public Filter {
  public:
    SeparableFilter(float xw, float yw, const Profile& profile = Profile())
        : Filter(xw, yw), profile(profile) {}

    float evaluate(float x, float y) const override {
        return profile(x, xwidth, invXwidth) * profile(y, ywidth, invYwidth);
    }

  private:
    Profile profile;
};

}  // namespace filters
}  // namespace ovo
