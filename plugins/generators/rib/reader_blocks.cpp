// The block structure: frames, the world, attribute/transform/solid/object blocks, motion
// blocks, inline archives and ReadArchive.
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "plugins/generators/rib/args.h"
#include "plugins/generators/rib/reader.h"

namespace ovo {
namespace rib {

namespace {

bool isTransformRequest(const std::string& name) {
    return name == "Translate" || name == "Rotate" || name == "Scale" || name == "Skew" ||
           name == "ConcatTransform" || name == "Transform" || name == "Identity";
}

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
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

// ---------------------------------------------------------------------------- blocks

void Reader::pushBlock(const Request& request, Block kind, bool forwarded) {
    BlockEntry e;
    e.kind = kind;
    e.line = request.line;
    e.file = m_context ? m_context->name : std::string();
    e.forwarded = forwarded;
    e.saved = m_scoped;
    m_blocks.push_back(std::move(e));
}

bool Reader::closing(const Request& request, Block kind) {
    if (!Args(request).end()) {
        fail(request, "too many arguments");
        return false;
    }
    if (!m_blocks.empty() && m_blocks.back().kind == kind) return true;
    if (m_blocks.empty()) {
        fail(request, std::string("no matching ") + beginWord(int(kind)));
    } else {
        const BlockEntry& open = m_blocks.back();
        fail(request, std::string("no matching ") + beginWord(int(kind)) +
                          " (the innermost block is " + beginWord(int(open.kind)) + " from line " +
                          std::to_string(open.line) + ")");
    }
    return false;
}

void Reader::closeBlock(const BlockEntry& entry) {
    switch (entry.kind) {
        case Block::Frame:
            m_renderer->PopAttributes();
            m_renderer->PopOptions();
            break;
        case Block::World:
            m_renderer->Render(nullptr);
            m_inWorld = false;
            break;
        case Block::Attribute:
            m_renderer->PopAttributes();
            break;
        case Block::Transform:
            if (entry.forwarded) m_renderer->PopTransform();
            break;
        case Block::Solid:
            m_renderer->SolidEnd();
            break;
        case Block::Object:
            m_renderer->ObjectEnd();
            --m_objectDepth;
            m_frame.objects.insert(entry.objectHandle);
            break;
        case Block::ShaderGroup:
            m_renderer->ShaderGroupEnd();
            break;
    }
}

void Reader::doFrameBegin(const Request& request) {
    Args a(request);
    double number = 0;
    if (a.more() && !a.number(number)) return fail(request, a.error());
    if (!a.end()) return fail(request, a.error());
    for (const BlockEntry& e : m_blocks)
        if (e.kind == Block::Frame || e.kind == Block::World)
            return fail(request, std::string("not allowed inside ") + beginWord(int(e.kind)));
    pushBlock(request, Block::Frame, true);
    m_frameStack.push_back(m_frame);
    // RIB frames save options, attributes and the transformation.
    m_renderer->PushOptions();
    m_renderer->PushAttributes();
}

void Reader::doFrameEnd(const Request& request) {
    if (!closing(request, Block::Frame)) return;
    closeBlock(m_blocks.back());
    m_scoped = m_blocks.back().saved;
    m_blocks.pop_back();
    m_frame = m_frameStack.back();
    m_frameStack.pop_back();
}

void Reader::doWorldBegin(const Request& request) {
    if (!Args(request).end()) return fail(request, "too many arguments");
    if (m_inWorld) return fail(request, "not allowed inside WorldBegin");
    if (m_objectDepth > 0) return fail(request, "not allowed inside ObjectBegin");
    emitOutputs();
    emitCamera(request);
    m_renderer->World();
    pushBlock(request, Block::World, true);
    m_frameStack.push_back(m_frame);
    m_inWorld = true;

    // Requests made before WorldBegin that hang on the camera's placement: lights and
    // coordinate systems. Their RIB transformation maps to camera space, so relative to
    // the world they sit at placement * inverse(camera).
    Mat4 toWorld = Mat4::identity();
    m_scoped.ctm.samples[0].inverse(toWorld);
    std::vector<Deferred> deferred = m_frame.deferred;
    FileContext* outer = m_context;
    for (const Deferred& d : deferred) {
        FileContext context;
        context.name = d.file;
        m_context = &context;
        float m[16];
        (d.placement * toWorld).toFloats(m);
        m_renderer->PushTransform();
        m_renderer->SetTransform(m);
        if (d.request.name == "CoordinateSystem" || d.request.name == "ScopedCoordinateSystem") {
            Args a(d.request);
            std::string name;
            if (a.string(name)) m_renderer->SaveAttributes(name.c_str(), "transform");
        } else {
            dispatch(d.request);
        }
        m_renderer->PopTransform();
        m_context = outer;
    }
}

void Reader::doWorldEnd(const Request& request) {
    if (!closing(request, Block::World)) return;
    closeBlock(m_blocks.back());
    m_scoped = m_blocks.back().saved;
    m_blocks.pop_back();
    m_frame = m_frameStack.back();
    m_frameStack.pop_back();
}

void Reader::doAttributeBegin(const Request& request) {
    if (!Args(request).end()) return fail(request, "too many arguments");
    pushBlock(request, Block::Attribute, true);
    m_renderer->PushAttributes();
}

void Reader::doAttributeEnd(const Request& request) {
    if (!closing(request, Block::Attribute)) return;
    closeBlock(m_blocks.back());
    m_scoped = m_blocks.back().saved;
    m_blocks.pop_back();
}

void Reader::doTransformBegin(const Request& request) {
    if (!Args(request).end()) return fail(request, "too many arguments");
    bool forward = forwarding();
    pushBlock(request, Block::Transform, forward);
    if (forward) m_renderer->PushTransform();
}

void Reader::doTransformEnd(const Request& request) {
    if (!closing(request, Block::Transform)) return;
    closeBlock(m_blocks.back());
    // Only the transformation is scoped by TransformBegin.
    m_scoped.ctm = m_blocks.back().saved.ctm;
    m_blocks.pop_back();
}

void Reader::doSolidBegin(const Request& request) {
    Args a(request);
    std::string op;
    if (!a.string(op) || !a.end()) return fail(request, a.error());
    if (op != "primitive" && op != "union" && op != "intersection" && op != "difference")
        return fail(request, "unknown operation \"" + op + "\"");
    if (!geometryAllowed(request)) return;
    pushBlock(request, Block::Solid, true);
    m_renderer->SolidBegin(op.c_str());
}

void Reader::doSolidEnd(const Request& request) {
    if (!closing(request, Block::Solid)) return;
    closeBlock(m_blocks.back());
    m_scoped = m_blocks.back().saved;
    m_blocks.pop_back();
}

void Reader::doObjectBegin(const Request& request) {
    Args a(request);
    std::string handle;
    if (!a.handle(handle) || !a.end()) return fail(request, a.error());
    if (m_objectDepth > 0) return fail(request, "object definitions cannot be nested");
    pushBlock(request, Block::Object, true);
    m_blocks.back().objectHandle = handle;
    ++m_objectDepth;
    m_renderer->ObjectBegin(handle.c_str());
}

void Reader::doObjectEnd(const Request& request) {
    if (!closing(request, Block::Object)) return;
    closeBlock(m_blocks.back());
    m_scoped = m_blocks.back().saved;
    m_blocks.pop_back();
}

void Reader::doObjectInstance(const Request& request) {
    Args a(request);
    std::string handle;
    if (!a.handle(handle) || !a.end()) return fail(request, a.error());
    if (!geometryAllowed(request)) return;
    if (!m_frame.objects.count(handle))
        return fail(request, "unknown object handle \"" + handle + "\"");
    m_renderer->ObjectInstance(handle.c_str());
}

void Reader::doShaderGroupBegin(const Request& request) {
    if (!Args(request).end()) return fail(request, "too many arguments");
    pushBlock(request, Block::ShaderGroup, true);
    m_renderer->ShaderGroupBegin();
}

void Reader::doShaderGroupEnd(const Request& request) {
    if (!closing(request, Block::ShaderGroup)) return;
    closeBlock(m_blocks.back());
    m_blocks.pop_back();
}

void Reader::closeImplicitGroup() {
    m_implicitGroup = false;
    m_renderer->ShaderGroupEnd();
}

bool Reader::geometryAllowed(const Request& request) {
    if (forwarding()) return true;
    fail(request, "only allowed inside WorldBegin or ObjectBegin");
    return false;
}

void Reader::finish() {
    FileContext context;
    context.name = m_context ? m_context->name : std::string("<end of input>");
    FileContext* outer = m_context;
    m_context = &context;
    if (m_recordingDepth > 0) {
        context.name = m_recording.file;
        report(Level::Err, m_recording.line,
               "ArchiveBegin \"" + m_recordingName + "\" without ArchiveEnd");
        m_recordingDepth = 0;
        m_recording = Archive();
    }
    if (m_motion.active) {
        context.name = m_motion.file;
        report(Level::Err, m_motion.line, "MotionBegin without MotionEnd");
        m_motion = Motion();
    }
    if (m_implicitGroup) closeImplicitGroup();
    // Close what is open so the renderer is left consistent; an open world is rendered,
    // since leaving it is only possible that way.
    while (!m_blocks.empty()) {
        BlockEntry e = m_blocks.back();
        m_context->name = e.file;
        report(Level::Err, e.line,
               std::string(beginWord(int(e.kind))) + " without " + endWord(int(e.kind)));
        closeBlock(e);
        m_blocks.pop_back();
        if (e.kind == Block::Frame || e.kind == Block::World) {
            m_frame = m_frameStack.back();
            m_frameStack.pop_back();
        }
        m_scoped = e.saved;
    }
    m_context = outer;
}

// ---------------------------------------------------------------------------- motion

void Reader::doMotionBegin(const Request& request) {
    if (m_motion.active) return fail(request, "motion blocks cannot be nested");
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
    m_motion.active = true;
    m_motion.line = request.line;
    m_motion.file = m_context ? m_context->name : std::string();
    m_motion.times.clear();
    for (double t : times) m_motion.times.push_back(toFloat(t));
    m_motion.requests.clear();
}

void Reader::doMotionEnd(const Request& request) {
    if (!Args(request).end()) return fail(request, "too many arguments");
    if (!m_motion.active) return fail(request, "no matching MotionBegin");
    Motion motion = std::move(m_motion);
    m_motion = Motion();
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

    if (!isTransformRequest(name)) {
        // Deformation blur and moving shader parameters: the renderer has neither.
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
    m_recordingName = name;
    m_recording = Archive();
    m_recording.file = m_context ? m_context->name : std::string();
    m_recording.line = request.line;
    m_recordingDepth = 1;
}

void Reader::doArchiveEnd(const Request& request) { fail(request, "no matching ArchiveBegin"); }

void Reader::doReadArchive(const Request& request) {
    Args a(request);
    std::string name;
    if (!a.string(name) || !a.end()) return fail(request, a.error());
    if (m_depth >= kMaxArchiveDepth) return fail(request, "archives nested too deeply");

    // An archive that reads itself, directly or not, would never end.
    auto cycle = [&](const std::string& key) {
        if (std::find(m_reading.begin(), m_reading.end(), key) == m_reading.end()) return false;
        fail(request, "archive \"" + name + "\" reads itself");
        return true;
    };

    auto inlined = m_archives.find(name);
    if (inlined != m_archives.end()) {
        std::string key = "inline:" + name;
        if (cycle(key)) return;
        // Copied: the archive may redefine itself while it is replayed.
        Archive archive = inlined->second;
        m_reading.push_back(key);
        FileContext context;
        context.name = archive.file;
        context.dir = m_context ? m_context->dir : std::string();
        FileContext* outer = m_context;
        m_context = &context;
        ++m_depth;
        for (const Request& r : archive.requests) {
            if (context.abandoned) break;
            execute(r);
        }
        --m_depth;
        m_context = outer;
        m_reading.pop_back();
        return;
    }

    if (!m_fileArchives) return fail(request, "cannot find archive \"" + name + "\"");
    std::vector<std::string> candidates;
    if (!name.empty() && name[0] == '/') {
        candidates.push_back(name);
    } else {
        std::string dir = m_context ? m_context->dir : std::string();
        candidates.push_back(dir.empty() ? name : dir + "/" + name);
        const char* path = nullptr;
        if (m_renderer->GetAttribute("string path:input", path) && path) {
            std::string list = path;
            std::size_t start = 0;
            while (start <= list.size()) {
                std::size_t colon = list.find(':', start);
                if (colon == std::string::npos) colon = list.size();
                std::string folder = list.substr(start, colon - start);
                if (!folder.empty()) candidates.push_back(folder + "/" + name);
                start = colon + 1;
            }
        }
    }
    for (const std::string& file : candidates) {
        if (!fileExists(file)) continue;
        char resolved[PATH_MAX];
        std::string key = realpath(file.c_str(), resolved) ? resolved : file;
        if (cycle(key)) return;
        std::string why;
        std::unique_ptr<Source> source = openFileSource(file, why);
        if (!source) return fail(request, "cannot open archive \"" + file + "\" (" + why + ")");
        FileContext context;
        context.name = file;
        context.dir = folderOf(file);
        m_reading.push_back(key);
        readSource(*source, context);
        m_reading.pop_back();
        return;
    }
    fail(request, "cannot find archive \"" + name + "\"");
}

}  // namespace rib
}  // namespace ovo
