#include "viewer/server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <cstdio>

namespace ovo {
namespace viewer {

namespace {

// How long a stream waits for news before it sends a comment: a closed page is noticed, and
// stop() is never kept waiting longer than this.
const std::chrono::milliseconds KeepAlive(500);

std::string intField(const char* name, long value) {
    return std::string("\"") + name + "\":" + std::to_string(value);
}

std::string secondsField(const char* name, double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "\"%s\":%.3f", name, seconds);
    return text;
}

}  // namespace

ViewServer::ViewServer() : http(new httplib::Server), runToken(randomToken()) {
    // SO_REUSEADDR only: httplib's default SO_REUSEPORT would let a second server share a port
    // that is in use.
    http->set_socket_options([](int socket) {
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Nothing is served without the token: not the page, not the stream, not even a 404.
    http->set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            if (tokenMatches(request.get_param_value("token"), runToken))
                return httplib::Server::HandlerResponse::Unhandled;
            response.status = 403;
            response.set_content("403: this address needs the token ovo printed with it\n",
                                 "text/plain");
            return httplib::Server::HandlerResponse::Handled;
        });
    http->Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        response.set_header("Referrer-Policy", "no-referrer");
        // The page runs its own inline script and talks to this server only.
        response.set_header("Content-Security-Policy",
                            "default-src 'none'; script-src 'unsafe-inline'; style-src "
                            "'unsafe-inline'; connect-src 'self'; img-src 'self' data:");
        response.set_content(PageHtml, "text/html; charset=utf-8");
    });
    http->Get("/events", [this](const httplib::Request&, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        auto cursor = std::make_shared<std::size_t>(0);
        response.set_chunked_content_provider("text/event-stream",
                                              [this, cursor](std::size_t, httplib::DataSink& sink) {
                                                  std::vector<EventLog::Entry> batch;
                                                  if (!log.next(*cursor, batch, KeepAlive)) {
                                                      sink.done();
                                                      return true;
                                                  }
                                                  if (batch.empty())
                                                      return sink.write(": waiting\n\n", 11);
                                                  for (const EventLog::Entry& event : batch)
                                                      if (!sink.write(event->data(), event->size()))
                                                          return false;
                                                  *cursor += batch.size();
                                                  return true;
                                              });
    });
}

ViewServer::~ViewServer() { stop(); }

bool ViewServer::start(int port, std::string& error) {
    if (listener.joinable()) return true;
    if (port == 0) {
        boundPort = http->bind_to_any_port("127.0.0.1");
    } else {
        boundPort = http->bind_to_port("127.0.0.1", port) ? port : -1;
    }
    if (boundPort <= 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port);
        boundPort = 0;
        return false;
    }
    listener = std::thread([this] { http->listen_after_bind(); });
    return true;
}

void ViewServer::stop() {
    log.close();
    if (!listener.joinable()) return;
    http->stop();
    listener.join();
}

std::string ViewServer::address() const {
    return "http://127.0.0.1:" + std::to_string(boundPort) + "/?token=" + runToken;
}

void ViewServer::nameNextFrame(const std::string& label) {
    std::lock_guard<std::mutex> guard(framesLock);
    nextLabel = label;
}

int ViewServer::beginFrame(const FrameShape& shape) {
    int id;
    std::string label;
    {
        std::lock_guard<std::mutex> guard(framesLock);
        id = int(frameStarts.size());
        frameStarts.push_back(std::chrono::steady_clock::now());
        label = nextLabel.empty() ? shape.label : nextLabel;
    }
    log.append(serverSentEvent(
        "frame", "{" + intField("frame", id) + ",\"label\":" + jsonString(label) + "," +
                     intField("fullWidth", shape.fullWidth) + "," +
                     intField("fullHeight", shape.fullHeight) + "," + intField("x", shape.x) + "," +
                     intField("y", shape.y) + "," + intField("width", shape.width) + "," +
                     intField("height", shape.height) + "}"));
    return id;
}

void ViewServer::addRectangle(int frame, const std::string& kind, int x, int y, int width,
                              int height, const std::vector<float>& values) {
    log.append(serverSentEvent(
        "bucket", "{" + intField("frame", frame) + ",\"kind\":" + jsonString(kind) + "," +
                      intField("x", x) + "," + intField("y", y) + "," + intField("width", width) +
                      "," + intField("height", height) + "," +
                      secondsField("seconds", secondsSince(frame)) + ",\"data\":\"" +
                      base64(values.data(), values.size() * sizeof(float)) + "\"}"));
}

void ViewServer::endFrame(int frame) {
    log.append(serverSentEvent("done", "{" + intField("frame", frame) + "," +
                                           secondsField("seconds", secondsSince(frame)) + "}"));
}

int ViewServer::lastFrame() const {
    std::lock_guard<std::mutex> guard(framesLock);
    return int(frameStarts.size()) - 1;
}

double ViewServer::secondsSince(int frame) const {
    std::lock_guard<std::mutex> guard(framesLock);
    if (frame < 0 || std::size_t(frame) >= frameStarts.size()) return 0.0;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                         frameStarts[std::size_t(frame)])
        .count();
}

}  // namespace viewer
}  // namespace ovo
