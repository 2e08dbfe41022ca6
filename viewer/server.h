// The live viewer's web server: one page (page.html) and one stream of Server-Sent Events
// carrying the frames of this run as the renderer finishes their buckets. It listens on the
// loopback address only, and every request must carry the run's random token.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "viewer/events.h"
#include "viewer/frame_sink.h"

namespace httplib {
class Server;
}

namespace ovo {
namespace viewer {

// The page, built into the program from viewer/page.html.
extern const char* const PageHtml;

class ViewServer : public FrameSink {
  public:
    ViewServer();
    ~ViewServer() override;
    ViewServer(const ViewServer&) = delete;
    ViewServer& operator=(const ViewServer&) = delete;

    // Listens on 127.0.0.1 at `port` (0: a free one) and serves from a thread of its own.
    // False with a message in `error` when the port cannot be had.
    bool start(int port, std::string& error);
    // Ends every stream and the server; the page keeps what it was sent.
    void stop();

    int port() const { return boundPort; }
    const std::string& token() const { return runToken; }
    // http://127.0.0.1:PORT/?token=...
    std::string address() const;

    void nameNextFrame(const std::string& label) override;

    int beginFrame(const FrameShape& shape) override;
    void addRectangle(int frame, const std::string& kind, int x, int y, int width, int height,
                      const std::vector<float>& values) override;
    void endFrame(int frame) override;
    int lastFrame() const override;

    // The events sent so far, for the tests.
    const EventLog& events() const { return log; }

  private:
    double secondsSince(int frame) const;

    std::unique_ptr<httplib::Server> http;
    std::thread listener;
    std::string runToken;
    int boundPort = 0;
    EventLog log;
    mutable std::mutex framesLock;
    std::vector<std::chrono::steady_clock::time_point> frameStarts;
    std::string nextLabel;
};

}  // namespace viewer
}  // namespace ovo
