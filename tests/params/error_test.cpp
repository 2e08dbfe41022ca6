#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/params/error.h"
#include "tests/common/test_util.h"

using namespace ovo;
using EH = OIIO::ErrorHandler;
using ovotest::CaptureHandler;

namespace {

// Captured before any test touches the shared handler.
const int VerbosityAtLoad = DefaultHandler::instance().verbosity();

// What `f` writes to the real file descriptors 1 and 2, as "out|err". Each is read before its
// stream is flushed again, so a handler that forgets to flush leaves it empty.
template <class F>
std::string printed(F&& f) {
    std::fflush(stdout), std::fflush(stderr);
    FILE* files[2] = {std::tmpfile(), std::tmpfile()};
    const int saved[2] = {dup(1), dup(2)};
    dup2(fileno(files[0]), 1), dup2(fileno(files[1]), 2);
    f();
    std::string text[2];
    for (int i = 0; i < 2; ++i) {
        char buf[8192];
        const ssize_t n = pread(fileno(files[i]), buf, sizeof buf, 0);
        text[i].assign(buf, size_t(n > 0 ? n : 0));
    }
    std::fflush(stdout), std::fflush(stderr);
    for (int i = 0; i < 2; ++i) dup2(saved[i], i + 1), close(saved[i]), std::fclose(files[i]);
    return text[0] + "|" + text[1];
}

// Managers are freed through the library's operator delete, which `delete` finds.
using ManagerPtr = std::unique_ptr<ErrorManager>;

std::vector<std::string> texts(const CaptureHandler& h) {
    std::vector<std::string> out;
    for (const ovotest::Report& r : h.reports)
        out.push_back(std::to_string(r.code >> 16) + " " + r.text);
    return out;
}

// Tests share the default handler; each leaves it at its load-time verbosity.
class Diagnostics : public ::testing::Test {
  protected:
    void TearDown() override { DefaultHandler::instance().verbosity(1); }
};

}  // namespace

TEST_F(Diagnostics, DefaultHandlerPrintsPerVerbosity) {
    EXPECT_EQ(VerbosityAtLoad, 1);
    DefaultHandler& h = DefaultHandler::instance();
    const char* const expected[] = {
        "|ERROR: e\nSEVERE ERROR: s\n",
        "m\n|WARNING: w\nERROR: e\nSEVERE ERROR: s\n",
        "INFO: i\nm\n|WARNING: w\nERROR: e\nSEVERE ERROR: s\n",
        "INFO: i\nm\n|WARNING: w\nERROR: e\nSEVERE ERROR: s\n",
    };
    for (int verbosity = 0; verbosity < 4; ++verbosity) {
        h.verbosity(verbosity);
        EXPECT_EQ(printed([&] {
                      h(EH::EH_INFO, "i"), h(EH::EH_WARNING, "w"), h(EH::EH_ERROR, "e");
                      h(EH::EH_SEVERE, "s"), h(EH::EH_DEBUG, "d"), h(EH::EH_MESSAGE, "m");
                  }),
                  expected[verbosity])
            << verbosity;
    }
    // Only the severity part counts; unknown severities print as plain messages.
    h.verbosity(1);
    EXPECT_EQ(printed([&] {
                  h(EH::EH_ERROR + 42, "low bits"), h(EH::EH_INFO + 1, "hidden");
                  h(0x60000, "other"), h(EH::EH_DEBUG + 3, "never");
                  h(EH::EH_MESSAGE, "100% literal %s");
              }),
              "other\n100% literal %s\n|ERROR: low bits\n");
}

TEST_F(Diagnostics, ManagersFormatAndDriveTheirHandlersVerbosity) {
    // Without a handler of its own a manager drives the shared default one; Debug never prints.
    ManagerPtr verbose(ErrorManager::Create(nullptr, 2)), quiet(ErrorManager::Create(nullptr, 0));
    EXPECT_EQ(verbose->Handler(), nullptr);
    EXPECT_EQ(DefaultHandler::instance().verbosity(), 0);
    EXPECT_EQ(printed([&] {
                  quiet->Info("%d samples of %s", 16, "P"), quiet->Warning("w%d", 1);
                  quiet->Error("Unknown option \"%s\". Ignoring ...", "foo");
                  quiet->Severe("%s", "bad"), quiet->Debug("never %d", 1);
              }),
              "|ERROR: Unknown option \"foo\". Ignoring ...\nSEVERE ERROR: bad\n");
    verbose->Verbosity(2);
    EXPECT_EQ(quiet->Verbosity(), 0);
    EXPECT_EQ(printed([&] { quiet->Info("shared"), quiet->Debug("%s", "debug"); }),
              "INFO: shared\n|");

    // A host handler sees every message, whatever the verbosity, of any length.
    CaptureHandler rec, other;
    ManagerPtr m(ErrorManager::Create(&rec, 2));
    EXPECT_EQ(m->Handler(), &rec);
    m->Verbosity(0);
    const std::string longText(5000, 'x');
    m->Info("i %d", 1), m->Warning("w %s", "x"), m->Error("e %.2f", 0.5), m->Severe("s %c", 'c');
    m->Message("m"), m->Debug("d"), m->Warning(nullptr), m->Error("[%s]", longText.c_str());
    EXPECT_EQ(texts(rec), (std::vector<std::string>{"1 i 1", "2 w x", "3 e 0.50", "4 s c", "0 m",
                                                    "2 ", "3 [" + longText + "]"}));
    EXPECT_EQ(rec.verbosity(), 0);

    // A new handler takes the manager's verbosity; the old one is no longer driven; null
    // restores the default.
    m->Verbosity(2);
    m->Handler(&other);
    m->Verbosity(1);
    EXPECT_EQ(other.verbosity(), 1);
    EXPECT_EQ(rec.verbosity(), 2);
    m->Handler(nullptr);
    EXPECT_EQ(m->Handler(), nullptr);
    EXPECT_EQ(DefaultHandler::instance().verbosity(), 1);
    m->Verbosity(2);
    EXPECT_EQ(printed([&] { m->Info("back"); }), "INFO: back\n|");
    EXPECT_TRUE(other.reports.empty());

    // Assignment copies the handler and the verbosity.
    ManagerPtr copy(ErrorManager::Create(nullptr, 0));
    m->Handler(&rec);
    *copy = *m;
    EXPECT_EQ(copy->Verbosity(), 2);
    copy->Severe("via copy");
    EXPECT_EQ(texts(rec).back(), "4 via copy");
}

TEST(Error, CodeMessageAndTruncation) {
    const Error e(Error::PluginNotFound, "Unable to find plugin \"%s\"", "sphere");
    EXPECT_EQ(int(e.code()), 3);
    EXPECT_STREQ(e.what(), "Unable to find plugin \"sphere\"");
    // Longer text is cut to the 1023 characters that fit before the terminator.
    std::string longText(3000, 'a');
    for (size_t i = 0; i < longText.size(); ++i) longText[i] = char('a' + i % 26);
    Error big(Error::InvalidSkew, "%s", longText.c_str());
    EXPECT_EQ(std::string(big.what()), longText.substr(0, 1023));
    Error copy(big);
    copy = e;
    EXPECT_STREQ(copy.what(), e.what());
    EXPECT_STREQ(Error(Error::AggregateIntersect, nullptr).what(), "");
}
