// A named set of primitives ("geometryset" attribute): rays restricted to a set can hit only
// its members. Built while the scene is described, read-only while rendering.
#pragma once

#include <algorithm>
#include <vector>

#include "core/base/reference.h"

namespace ovo {

class Primitive;

class GeometrySet {
  public:
    void add(const Primitive* p) {
        members.push_back(p);
        sorted = false;
    }
    // Call once the set is complete, before rendering reads it.
    void finalize() {
        std::sort(members.begin(), members.end());
        members.erase(std::unique(members.begin(), members.end()), members.end());
        sorted = true;
    }
    // A set still being built is searched linearly, so a forgotten finalize() costs time only.
    bool contains(const Primitive* p) const {
        if (sorted) return std::binary_search(members.begin(), members.end(), p);
        return std::find(members.begin(), members.end(), p) != members.end();
    }
    bool empty() const { return members.empty(); }
    const std::vector<const Primitive*>& getMembers() const { return members; }
    bool isFinalized() const { return sorted; }

  private:
    std::vector<const Primitive*> members;
    bool sorted = true;
};

}  // namespace ovo
