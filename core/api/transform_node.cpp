#include "core/api/transform_node.h"

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

}  // namespace ovo
