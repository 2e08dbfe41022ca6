// Test helpers for code that must meet on several threads at once.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace ovotest {

// Long enough for a loaded two-core machine under ThreadSanitizer; short enough that a serial
// scheduler fails the test instead of hanging it.
constexpr std::chrono::seconds meetTimeout{20};

// Announces arrival and waits until `expected` threads have arrived or `timeout` has passed.
// Returns whether everyone met.
inline bool rendezvous(std::atomic<int>& arrived, int expected,
                       std::chrono::steady_clock::duration timeout = meetTimeout) {
    arrived.fetch_add(1);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (arrived.load() < expected) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace ovotest
