#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/params/error.h"

using namespace ovo;
using EH = OIIO::ErrorHandler;

namespace {

// Captured before any test touches the shared handler.
const int VerbosityAtLoad = DefaultHandler::instance().verbosity();

// Redirects a real file descriptor (1 or 2) into a temporary file. The text is read before
// the stream is flushed again, so a handler that forgets to flush leaves it empty.
class FdCapture {
  public:
    FdCapture(int target, FILE* targetStream) : fd(target), stream(targetStream) {
        std::fflush(targetStream);
        saved = dup(target);
        file = std::tmpfile();
        dup2(fileno(file), target);
    }
    ~FdCapture() { release(); }

    std::string release() {
        std::string text;
        if (!file) return text;
        char buf[4096];
        off_t at = 0;
        ssize_t n;
        while ((n = pread(fileno(file), buf, sizeof(buf), at)) > 0) {
            text.append(buf, size_t(n));
            at += n;
        }
        std::fflush(stream);
        dup2(saved, fd);
        close(saved);
        std::fclose(file);
        file = nullptr;
        return text;
    }

  private:
    int fd;
    FILE* stream;
    int saved = -1;
    FILE* file = nullptr;
};

struct Output {
    std::string out, err;
};

template <class F>
Output capture(F&& f) {
    FdCapture err(2, stderr);
    FdCapture out(1, stdout);
    f();
    Output o;
    o.out = out.release();
    o.err = err.release();
    return o;
}

class Recorder : public OIIO::ErrorHandler {
  public:
    void operator()(int code, const std::string& msg) override { calls.emplace_back(code, msg); }
    std::vector<std::pair<int, std::string>> calls;
};

// Managers are freed through the library's operator delete.
struct ManagerDeleter {
    void operator()(ErrorManager* m) const { delete m; }
};
using ManagerPtr = std::unique_ptr<ErrorManager, ManagerDeleter>;

// Tests share the default handler; each starts from its load-time state.
class Diagnostics : public ::testing::Test {
  protected:
    void SetUp() override { DefaultHandler::instance().verbosity(1); }
    void TearDown() override { DefaultHandler::instance().verbosity(1); }
};

}  // namespace

TEST_F(Diagnostics, DefaultHandlerPrintsPerVerbosity) {
    EXPECT_EQ(VerbosityAtLoad, 1);
    DefaultHandler& h = DefaultHandler::instance();
    EXPECT_EQ(&h, &DefaultHandler::instance());

    struct Expected {
        int verbosity;
        const char* out;
        const char* err;
    };
    const Expected expected[] = {
        {0, "", "ERROR: e\nSEVERE ERROR: s\n"},
        {1, "m\n", "WARNING: w\nERROR: e\nSEVERE ERROR: s\n"},
        {2, "INFO: i\nm\n", "WARNING: w\nERROR: e\nSEVERE ERROR: s\n"},
        {3, "INFO: i\nm\n", "WARNING: w\nERROR: e\nSEVERE ERROR: s\n"},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.verbosity);
        h.verbosity(e.verbosity);
        Output o = capture([&] {
            h(EH::EH_INFO, "i");
            h(EH::EH_WARNING, "w");
            h(EH::EH_ERROR, "e");
            h(EH::EH_SEVERE, "s");
            h(EH::EH_DEBUG, "d");
            h(EH::EH_MESSAGE, "m");
        });
        EXPECT_EQ(o.out, e.out);
        EXPECT_EQ(o.err, e.err);
    }

    // Only the severity part counts; unknown severities print as plain messages.
    h.verbosity(1);
    Output o = capture([&] {
        h(EH::EH_ERROR + 42, "low bits");
        h(EH::EH_INFO + 1, "hidden");
        h(0x60000, "other");
        h(EH::EH_DEBUG + 3, "never");
        h(EH::EH_MESSAGE, "100% literal %s");
    });
    EXPECT_EQ(o.out, "other\n100% literal %s\n");
    EXPECT_EQ(o.err, "ERROR: low bits\n");
}

TEST_F(Diagnostics, ManagerWithDefaultHandler) {
    ManagerPtr verbose(ErrorManager::Create(nullptr, 2));
    EXPECT_EQ(verbose->Handler(), nullptr);
    EXPECT_EQ(verbose->Verbosity(), 2);
    EXPECT_EQ(DefaultHandler::instance().verbosity(), 2);
    Output o = capture([&] { verbose->Info("%d samples of %s", 16, "P"); });
    EXPECT_EQ(o.out, "INFO: 16 samples of P\n");
    EXPECT_EQ(o.err, "");

    ManagerPtr normal(ErrorManager::Create(nullptr, 1));
    o = capture([&] { normal->Info("%d samples of %s", 16, "P"); });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");

    ManagerPtr quiet(ErrorManager::Create(nullptr, 0));
    o = capture([&] {
        quiet->Warning("w%d", 1);
        quiet->Message("plain");
        quiet->Error("Unknown option \"%s\". Ignoring ...", "foo");
        quiet->Severe("%s", "bad");
        quiet->Debug("never %d", 1);
    });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "ERROR: Unknown option \"foo\". Ignoring ...\nSEVERE ERROR: bad\n");

    // Every manager without a handler of its own shares the default one and its verbosity.
    verbose->Verbosity(2);
    EXPECT_EQ(quiet->Verbosity(), 0);
    o = capture([&] {
        quiet->Info("shared");
        quiet->Warning("too");
    });
    EXPECT_EQ(o.out, "INFO: shared\n");
    EXPECT_EQ(o.err, "WARNING: too\n");

    // Debug never prints, whatever the verbosity.
    o = capture([&] { verbose->Debug("%s", "debug"); });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
}

TEST_F(Diagnostics, ManagerWithHostHandler) {
    Recorder rec;
    rec.verbosity(0);
    ManagerPtr m(ErrorManager::Create(&rec, 2));
    EXPECT_EQ(m->Handler(), &rec);
    EXPECT_EQ(rec.verbosity(), 2);
    EXPECT_EQ(DefaultHandler::instance().verbosity(), 1);  // untouched

    m->Info("i %d", 1);
    m->Warning("w %s", "x");
    m->Error("e %.2f", 0.5);
    m->Severe("s %c", 'c');
    m->Message("m");
    m->Debug("d");
    // The handler decides what to show, so even quiet-level text reaches it.
    m->Verbosity(0);
    m->Info("late");
    const std::vector<std::pair<int, std::string>> expected = {
        {EH::EH_INFO, "i 1"},   {EH::EH_WARNING, "w x"}, {EH::EH_ERROR, "e 0.50"},
        {EH::EH_SEVERE, "s c"}, {EH::EH_MESSAGE, "m"},   {EH::EH_INFO, "late"},
    };
    EXPECT_EQ(rec.calls, expected);
    EXPECT_EQ(rec.verbosity(), 0);

    // No length limit on manager messages.
    rec.calls.clear();
    std::string longText(5000, 'x');
    m->Error("[%s]", longText.c_str());
    ASSERT_EQ(rec.calls.size(), 1u);
    EXPECT_EQ(rec.calls[0].second, "[" + longText + "]");
    rec.calls.clear();
    m->Warning(nullptr);
    ASSERT_EQ(rec.calls.size(), 1u);
    EXPECT_EQ(rec.calls[0].second, "");

    // Switching handlers: the new one takes the manager's verbosity; null restores the default.
    Recorder other;
    m->Verbosity(2);
    m->Handler(&other);
    EXPECT_EQ(m->Handler(), &other);
    EXPECT_EQ(other.verbosity(), 2);
    m->Verbosity(1);
    EXPECT_EQ(other.verbosity(), 1);
    EXPECT_EQ(rec.verbosity(), 2);  // the old handler is no longer driven
    m->Handler(nullptr);
    EXPECT_EQ(m->Handler(), nullptr);
    EXPECT_EQ(DefaultHandler::instance().verbosity(), 1);
    m->Verbosity(2);
    Output o = capture([&] { m->Info("back"); });
    EXPECT_EQ(o.out, "INFO: back\n");
    EXPECT_TRUE(other.calls.empty());

    // Assignment copies both fields.
    ManagerPtr copy(ErrorManager::Create(nullptr, 0));
    m->Handler(&rec);
    *copy = *m;
    EXPECT_EQ(copy->Handler(), &rec);
    EXPECT_EQ(copy->Verbosity(), 2);
    copy->Severe("via copy");
    ASSERT_FALSE(rec.calls.empty());
    EXPECT_EQ(rec.calls.back(), std::make_pair(int(EH::EH_SEVERE), std::string("via copy")));
}

TEST(Error, CodeMessageAndTruncation) {
    Error e(Error::PluginNotFound, "Unable to find plugin \"%s\"", "sphere");
    EXPECT_EQ(e.code(), Error::PluginNotFound);
    EXPECT_EQ(int(e.code()), 3);
    EXPECT_STREQ(e.what(), "Unable to find plugin \"sphere\"");
    EXPECT_EQ(int(Error::PluginLoadFailed), 4);
    EXPECT_EQ(int(Error::AggregateIntersect), 14);
    EXPECT_EQ(int(Error::InvalidSkew), 61);

    try {
        throw Error(Error::PluginLoadFailed, "Cannot open plugin \"%s\": %s", "x.so", "missing");
    } catch (const std::exception& caught) {
        EXPECT_STREQ(caught.what(), "Cannot open plugin \"x.so\": missing");
    }

    // Longer text is cut to the 1023 characters that fit before the terminator.
    std::string longText(3000, 'a');
    for (size_t i = 0; i < longText.size(); ++i) longText[i] = char('a' + i % 26);
    Error big(Error::InvalidSkew, "%s", longText.c_str());
    EXPECT_EQ(std::strlen(big.what()), 1023u);
    EXPECT_EQ(std::string(big.what()), longText.substr(0, 1023));
    Error exact(Error::InvalidSkew, "%s", longText.substr(0, 1023).c_str());
    EXPECT_EQ(std::string(exact.what()), longText.substr(0, 1023));

    Error copy(big);
    EXPECT_EQ(copy.code(), Error::InvalidSkew);
    EXPECT_STREQ(copy.what(), big.what());
    EXPECT_NE(copy.what(), big.what());
    copy = e;
    EXPECT_EQ(copy.code(), Error::PluginNotFound);
    EXPECT_STREQ(copy.what(), e.what());

    Error empty(Error::AggregateIntersect, nullptr);
    EXPECT_STREQ(empty.what(), "");
}
