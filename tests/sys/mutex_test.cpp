#include "sys/tasking.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/sys/rendezvous.h"

using sys::TaskScheduler;

TEST(ActiveMutex, IsOneWordThatLocksAndUnlocks) {
    static_assert(sizeof(sys::ActiveMutex) == 4, "one 32-bit word");
    sys::ActiveMutex mutex = 0;
    EXPECT_TRUE(mutex.tryLock());
    EXPECT_FALSE(mutex.tryLock());  // not recursive
    mutex.unlock();
    EXPECT_TRUE(mutex.tryLock());
}

namespace {
// Two plain counters, changed only under the lock.
struct Counted {
    static void run(unsigned, void* data, unsigned) {
        Counted& c = *static_cast<Counted*>(data);
        for (int i = 0; i < iterations; ++i) {
            c.mutex.lock();
            const long seen = c.first;
            c.first = seen + 1;
            c.second += 2;
            c.mutex.unlock();
        }
    }
    static constexpr int iterations = 20000;
    sys::ActiveMutex mutex;
    long first = 0;
    long second = 0;
};
}  // namespace

TEST(ActiveMutex, ExcludesManyThreads) {
    // More workers than cores: holders get preempted, so waiters must yield to make progress.
    TaskScheduler::init(4);
    TaskScheduler* scheduler = TaskScheduler::getInstance();
    Counted counted;
    const unsigned tasks = 8;
    scheduler->addTask(Counted::run, &counted, tasks, nullptr, nullptr);
    scheduler->go();
    EXPECT_EQ(counted.first, long(tasks) * Counted::iterations);
    EXPECT_EQ(counted.second, 2 * long(tasks) * Counted::iterations);
    EXPECT_TRUE(counted.mutex.tryLock());  // left free
}

namespace {
// Writers keep a == b; readers must never see them differ.
struct Shared {
    static void run(unsigned index, void* data, unsigned) {
        Shared& s = *static_cast<Shared*>(data);
        if (index < writers) {
            // The last writer uses an out-of-range lock type, which must still exclude.
            const auto type =
                index == writers - 1 ? static_cast<sys::RWMutexLockType>(7) : sys::RWMutexWrite;
            for (int i = 0; i < writes; ++i) {
                sys::RWMutexLock lock(s.mutex, type);
                const long next = s.a + 1;
                s.a = next;
                if (i % 64 == 0) std::this_thread::yield();  // widen the window a reader could hit
                s.b = next;
                ++s.count;
            }
            s.writersDone.fetch_add(1);
        } else {
            do {
                sys::RWMutexLock lock(s.mutex, sys::RWMutexRead);
                if (s.a != s.b) s.torn.fetch_add(1);
                s.reads.fetch_add(1, std::memory_order_relaxed);
            } while (s.writersDone.load() < int(writers));
        }
    }
    static constexpr unsigned writers = 3;
    static constexpr int writes = 5000;
    sys::RWMutex mutex;
    long a = 0, b = 0, count = 0;
    std::atomic<int> writersDone{0};
    std::atomic<long> torn{0};
    std::atomic<long> reads{0};
};

struct Readers {
    static void run(unsigned, void* data, unsigned) {
        Readers& r = *static_cast<Readers*>(data);
        sys::RWMutexLock lock(r.mutex, sys::RWMutexRead);
        if (ovotest::rendezvous(r.arrived, 2)) r.met.fetch_add(1);
    }
    sys::RWMutex mutex;
    std::atomic<int> arrived{0};
    std::atomic<int> met{0};
};
}  // namespace

TEST(RWMutex, WritersExcludeEveryoneAndReadersSeeWholePairs) {
    TaskScheduler::init(4);
    TaskScheduler* scheduler = TaskScheduler::getInstance();
    Shared shared;
    scheduler->addTask(Shared::run, &shared, Shared::writers + 2, nullptr, nullptr);
    scheduler->go();
    const long total = long(Shared::writers) * Shared::writes;
    EXPECT_EQ(shared.count, total);
    EXPECT_EQ(shared.a, total);
    EXPECT_EQ(shared.b, total);
    EXPECT_EQ(shared.torn.load(), 0);
    EXPECT_GE(shared.reads.load(), 2);
}

TEST(RWMutex, ReadersShare) {
    // Two readers inside at once: each holds its read lock while waiting for the other.
    TaskScheduler::init(2);
    Readers readers;
    TaskScheduler::getInstance()->addTask(Readers::run, &readers, 2, nullptr, nullptr);
    TaskScheduler::getInstance()->go();
    EXPECT_EQ(readers.met.load(), 2);
}

namespace {
// Two readers that hand the read lock over so that it is never free: each lets go only once the
// other has taken it again, or after a short wait when the other cannot get in.
struct Overlapping {
    static void run(unsigned, void* data, unsigned) {
        Overlapping& o = *static_cast<Overlapping*>(data);
        const auto deadline = std::chrono::steady_clock::now() + ovotest::meetTimeout;
        while (!o.writerIn.load() && std::chrono::steady_clock::now() < deadline) {
            sys::RWMutexLock lock(o.mutex, sys::RWMutexRead);
            const long ticket = o.taken.fetch_add(1) + 1;
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
            while (o.taken.load() == ticket && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::yield();
        }
    }
    sys::RWMutex mutex;
    std::atomic<long> taken{0};
    std::atomic<bool> writerIn{false};
};
}  // namespace

TEST(RWMutex, AWaitingWriterIsNotStarvedByReaders) {
    // Cache inserts must get through while other threads keep looking up.
    TaskScheduler::init(2);
    Overlapping overlapping;
    std::thread writer([&] {
        while (overlapping.taken.load() < 10) std::this_thread::yield();
        sys::RWMutexLock lock(overlapping.mutex, sys::RWMutexWrite);
        overlapping.writerIn = true;
    });
    const auto start = std::chrono::steady_clock::now();
    TaskScheduler::getInstance()->addTask(Overlapping::run, &overlapping, 2, nullptr, nullptr);
    TaskScheduler::getInstance()->go();
    writer.join();
    EXPECT_TRUE(overlapping.writerIn.load());
    // The readers stopped because the writer got in, not because they gave up.
    EXPECT_LT(std::chrono::steady_clock::now() - start, ovotest::meetTimeout);
}
