#include "core/api/transform_node.h"

#include <iterator>

#include "core/geometry/primitive.h"

namespace ovo {

TransformNode::TransformNode() : local(Transform::Identity), accumulated(Transform::Identity) {}

TransformNode::~TransformNode() {}

TransformNode* TransformNode::makeChild() {
    std::unique_ptr<TransformNode> child(new TransformNode());
    child->parent = this;
    if (!local.isMoving()) child->local = local;
    child->accumulated = accumulated;
    children.push_back(std::move(child));
    return children.back().get();
}

bool TransformNode::adoptChild(TransformNode* child) {
    if (children.size() != 1 || children.back().get() != child || !child->name.empty() ||
        child->local.isMoving() || !child->children.empty())
        return false;
    // Built, the child would hand on its own primitives, then those it adopted.
    for (auto* from : {&child->primitives, &child->adopted})
        adopted.insert(adopted.end(), std::make_move_iterator(from->begin()),
                       std::make_move_iterator(from->end()));
    children.clear();
    return true;
}

}  // namespace ovo
