// Transform calls, named coordinate systems and motion blocks.
#include <OpenImageIO/ustring.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <vector>

#include "core/api/raytracer.h"
#include "core/math/constants.h"

namespace ovo {

namespace {

// The commands a motion block can be bound to, interned once.
const OIIO::ustring SetTransformCall("SetTransform");
const OIIO::ustring AppendTransformCall("AppendTransform");
const OIIO::ustring TranslateCall("Translate");
const OIIO::ustring RotateCall("Rotate");
const OIIO::ustring ScaleCall("Scale");

// Hosts give matrices for row vectors; ours act on column vectors.
Transform fromHost(const float* m) { return Transform(Matrix(m).transpose()); }

}  // namespace

void Raytracer::transformCall(const OIIO::ustring& command, const Transform& t) {
    if (blocks.back() != BlockMotion) {
        if (command == SetTransformCall) {
            setPath(MotionTransform(t));
        } else {
            appendPath(t);
        }
        return;
    }

    if (motionCommand.empty()) motionCommand = command;
    if (motionCommand != command) {
        errorManager->Error("%s: wrong command in Motion block. Expected \"%s\". Received \"%s\".",
                            command.c_str(), motionCommand.c_str(), command.c_str());
        return;
    }
    motionTransform.setSample(unsigned(motionIndex++), t);
    if (motionIndex < motionCount) return;

    // The block is complete: keep what the shutter sees, apply it, and close the block.
    const Options& o = getOptions();
    motionTransform.removeUnusedSamples(o.shutter[0], o.shutter[1]);
    if (command == SetTransformCall) {
        setPath(motionTransform);
    } else {
        appendPath(motionTransform);
    }
    blocks.pop_back();
}

void Raytracer::setPath(const MotionTransform& m) {
    // Relative to world space inside the world, to the root outside it; inside an object
    // relative to the object's own node, so that what follows still belongs to the object.
    TransformNode* base = !objectNodes.empty()   ? objectNodes.back()
                          : inWorld && worldNode ? worldNode
                                                 : &root;
    TransformNode* node = base->makeChild();
    node->local = m;
    node->accumulated = m;
    // The enclosing Pop discards the new node in place of the one it replaces.
    nodeStack.back() = node;
    currentNode = node;
}

void Raytracer::appendPath(const Transform& t) {
    TransformNode* node = currentNode;
    if (!node->local.isMoving()) {
        node->local *= t;
    } else {
        // A moving node keeps its motion; the static part goes into a child.
        node = node->makeChild();
        node->local = t;
        currentNode = node;
    }
    node->accumulated *= t;
}

void Raytracer::appendPath(const MotionTransform& m) {
    TransformNode* node = currentNode;
    // Primitives already made under the node must not start moving: the motion goes into a
    // child. A static result composes with a static node, else also goes into a child.
    const bool ownChild = m.isMoving() ? !node->primitives.empty() : node->local.isMoving();
    if (ownChild) {
        node = node->makeChild();
        node->local = m;
        currentNode = node;
    } else {
        node->local *= m;
    }
    node->accumulated *= m;
}

void Raytracer::SetTransform(const char* name) {
    auto found = namedSpaces.find(OIIO::ustring(name ? name : ""));
    if (!name || found == namedSpaces.end()) {
        errorManager->Error("SetTransform: no such named transformation \"%s\"",
                            name ? name : "(null)");
        return;
    }
    const Transform t = found->second;
    transformCall(SetTransformCall, t);
}

void Raytracer::SetTransform(const float* m) {
    if (!m) {
        errorManager->Error("SetTransform: no matrix given. Ignoring ...");
        return;
    }
    transformCall(SetTransformCall, fromHost(m));
}

void Raytracer::AppendTransform(const float* m) {
    if (!m) {
        errorManager->Error("AppendTransform: no matrix given. Ignoring ...");
        return;
    }
    transformCall(AppendTransformCall, fromHost(m));
}

void Raytracer::Translate(float dx, float dy, float dz) {
    transformCall(TranslateCall, ::Translate(dx, dy, dz));
}

void Raytracer::Rotate(float angle, float dx, float dy, float dz) {
    if (dx == 0.0f && dy == 0.0f && dz == 0.0f) {
        errorManager->Error("Invalid rotation axis ( %f %f %f ). Ignoring ...", double(dx),
                            double(dy), double(dz));
        return;
    }
    const float scale = 1.0f / std::sqrt(dx * dx + dy * dy + dz * dz);
    const float angleRadians = float(radians(double(angle)));
    transformCall(RotateCall, ::Rotate(angleRadians, Vector(dx * scale, dy * scale, dz * scale)));
}

void Raytracer::Scale(float sx, float sy, float sz) {
    if (sx == 0.0f || sy == 0.0f || sz == 0.0f) {
        errorManager->Error("singular scale ( %f %f %f ). Ignoring ...", double(sx), double(sy),
                            double(sz));
        return;
    }
    transformCall(ScaleCall, ::Scale(sx, sy, sz));
}

void Raytracer::Motion(int n, const float* times) {
    if (n < 1 || !times) {
        errorManager->Error("Motion: invalid number of samples %d. Ignoring ...", n);
        return;
    }
    // One motion block at a time: the block's state has no room for an outer one.
    if (std::find(blocks.begin(), blocks.end(), BlockMotion) != blocks.end()) {
        errorManager->Error("Motion: a Motion block is already open. Ignoring ...");
        return;
    }
    blocks.push_back(BlockMotion);
    std::vector<float> sorted(times, times + n);
    std::sort(sorted.begin(), sorted.end());
    motionCount = n;
    motionIndex = 0;
    motionCommand = OIIO::ustring();
    motionTransform.setTimes(n, sorted.data());
}

void Raytracer::Motion(int n, float t0, ...) {
    std::vector<float> times(size_t(std::max(n, 1)));
    times[0] = t0;
    // The interface fixes a float before the ellipsis; every compiler we build with passes it
    // like a promoted double and finds the further times after it.
    va_list args;
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif
    va_start(args, t0);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
    for (int i = 1; i < n; ++i) times[size_t(i)] = float(va_arg(args, double));
    va_end(args);
    Motion(n, times.data());
}

}  // namespace ovo
