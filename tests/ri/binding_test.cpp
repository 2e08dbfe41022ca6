// The binding in this process: calls reach a frame of their own, handles name what they were
// given for, and misuse is reported to the caller's error handler with the call's message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ri/ri.h"
#include "tests/common/test_util.h"
#include "tests/ri/picture.h"

using ovotest::Picture;
using ovotest::readPicture;
using ovotest::ScratchDir;

namespace {

std::vector<std::string> messages;

void keep(RtInt, RtInt severity, const char* message) {
    if (severity >= RIE_ERROR) messages.push_back(message);
}

// A frame that shows nothing, so each case's calls are the only thing that can go wrong. The
// calls are numbered as lines: RiDisplay is 1, RiWorldBegin 2, the case's first call 3.
template <class Calls>
std::vector<std::string> reported(Calls calls) {
    messages.clear();
    RiErrorHandler(keep);
    RiBegin(RI_NULL);
    RiDisplay("unused", "null", RI_RGBA, RI_NULL);
    RiWorldBegin();
    calls();
    RiWorldEnd();
    RiEnd();
    RiErrorHandler(RiErrorPrint);
    return messages;
}

void subdivideNothing(RtPointer, RtFloat) {}
int freed = 0;
void countFree(RtPointer) { ++freed; }
RtFloat customFilter(RtFloat, RtFloat, RtFloat, RtFloat) { return 1; }

}  // namespace

TEST(RiBinding, MisuseIsReportedToTheCallersHandler) {
    const struct {
        const char* what;
        void (*calls)();
        const char* message;
    } cases[] = {
        {"a token without a value",
         [] { RiSphere(1, -1, 1, 360, RI_CS, static_cast<RtPointer>(nullptr), RI_NULL); },
         "Ri:3: Sphere: parameter \"Cs\" has no value. Skipping ..."},
        {"a procedural without a subdivide function",
         [] {
             RtBound bound = {0, 1, 0, 1, 0, 1};
             RiProcedural(nullptr, bound, nullptr, countFree);
         },
         "Ri:3: Procedural: no subdivide function. Skipping ..."},
        {"a filter the renderer cannot name", [] { RiPixelFilter(customFilter, 2, 2); },
         "RiPixelFilter: only the standard filters are known"},
        {"a second RiBegin", [] { RiBegin(RI_NULL); },
         "RiBegin: a frame is already open (call RiEnd first)"},
    };
    freed = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(reported(c.calls), std::vector<std::string>{c.message}) << c.what;
    }
    // A procedural's data is released even when it cannot run.
    EXPECT_EQ(freed, 1);
}

// A procedural that makes itself again, for ever.
int subdivisions = 0;
void subdivideAgain(RtPointer data, RtFloat) {
    ++subdivisions;
    RtBound bound = {0, 1, 0, 1, 0, 1};
    RiProcedural(data, bound, subdivideAgain, countFree);
}

TEST(RiBinding, ProceduralsNestOnlySoDeep) {
    subdivisions = 0;
    freed = 0;
    const std::vector<std::string> found = reported([] {
        RtBound bound = {0, 1, 0, 1, 0, 1};
        RiProcedural(nullptr, bound, subdivideAgain, countFree);
    });
    // Calls 3 to 34 run; the 33rd nested one (call 35) is refused. Every one is freed.
    EXPECT_EQ(found, std::vector<std::string>{
                         "Ri:35: Procedural: procedurals nested too deeply. Skipping ..."});
    EXPECT_EQ(subdivisions, 32);
    EXPECT_EQ(freed, 33);
}

TEST(RiBinding, CallsWithoutAFrameAreReportedAndDoNothing) {
    messages.clear();
    RiErrorHandler(keep);
    RiWorldBegin();
    RtBound bound = {0, 1, 0, 1, 0, 1};
    freed = 0;
    RiProcedural(nullptr, bound, subdivideNothing, countFree);
    RiEnd();
    RiErrorHandler(RiErrorPrint);
    EXPECT_EQ(messages,
              (std::vector<std::string>{"WorldBegin: no frame is open (call RiBegin first)",
                                        "RiProcedural: no frame is open (call RiBegin first)",
                                        "RiEnd: no frame is open"}));
    EXPECT_EQ(freed, 1);
}

// Objects are instanced by the handles RiObjectBegin gave; polygons take their vertex count from
// the call, and per-vertex colours their length from it; a setting's value is read as declared.
TEST(RiBinding, HandlesPolygonValuesAndSettingsReachTheFrame) {
    ScratchDir dir;
    const std::string picture = dir / "frame.tif";
    messages.clear();
    RiErrorHandler(keep);
    RiBegin(RI_NULL);
    RiFormat(128, 32, 1);
    RiDisplay(picture.c_str(), RI_FILE, RI_RGBA, RI_NULL);
    RiProjection(RI_ORTHOGRAPHIC, RI_NULL);
    RiScreenWindow(-4, 4, -1, 1);
    RiTranslate(0, 0, 5);
    RiWorldBegin();
    RiSurface(RI_CONSTANT, RI_NULL);
    RtObjectHandle disc = RiObjectBegin();
    RiDisk(0, 0.8f, 360, RI_NULL);
    RiObjectEnd();
    // Discs in the first three columns, the third one hidden from the camera.
    RtInt hidden = 0;
    for (int k = 0; k < 3; ++k) {
        RiAttributeBegin();
        if (k == 2) RiAttribute("visibility", "camera", &hidden, RI_NULL);
        RiTranslate(-3.0f + 2.0f * k, 0, 0);
        RiObjectInstance(disc);
        RiAttributeEnd();
    }
    RtFloat P[12] = {2.2f, -0.8f, 0, 3.8f, -0.8f, 0, 3.8f, 0.8f, 0, 2.2f, 0.8f, 0};
    RtFloat Cs[12] = {1, 1, 0, 1, 1, 0, 1, 1, 0, 1, 1, 0};
    RtToken tokens[2] = {RI_P, RI_CS};
    RtPointer values[2] = {P, Cs};
    RiPolygonV(4, 2, tokens, values);
    RiWorldEnd();
    RiEnd();
    RiErrorHandler(RiErrorPrint);
    EXPECT_EQ(messages, std::vector<std::string>());
    const Picture p = readPicture(picture);
    ASSERT_EQ(p.width, 128);
    // Discs of radius 0.8 in squares of side 2 cover pi 0.16 of them; then a yellow square.
    const double expected[4] = {M_PI * 0.16, M_PI * 0.16, 0.0, 0.64};
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(coverage(p, 32 * k, 32 * k + 32), expected[k], 0.02) << k;
    const float yellow[3] = {1, 1, 0};
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(p.at(112, 16, c), yellow[c], 1e-3f) << c;
}
