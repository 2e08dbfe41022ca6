// The C binding's calls as requests of the reader, and "DynamicLoad" procedurals: an object
// loaded at run time whose Ri calls reach the frame being read.
#include <dlfcn.h>

#include <memory>

#include "plugins/generators/rib/reader.h"
#include "ri/context.h"

namespace ovo {
namespace rib {

// Calls reach the reader as the requests of a file of their own: messages name it, and count
// the calls as its lines.
class Reader::Binding : public ri::Context {
  public:
    Binding(Reader& target, const std::string& name, const std::string& dir) : reader(&target) {
        context.name = name;
        context.dir = dir;
    }
    // A binding with a reader of its own.
    explicit Binding(RendererAPI* renderer) : owned(new Reader(renderer)), reader(owned.get()) {
        context.name = "Ri";
    }

    void request(const char* name, const std::vector<ri::Arg>& args) override {
        if (context.abandoned) return;
        Request request;
        request.name = name;
        request.line = ++calls;
        for (const ri::Arg& a : args) request.args.push_back(valueOf(a));
        Current current(*reader, context);
        reader->execute(request);
    }

    void procedural(const float* bound, void (*subdivide)(void*, float), void (*release)(void*),
                    void* data) override {
        (void)bound;  // a ray tracer resolves procedurals at once: the bound defers nothing
        Request request;
        request.name = "Procedural";
        request.line = ++calls;
        Current current(*reader, context);
        reader->userProcedural(request, subdivide, release, data);
    }

    void finish() override {
        Current current(*reader, context);
        reader->finish();
    }

    ErrorManager* errors() override { return reader->errors; }

  private:
    // Makes the binding's file the one being read while a call runs.
    struct Current {
        Current(Reader& r, FileContext& context) : reader(r), outer(r.currentFile) {
            reader.currentFile = &context;
        }
        ~Current() { reader.currentFile = outer; }
        Reader& reader;
        FileContext* outer;
    };

    static Value valueOf(const ri::Arg& a) {
        Value v;
        v.integers = a.integers;
        switch (a.kind) {
            case ri::Arg::Number:
                v.kind = Value::Number;
                v.numbers = a.numbers;
                break;
            case ri::Arg::String:
                v.kind = Value::String;
                v.strings = a.strings;
                break;
            case ri::Arg::Numbers:
                v.kind = a.numbers.empty() ? Value::EmptyArray : Value::NumberArray;
                v.numbers = a.numbers;
                break;
            case ri::Arg::Strings:
                v.kind = a.strings.empty() ? Value::EmptyArray : Value::StringArray;
                v.strings = a.strings;
                break;
            case ri::Arg::Values:
                v.kind = Value::Bare;
                v.bare = a.values;
                break;
        }
        return v;
    }

    std::unique_ptr<Reader> owned;
    Reader* reader;
    FileContext context;
    int calls = 0;
};

ri::Context* Reader::hostBinding(RendererAPI* renderer) { return new Binding(renderer); }

namespace {

typedef void* (*ConvertEntry)(char*);
typedef void (*SubdivideEntry)(void*, float);
typedef void (*FreeEntry)(void*);

// Plugins are loaded with local symbols, so an object's undefined Ri calls would find nothing:
// the binding's library (loaded with this plugin) is made global once, before any object.
bool bindingMadeGlobal() {
    static const bool global = [] {
        Dl_info info;
        if (!dladdr(reinterpret_cast<void*>(&ri::currentContext), &info) || !info.dli_fname)
            return false;
        return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_GLOBAL) != nullptr;
    }();
    return global;
}

}  // namespace

void* Reader::loadObject(const Request& request, const std::string& name) {
    bindingMadeGlobal();
    for (const std::string& tried : {name, name + ".so"}) {
        for (std::string file : candidates(tried, "string path:procedural")) {
            if (!fileExists(file)) continue;
            // dlopen looks a name without a slash up on the library path, not here.
            if (file.find('/') == std::string::npos) file = "./" + file;
            const std::string key = resolvedPath(file);
            auto known = objects.find(key);
            if (known != objects.end()) return known->second;
            void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!handle) {
                const char* why = dlerror();
                fail(request, "cannot load object \"" + name + "\" (" + (why ? why : "") + ")");
                return nullptr;
            }
            objects[key] = handle;
            return handle;
        }
    }
    fail(request, "cannot find object \"" + name + "\"");
    return nullptr;
}

void Reader::dynamicLoad(const Request& request, const std::vector<std::string>& args) {
    if (!fileArchives) return fail(request, "loading objects is turned off");
    if (archiveDepth >= MaxArchiveDepth) return fail(request, "procedurals nested too deeply");
    void* object = loadObject(request, args[0]);
    if (!object) return;
    void* entries[3];
    const char* const names[3] = {"ConvertParameters", "Subdivide", "Free"};
    for (int i = 0; i < 3; ++i) {
        entries[i] = dlsym(object, names[i]);
        if (!entries[i])
            return fail(request, "object \"" + args[0] + "\" has no " + names[i] + " function");
    }
    const double detail = imageArea();
    // The object may write into its argument: it gets a copy.
    std::vector<char> text(args[1].begin(), args[1].end());
    text.push_back('\0');
    Binding binding(*this, "DynamicLoad \"" + args[0] + "\"",
                    currentFile ? currentFile->dir : std::string());
    ri::ContextScope scope(&binding);
    renderer->PushAttributes();
    ++archiveDepth;
    void* data = reinterpret_cast<ConvertEntry>(entries[0])(text.data());
    reinterpret_cast<SubdivideEntry>(entries[1])(data, float(detail));
    reinterpret_cast<FreeEntry>(entries[2])(data);
    --archiveDepth;
    renderer->PopAttributes();
}

void Reader::userProcedural(const Request& request, void (*subdivide)(void*, float),
                            void (*release)(void*), void* data) {
    if (geometryAllowed(request)) {
        if (!subdivide) {
            fail(request, "no subdivide function");
        } else if (archiveDepth >= MaxArchiveDepth) {
            fail(request, "procedurals nested too deeply");
        } else {
            renderer->PushAttributes();
            ++archiveDepth;
            subdivide(data, float(imageArea()));
            --archiveDepth;
            renderer->PopAttributes();
        }
    }
    // The data is the renderer's to free once it is done with it, used or not.
    if (release) release(data);
}

void Reader::closeObjects() {
    for (const auto& object : objects) dlclose(object.second);
    objects.clear();
}

}  // namespace rib
}  // namespace ovo
