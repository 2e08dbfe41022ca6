// The block stack: World/Render, attribute, transform, solid, object and shader-group blocks,
// and the option stack.
#include <cstring>

#include "core/api/raytracer.h"
#include "core/geometry/primitive.h"

namespace ovo {

namespace {

const char* const BlockWords[][2] = {
    {"not started", "not started"},
    {"frame", "frame"},
    {"World", "Render"},
    {"PushAttribute", "PopAttribute"},
    {"PushTransform", "PopTransform"},
    {"AcceleratorBegin", "AcceleratorEnd"},
    {"SolidBegin", "SolidEnd"},
    {"MotionBegin", "MotionEnd"},
    {"ObjectBegin", "ObjectEnd"},
    {"ShaderGroupBegin", "ShaderGroupEnd"},
};

const char* const SolidOperations[] = {"primitive", "union", "intersection", "difference"};

}  // namespace

const char* blockBeginWord(BlockKind kind) {
    return kind <= BlockShaderGroup ? BlockWords[kind][0] : "";
}

const char* blockEndWord(BlockKind kind) {
    return kind <= BlockShaderGroup ? BlockWords[kind][1] : "";
}

bool Raytracer::checkBlockEnd(BlockKind kind) {
    const BlockKind open = blocks.back();
    if (open == kind) return true;
    errorManager->Severe("%s() call without a corresponding %s().", blockBeginWord(open),
                         blockEndWord(open));
    return false;
}

bool Raytracer::checkInWorld(const char* type) {
    if (blocks.back() >= BlockWorld) return true;
    errorManager->Severe("%s primitive call is invalid before call to World(). Ignoring ...",
                         type ? type : "");
    return false;
}

void Raytracer::pushNode() {
    resumeNodes.push_back(currentNode);
    currentNode = currentNode->makeChild();
    nodeStack.push_back(currentNode);
}

void Raytracer::popNode() {
    // Inside the world a closed block that only held primitives leaves them to its parent.
    TransformNode* closed = nodeStack.back();
    if (inWorld && worldNode && closed != worldNode && closed->parent)
        closed->parent->adoptChild(closed);
    nodeStack.pop_back();
    currentNode = resumeNodes.back();
    resumeNodes.pop_back();
}

void Raytracer::World() {
    blocks.push_back(BlockWorld);
    inWorld = true;
    pending.clear();

    // Where Camera("camera") places the default camera: the transformation current now.
    const Transform cameraToWorld = getCurrentTransform();
    if (cameras.empty()) Camera("camera");

    PushOptions();
    attributesStack.push_back(attributesStack.back());
    pushNode();
    worldNode = currentNode;
    worldNode->local = Transform::Identity;
    worldNode->accumulated = Transform::Identity;
    worldNode->name = getOptions().acceleratorName;
    worldNode->acceleratorParameters = getOptions().acceleratorParameters;

    if (outputs.empty()) {
        const std::string camera = cameras.empty() ? "camera" : cameras.front().name;
        errorManager->Warning("No Output() call -- saving rgba from \"%s\" to \"%s\"",
                              camera.c_str(), "ovo.png");
        Output("ovo.png", "png", "rgba", camera.c_str());
    }

    namedSpaces[OIIO::ustring("world")] = Transform::Identity;
    namedSpaces[OIIO::ustring("camera")] =
        cameras.empty() ? cameraToWorld : cameras.front().cameraTransform.getSample(0).inverse();
    defineScreenSpaces();
}

void Raytracer::Render(const char* camera) {
    if (!checkBlockEnd(BlockWorld)) return;
    renderFrame(camera);
    endWorld();
}

void Raytracer::endWorld() {
    blocks.pop_back();
    geometryNames.clear();
    currentNode = nullptr;
    worldNode = nullptr;
    PopOptions();
    getAttributes().lights = new LightList();
    worldTransforms.clear();
    attributesStack.pop_back();
    popNode();
    currentNode->children.clear();
    inWorld = false;
}

void Raytracer::PushOptions() { optionsStack.push_back(getOptions()); }

void Raytracer::PopOptions() {
    // The record made with the renderer stays: refusing is safer than leaving none.
    if (optionsStack.size() > 1) optionsStack.pop_back();
}

void Raytracer::PushAttributes() {
    blocks.push_back(BlockAttribute);
    attributesStack.push_back(getAttributes());
    pushNode();
}

void Raytracer::PopAttributes() {
    if (!checkBlockEnd(BlockAttribute)) return;
    blocks.pop_back();
    popNode();
    attributesStack.pop_back();
}

void Raytracer::PushTransform() {
    blocks.push_back(BlockTransform);
    pushNode();
}

void Raytracer::PopTransform() {
    if (!checkBlockEnd(BlockTransform)) return;
    blocks.pop_back();
    popNode();
}

void Raytracer::SolidBegin(const char* operation) {
    blocks.push_back(BlockSolid);
    pushNode();
    attributesStack.push_back(getAttributes());
    getAttributes().twoSided = true;

    for (const char* valid : SolidOperations) {
        if (operation && std::strcmp(operation, valid) == 0) {
            currentNode->name = valid;
            return;
        }
    }
    // The block stays open so that its SolidEnd still matches.
    errorManager->Error(" Invalid CSG operation \"%s\"", operation ? operation : "");
}

void Raytracer::SolidEnd() {
    if (!checkBlockEnd(BlockSolid)) return;
    popNode();
    attributesStack.pop_back();
    blocks.pop_back();
}

void Raytracer::ObjectBegin(const char* name) {
    const std::string objectName = name ? name : "";
    blocks.push_back(BlockObject);
    pushNode();
    // Object primitives carry no attributes of their own: each instance supplies them.
    attributesStack.emplace_back();
    objectNodes.push_back(currentNode);
    currentNode->name = objectName;
    currentNode->local = Transform::Identity;
    currentNode->accumulated = Transform::Identity;
    if (getOptions().objects.count(objectName))
        errorManager->Warning("Instance %s already existing.", objectName.c_str());
}

void Raytracer::ObjectEnd() {
    if (!checkBlockEnd(BlockObject)) return;
    TransformNode& node = *objectNodes.back();
    objectNodes.pop_back();
    const std::string objectName = node.name;
    node.name = getOptions().acceleratorName;
    defineObject(objectName, node);
    node.primitives.clear();
    node.adopted.clear();
    node.children.clear();
    node.name.clear();
    blocks.pop_back();
    popNode();
    attributesStack.pop_back();
}

void Raytracer::ShaderGroupBegin() {
    blocks.push_back(BlockShaderGroup);
    groupShaderType = 0;
}

void Raytracer::ShaderGroupEnd() {
    if (!checkBlockEnd(BlockShaderGroup)) return;
    blocks.pop_back();
}

}  // namespace ovo
