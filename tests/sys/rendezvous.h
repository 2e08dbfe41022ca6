// Test helpers for code that must meet on several threads at once.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "sys/tasking.h"

namespace ovotest {

// Long enough for a loaded two-core machine under ThreadSanitizer; short enough that a serial
// scheduler fails the test instead of hanging it.
constexpr std::chrono::seconds meetTimeout{20};

// Yields until ready() holds or `timeout` has passed; returns ready().
template <class Ready>
bool waitUntil(Ready ready, std::chrono::steady_clock::duration timeout = meetTimeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

// Announces arrival and waits until `expected` threads have arrived; returns whether all met.
inline bool rendezvous(std::atomic<int>& arrived, int expected) {
    arrived.fetch_add(1);
    return waitUntil([&] { return arrived.load() >= expected; });
}

// run(i, data, count) for every i below count on a pool of `threads` workers.
inline void runOnPool(int threads, void* data, unsigned count,
                      sys::TaskScheduler::TaskFunction run) {
    sys::TaskScheduler::init(threads);
    sys::TaskScheduler::getInstance()->addTask(run, data, count, nullptr, nullptr);
    sys::TaskScheduler::getInstance()->go();
}

}  // namespace ovotest
