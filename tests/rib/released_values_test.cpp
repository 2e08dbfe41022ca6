// Mesh requests free their parsed numbers before the renderer builds the mesh. Only the request
// just read may lose them: a recorded one is read again by every ReadArchive.
#include <gtest/gtest.h>

#include "tests/rib/recorder.h"

TEST(RibReleasedValues, RecordedMeshesReplayWhole) {
    const char* const meshes[] = {
        "PointsPolygons [3 3] [0 1 2 2 1 3] \"P\" [$12] \"uniform color Cs\" [$6]",
        "PointsGeneralPolygons [2] [4 3] [$7] \"P\" [$21]",
        "SubdivisionMesh \"catmull-clark\" [4] [$4] [\"crease\"] [2 1] [0 1] [2.5] \"P\" [$12] "
        "\"facevarying float s\" [$4]",
    };
    for (const char* mesh : meshes) {
        const std::string request = ovotest::expand(mesh);
        ovotest::Recorder streamed, replayed;
        // Each read straight from the text, the second one after the first freed its numbers.
        const std::string once = streamed.world(request);
        ASSERT_NE(once.find("Mesh("), std::string::npos) << once;
        EXPECT_EQ(streamed.world(request + "\n" + request), once + "; " + once);
        const std::string archive =
            "ArchiveBegin \"m\"\n" + request + "\nArchiveEnd\nReadArchive \"m\"\nReadArchive \"m\"";
        EXPECT_EQ(replayed.world(archive), once + "; " + once) << mesh;
    }
}
