// What the viewer's server pushes to the page: Server-Sent Events, kept in one log for the
// whole run so that a page opened late (or reloaded) is sent everything from the start.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ovo {
namespace viewer {

// Standard base64 with padding: the float data of a rectangle travels as text.
std::string base64(const void* data, std::size_t size);

// `text` as a JSON string, quotes included.
std::string jsonString(const std::string& text);

// One Server-Sent Event: "event: <name>\ndata: <data>\n\n" (data holds no newline).
std::string serverSentEvent(const std::string& name, const std::string& data);

// Whether `given` is the run's token, compared in time independent of where they differ.
bool tokenMatches(const std::string& given, const std::string& token);

// A fresh random token: 32 hexadecimal digits from the system's random device.
std::string randomToken();

class EventLog {
  public:
    using Entry = std::shared_ptr<const std::string>;

    void append(std::string event);
    // Copies the events from index `from` on into `out` (emptied first), waiting up to `wait`
    // for one when there is none yet. False once the log is closed.
    bool next(std::size_t from, std::vector<Entry>& out, std::chrono::milliseconds wait);
    // Wakes and ends every waiting reader.
    void close();
    std::size_t size() const;

  private:
    mutable std::mutex lock;
    std::condition_variable changed;
    std::vector<Entry> events;
    bool closed = false;
};

}  // namespace viewer
}  // namespace ovo
