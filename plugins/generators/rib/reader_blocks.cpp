// The block structure: frames, the world, attribute/transform/solid/object blocks, motion
// blocks, inline archives and ReadArchive.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include "plugins/generators/rib/args.h"
#include "plugins/generators/rib/reader.h"

namespace ovo {
namespace rib {

namespace {

bool isTransformRequest(const std::string& name) {
    return name == "Translate" || name == "Rotate" || name == "Scale" || name == "Skew" ||
           name == "ConcatTransform" || name == "Transform" || name == "Identity";
}

const char* beginWord(int kind) {
    static const char* const words[] = {"FrameBegin",      "WorldBegin", "AttributeBegin",
                                        "TransformBegin",  "SolidBegin", "ObjectBegin",
                                        "ShaderGroupBegin"};
    return words[kind];
}
const char* endWord(int kind) {
    static const char* const words[] = {"FrameEnd", "WorldEnd",  "AttributeEnd",  "TransformEnd",
                                        "SolidEnd", "ObjectEnd", "ShaderGroupEnd"};
    return words[kind];
}

}  // namespace

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// ---------------------------------------------------------------------------- blocks

void Reader::pushBlock(const Request& request, Block kind, bool forwarded) {
    BlockEntry e;
    e.kind = kind;
    e.line = request.line;
    e.file = fileName();
    e.forwarded = forwarded;
    e.saved = scoped;
    blocks.push_back(std::move(e));
}

bool Reader::closing(const Request& request, Block kind) {
    if (!Args(request).end()) {
        fail(request, "too many arguments");
        return false;
    }
    if (!blocks.empty() && blocks.back().kind == kind) return true;
    if (blocks.empty()) {
        fail(request, std::string("no matching ") + beginWord(int(kind)));
    } else {
        const BlockEntry& open = blocks.back();
        fail(request, std::string("no matching ") + beginWord(int(kind)) +
                          " (the innermost block is " + beginWord(int(open.kind)) + " from line " +
                          std::to_string(open.line) + ")");
    }
    return false;
}

void Reader::closeBlock(const BlockEntry& entry) {
    switch (entry.kind) {
        case Block::Frame:
            renderer->PopAttributes();
            renderer->PopOptions();
            break;
        case Block::World:
            renderer->Render(nullptr);
            missingShaders.clear();
            inWorld = false;
            break;
        case Block::Attribute:
            renderer->PopAttributes();
            break;
        case Block::Transform:
            if (entry.forwarded) renderer->PopTransform();
            break;
        case Block::Solid:
            renderer->SolidEnd();
            break;
        case Block::Object:
            renderer->ObjectEnd();
            --objectDepth;
            frame.objects.insert(entry.objectHandle);
            break;
        case Block::ShaderGroup:
            renderer->ShaderGroupEnd();
            break;
    }
}

void Reader::endBlock(const Request& request, Block kind) {
    if (!closing(request, kind)) return;
    closeBlock(blocks.back());
    // A transform block scopes only the transformation, a shader group nothing of ours.
    if (kind == Block::Transform)
        scoped.ctm = blocks.back().saved.ctm;
    else if (kind != Block::ShaderGroup)
        scoped = blocks.back().saved;
    blocks.pop_back();
    if (kind == Block::Frame || kind == Block::World) popFrame();
}

void Reader::popFrame() {
    frame = frameStack.back();
    frameStack.pop_back();
}

void Reader::doFrameBegin(const Request& request) {
    Args a(request);
    double number = 0;
    const bool hasNumber = a.more();
    if (hasNumber && !a.number(number)) return fail(request, a.error());
    if (!a.end()) return fail(request, a.error());
    for (const BlockEntry& e : blocks)
        if (e.kind == Block::Frame || e.kind == Block::World)
            return fail(request, std::string("not allowed inside ") + beginWord(int(e.kind)));
    pushBlock(request, Block::Frame, true);
    frameStack.push_back(frame);
    // RIB frames save options, attributes and the transformation.
    renderer->PushOptions();
    renderer->PushAttributes();
    // The frame number seeds the sampler, so a frame rendered alone (one task of a render farm)
    // comes out as it does inside its sequence.
    if (hasNumber && number >= -2147483648.0 && number <= 2147483647.0)
        renderer->Attribute("int frame", int(std::floor(number)));
}

void Reader::doFrameEnd(const Request& request) { endBlock(request, Block::Frame); }

void Reader::doWorldBegin(const Request& request) {
    if (!Args(request).end()) return fail(request, "too many arguments");
    if (inWorld) return fail(request, "not allowed inside WorldBegin");
    if (objectDepth > 0) return fail(request, "not allowed inside ObjectBegin");
    emitOutputs();
    emitCamera(request);
    renderer->World();
    pushBlock(request, Block::World, true);
    frameStack.push_back(frame);
    inWorld = true;

    // Requests made before WorldBegin that hang on the camera's placement: lights and
    // coordinate systems. Their RIB transformation maps to camera space, so relative to
    // the world they sit at placement * inverse(camera).
    Mat4 toWorld = Mat4::identity();
    scoped.ctm.samples[0].inverse(toWorld);
    std::vector<Deferred> deferred = frame.deferred;
    FileContext* outer = currentFile;
    for (const Deferred& d : deferred) {
        FileContext context;
        context.name = d.file;
        currentFile = &context;
        float m[16];
        (d.placement * toWorld).toFloats(m);
        renderer->PushTransform();
        renderer->SetTransform(m);
        if (d.request.name == "CoordinateSystem" || d.request.name == "ScopedCoordinateSystem") {
            Args a(d.request);
            std::string name;
            if (a.string(name)) renderer->SaveAttributes(name.c_str(), "transform");
        } else {
            dispatch(d.request);
        }
        renderer->PopTransform();
        currentFile = outer;
    }
}

void Reader::doWorldEnd(const Request& request) { endBlock(request, Block::World); }

void Reader::doAttributeBegin(const Request& request) {
    if (!Args(request).end()) return fail(request, "too many arguments");
    pushBlock(request, Block::Attribute, true);
    renderer->PushAttributes();
}

void Reader::doAttributeEnd(const Request& request) { endBlock(request, Block::Attribute); }

void Reader::doTransformBegin(const Request& request) {
    if (!Args(request).end()) return fail(request, "too many arguments");
    bool forward = forwarding();
    pushBlock(request, Block::Transform, forward);
    if (forward) renderer->PushTransform();
}

void Reader::doTransformEnd(const Request& request) { endBlock(request, Block::Transform); }

void Reader::doSolidBegin(const Request& request) {
    Args a(request);
    std::string op;
    if (!a.string(op) || !a.end()) return fail(request, a.error());
    if (op != "primitive" && op != "union" && op != "intersection" && op != "difference")
        return fail(request, "unknown operation \"" + op + "\"");
    if (!geometryAllowed(request)) return;
    pushBlock(request, Block::Solid, true);
    renderer->SolidBegin(op.c_str());
}

void Reader::doSolidEnd(const Request& request) { endBlock(request, Block::Solid); }

void Reader::doObjectBegin(const Request& request) {
    Args a(request);
    std::string handle;
    if (!a.handle(handle) || !a.end()) return fail(request, a.error());
    if (objectDepth > 0) return fail(request, "object definitions cannot be nested");
    pushBlock(request, Block::Object, true);
    blocks.back().objectHandle = handle;
    ++objectDepth;
    renderer->ObjectBegin(handle.c_str());
}

void Reader::doObjectEnd(const Request& request) { endBlock(request, Block::Object); }

void Reader::doObjectInstance(const Request& request) {
    Args a(request);
    std::string handle;
    if (!a.handle(handle) || !a.end()) return fail(request, a.error());
    if (!geometryAllowed(request)) return;
    if (!frame.objects.count(handle))
        return fail(request, "unknown object handle \"" + handle + "\"");
    renderer->ObjectInstance(handle.c_str());
}

void Reader::doShaderGroupBegin(const Request& request) {
    if (!Args(request).end()) return fail(request, "too many arguments");
    pushBlock(request, Block::ShaderGroup, true);
    renderer->ShaderGroupBegin();
}

void Reader::doShaderGroupEnd(const Request& request) { endBlock(request, Block::ShaderGroup); }

void Reader::closeImplicitGroup() {
    implicitGroup = false;
    renderer->ShaderGroupEnd();
}

bool Reader::geometryAllowed(const Request& request) {
    if (forwarding()) return true;
    fail(request, "only allowed inside WorldBegin or ObjectBegin");
    return false;
}

void Reader::finish() {
    FileContext context;
    context.name = currentFile ? currentFile->name : std::string("<end of input>");
    FileContext* outer = currentFile;
    currentFile = &context;
    if (recordingDepth > 0) {
        context.name = recording.file;
        report(Level::Err, recording.line,
               "ArchiveBegin \"" + recordingName + "\" without ArchiveEnd");
        recordingDepth = 0;
        recording = Archive();
    }
    if (motionBlock.active) {
        context.name = motionBlock.file;
        report(Level::Err, motionBlock.line, "MotionBegin without MotionEnd");
        motionBlock = Motion();
    }
    if (implicitGroup) closeImplicitGroup();
    // Close what is open so the renderer is left consistent; an open world is rendered,
    // since leaving it is only possible that way.
    while (!blocks.empty()) {
        BlockEntry e = blocks.back();
        currentFile->name = e.file;
        report(Level::Err, e.line,
               std::string(beginWord(int(e.kind))) + " without " + endWord(int(e.kind)));
        closeBlock(e);
        blocks.pop_back();
        if (e.kind == Block::Frame || e.kind == Block::World) popFrame();
        scoped = e.saved;
    }
    reportSkippedGeometry();
    currentFile = outer;
}

// ---------------------------------------------------------------------------- motion

void Reader::doMotionBegin(const Request& request) {
    if (motionBlock.active) return fail(request, "motion blocks cannot be nested");
    Args a(request);
    std::vector<double> times;
    if (a.more() && a.peek().isArray()) {
        if (!a.numberArray(times) || !a.end()) return fail(request, a.error());
    } else {
        while (a.more()) {
            double t;
            if (!a.number(t)) return fail(request, a.error());
            times.push_back(t);
        }
    }
    if (times.empty()) return fail(request, "needs at least one time");
    motionBlock.active = true;
    motionBlock.line = request.line;
    motionBlock.file = fileName();
    motionBlock.times.clear();
    for (double t : times) motionBlock.times.push_back(toFloat(t));
    motionBlock.requests.clear();
}

void Reader::doMotionEnd(const Request& request) {
    if (!Args(request).end()) return fail(request, "too many arguments");
    if (!motionBlock.active) return fail(request, "no matching MotionBegin");
    Motion motion = std::move(motionBlock);
    motionBlock = Motion();
    std::size_t n = motion.times.size();
    if (motion.requests.empty()) return;
    const std::string& name = motion.requests[0].name;
    for (const Request& r : motion.requests)
        if (r.name != name)
            return fail(request,
                        "a motion block must repeat one request, not " + name + " and " + r.name);
    if (motion.requests.size() != n)
        return fail(request, std::to_string(motion.requests.size()) + " " + name +
                                 " requests for " + std::to_string(n) + " times");

    if (isShapeRequest(name)) {
        deform(motion);
        return;
    }
    if (!isTransformRequest(name)) {
        // Moving shader parameters and colours: the renderer has none.
        warnOnce(request, "motion:" + name,
                 "motion blur of " + name + " is not supported. Using the first sample ...");
        dispatch(motion.requests[0]);
        return;
    }
    std::vector<Xform> xs(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Request& r = motion.requests[i];
        if (!readTransform(r, xs[i])) return;  // reported; the whole block is skipped
    }
    if (n == 1) {
        applyTransform(xs[0]);
        return;
    }
    applyMotion(request, motion.times, xs);
}

// ---------------------------------------------------------------------------- archives

void Reader::doArchiveBegin(const Request& request) {
    Args a(request);
    std::string name;
    if (!a.string(name)) return fail(request, a.error());
    // Parameters of ArchiveBegin only describe the archive; they are not needed.
    recordingName = name;
    recording = Archive();
    recording.file = fileName();
    recording.line = request.line;
    recordingDepth = 1;
}

void Reader::doArchiveEnd(const Request& request) { fail(request, "no matching ArchiveBegin"); }

void Reader::doReadArchive(const Request& request) {
    Args a(request);
    std::string name;
    if (!a.string(name) || !a.end()) return fail(request, a.error());
    readArchive(request, name);
}

void Reader::readArchive(const Request& request, const std::string& name) {
    if (archiveDepth >= MaxArchiveDepth) return fail(request, "archives nested too deeply");
    auto inlined = archives.find(name);
    if (inlined != archives.end()) return replayArchive(request, name, inlined->second);
    if (fileArchives) {
        for (const std::string& file : archiveCandidates(name)) {
            if (fileExists(file)) return readArchiveFile(request, name, file);
        }
    }
    fail(request, "cannot find archive \"" + name + "\"");
}

bool Reader::readsItself(const Request& request, const std::string& name, const std::string& key) {
    if (std::find(beingRead.begin(), beingRead.end(), key) == beingRead.end()) return false;
    fail(request, "archive \"" + name + "\" reads itself");
    return true;
}

void Reader::replayArchive(const Request& request, const std::string& name, const Archive& stored) {
    std::string key = "inline:" + name;
    if (readsItself(request, name, key)) return;
    // Copied: the archive may redefine itself while it is replayed.
    Archive archive = stored;
    beingRead.push_back(key);
    FileContext context;
    context.name = archive.file;
    context.dir = currentFile ? currentFile->dir : std::string();
    FileContext* outer = currentFile;
    currentFile = &context;
    ++archiveDepth;
    for (const Request& r : archive.requests) {
        if (context.abandoned) break;
        execute(r);
    }
    --archiveDepth;
    currentFile = outer;
    beingRead.pop_back();
}

std::vector<std::string> Reader::archiveCandidates(const std::string& name) {
    return candidates(name, "string path:input");
}

std::vector<std::string> Reader::candidates(const std::string& name, const char* pathOption) {
    if (!name.empty() && name[0] == '/') return {name};
    std::string dir = currentFile ? currentFile->dir : std::string();
    std::vector<std::string> candidates{dir.empty() ? name : dir + "/" + name};
    const char* path = nullptr;
    if (!renderer->GetAttribute(pathOption, path) || !path) return candidates;
    std::string list = path;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t colon = list.find(':', start);
        if (colon == std::string::npos) colon = list.size();
        std::string folder = list.substr(start, colon - start);
        if (!folder.empty()) candidates.push_back(folder + "/" + name);
        start = colon + 1;
    }
    return candidates;
}

void Reader::readArchiveFile(const Request& request, const std::string& name,
                             const std::string& file) {
    std::string key = resolvedPath(file);
    if (readsItself(request, name, key)) return;
    std::string why;
    std::unique_ptr<Source> source = openFileSource(file, why);
    if (!source) return fail(request, "cannot open archive \"" + file + "\" (" + why + ")");
    readNamed(*source, file, folderOf(file), key);
}

}  // namespace rib
}  // namespace ovo
