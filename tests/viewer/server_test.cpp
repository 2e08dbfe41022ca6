// The viewer's server over real HTTP on the loopback address: the token guards every path,
// the page is served, and the stream sends frames, buckets and ends as they happen.
#include <gtest/gtest.h>
#include <httplib.h>

#include "viewer/server.h"

using namespace ovo::viewer;

namespace {

// The first `count` events of the stream, as text (the server sends what it has at once).
std::string readEvents(int port, const std::string& token, int count) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(5, 0);
    std::string received;
    client.Get(("/events?token=" + token).c_str(), [&](const char* data, size_t length) {
        received.append(data, length);
        int seen = 0;
        for (size_t at = received.find("event: "); at != std::string::npos;
             at = received.find("event: ", at + 1))
            ++seen;
        return seen < count;
    });
    return received;
}

}  // namespace

TEST(ViewerServer, EveryRequestNeedsTheToken) {
    ViewServer server;
    std::string error;
    ASSERT_TRUE(server.start(0, error)) << error;
    ASSERT_GT(server.port(), 0);
    EXPECT_EQ(server.address(),
              "http://127.0.0.1:" + std::to_string(server.port()) + "/?token=" + server.token());

    httplib::Client client("127.0.0.1", server.port());
    const std::string wrong = std::string(32, '0');
    const struct {
        std::string path;
        int status;
    } cases[] = {
        {"/", 403},
        {"/?token=" + wrong, 403},
        {"/?token=", 403},
        {"/events", 403},
        {"/../etc/passwd", 403},
        {"/missing?token=" + server.token(), 404},
        {"/?token=" + server.token(), 200},
    };
    for (const auto& c : cases) {
        auto response = client.Get(c.path.c_str());
        ASSERT_TRUE(response) << c.path;
        EXPECT_EQ(response->status, c.status) << c.path;
    }
    auto page = client.Get(("/?token=" + server.token()).c_str());
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("<canvas id=\"image\""), std::string::npos);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");

    // Another server cannot take the same port.
    ViewServer second;
    EXPECT_FALSE(second.start(server.port(), error));
    EXPECT_EQ(error, "cannot listen on 127.0.0.1:" + std::to_string(server.port()));
}

TEST(ViewerServer, StreamsFramesBucketsAndEndsFromTheStart) {
    ViewServer server;
    std::string error;
    ASSERT_TRUE(server.start(0, error)) << error;
    server.nameNextFrame("scene \"one\".rib");
    FrameShape shape;
    shape.label = "ovo:view";
    shape.fullWidth = 8, shape.fullHeight = 6, shape.x = 2, shape.y = 1, shape.width = 4,
    shape.height = 3;
    EXPECT_EQ(server.lastFrame(), -1);
    const int frame = server.beginFrame(shape);
    EXPECT_EQ(frame, 0);
    EXPECT_EQ(server.lastFrame(), 0);
    server.addRectangle(frame, "rgba", 2, 1, 1, 1, {1.0f, 0.0f, 0.0f, 1.0f});
    server.endFrame(frame);

    // A page that connects after the frame is sent all of it, in order.
    const std::string events = readEvents(server.port(), server.token(), 3);
    const std::string frameEvent =
        "event: frame\ndata: {\"frame\":0,\"label\":\"scene \\\"one\\\".rib\",\"fullWidth\":8,"
        "\"fullHeight\":6,\"x\":2,\"y\":1,\"width\":4,\"height\":3}\n\n";
    ASSERT_EQ(events.compare(0, frameEvent.size(), frameEvent), 0) << events;
    const size_t bucket = events.find(
        "event: bucket\ndata: {\"frame\":0,\"kind\":\"rgba\",\"x\":2,"
        "\"y\":1,\"width\":1,\"height\":1,\"seconds\":");
    ASSERT_NE(bucket, std::string::npos) << events;
    EXPECT_NE(events.find(",\"data\":\"AACAPwAAAAAAAAAAAACAPw==\"}\n\n", bucket),
              std::string::npos);
    EXPECT_NE(events.find("event: done\ndata: {\"frame\":0,\"seconds\":", bucket),
              std::string::npos);
    EXPECT_EQ(server.events().size(), 3u);

    // Stopping ends an open stream promptly.
    std::thread reader([&] { readEvents(server.port(), server.token(), 10); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    server.stop();
    reader.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}
