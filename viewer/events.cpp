#include "viewer/events.h"

#include <cstdio>
#include <random>

namespace ovo {
namespace viewer {

std::string base64(const void* data, std::size_t size) {
    static const char Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < size; i += 3) {
        const unsigned v = unsigned(bytes[i]) << 16 | unsigned(bytes[i + 1]) << 8 | bytes[i + 2];
        out += Digits[v >> 18];
        out += Digits[(v >> 12) & 63];
        out += Digits[(v >> 6) & 63];
        out += Digits[v & 63];
    }
    if (i < size) {
        const unsigned v =
            unsigned(bytes[i]) << 16 | (i + 1 < size ? unsigned(bytes[i + 1]) << 8 : 0u);
        out += Digits[v >> 18];
        out += Digits[(v >> 12) & 63];
        out += i + 1 < size ? Digits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string serverSentEvent(const std::string& name, const std::string& data) {
    return "event: " + name + "\ndata: " + data + "\n\n";
}

bool tokenMatches(const std::string& given, const std::string& token) {
    if (given.size() != token.size() || token.empty()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < token.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    return difference == 0;
}

std::string randomToken() {
    std::random_device device;
    std::string token;
    static const char Hex[] = "0123456789abcdef";
    for (int i = 0; i < 4; ++i) {
        const unsigned v = device();
        for (int k = 0; k < 8; ++k) token += Hex[(v >> (4 * k)) & 15];
    }
    return token;
}

void EventLog::append(std::string event) {
    {
        std::lock_guard<std::mutex> guard(lock);
        events.push_back(std::make_shared<const std::string>(std::move(event)));
    }
    changed.notify_all();
}

bool EventLog::next(std::size_t from, std::vector<Entry>& out, std::chrono::milliseconds wait) {
    out.clear();
    std::unique_lock<std::mutex> guard(lock);
    changed.wait_for(guard, wait, [&] { return closed || events.size() > from; });
    if (closed) return false;
    for (std::size_t i = from; i < events.size(); ++i) out.push_back(events[i]);
    return true;
}

void EventLog::close() {
    {
        std::lock_guard<std::mutex> guard(lock);
        closed = true;
    }
    changed.notify_all();
}

std::size_t EventLog::size() const {
    std::lock_guard<std::mutex> guard(lock);
    return events.size();
}

}  // namespace viewer
}  // namespace ovo
