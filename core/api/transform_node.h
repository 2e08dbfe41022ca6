// TransformNode: one node of the tree that transform, attribute, solid and object blocks
// build while a scene is described. A node holds the primitives made under it; Render and
// ObjectEnd later turn a subtree into one primitive (an aggregate, a solid, a moving part).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/base/reference.h"
#include "core/math/aabb.h"
#include "core/math/motion.h"
#include "core/params/parameter.h"

namespace ovo {

class Primitive;

class TransformNode {
  public:
    // Identity transforms, no name.
    TransformNode();
    ~TransformNode();

    // Appends a child that starts from this node's transforms; a moving local transform is
    // not inherited (the child starts static, the motion stays with this node). The child
    // has no name, so a plain block hands its primitives to its parent when built.
    TransformNode* makeChild();
    // A closed child that is this node's only child, unnamed, static and without children of
    // its own passes its primitives on when built, so they are taken now and the child is
    // deleted: a block per primitive then costs no node. False, changing nothing, otherwise.
    bool adoptChild(TransformNode* child);

    TransformNode* parent = nullptr;
    MotionTransform local;        // what the node applies to its content
    MotionTransform accumulated;  // object to world
    std::vector<Reference<Primitive>> primitives;
    // The primitives of plain blocks that closed under this node before any child that stays
    // (see adoptChild), in order: they are built after `primitives` and before `children`.
    std::vector<Reference<Primitive>> adopted;
    // An accelerator name ("bvh"), a solid operation ("union", ...) or empty.
    std::string name;
    ParameterSet acceleratorParameters;
    Aabb bound;
    std::vector<std::unique_ptr<TransformNode>> children;

  private:
    TransformNode(const TransformNode&) = delete;
    TransformNode& operator=(const TransformNode&) = delete;
};

}  // namespace ovo
