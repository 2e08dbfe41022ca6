#include <gtest/gtest.h>

#include "tests/sys/rendezvous.h"

using namespace ovotest;

TEST(ActiveMutex, IsOneWordAndExcludesManyThreads) {
    static_assert(sizeof(sys::ActiveMutex) == 4, "one 32-bit word");
    struct Counted {
        sys::ActiveMutex mutex;
        long value = 0;  // changed only under the lock
    } counted;
    EXPECT_TRUE(counted.mutex.tryLock());
    EXPECT_FALSE(counted.mutex.tryLock());  // not recursive
    counted.mutex.unlock();
    // More workers than cores: holders get preempted, so waiters must yield to make progress.
    runOnPool(4, &counted, 8, [](unsigned, void* data, unsigned) {
        Counted& c = *static_cast<Counted*>(data);
        for (int i = 0; i < 20000; ++i) {
            c.mutex.lock();
            const long seen = c.value;
            c.value = seen + 1;
            c.mutex.unlock();
        }
    });
    EXPECT_EQ(counted.value, 8 * 20000L);
    EXPECT_TRUE(counted.mutex.tryLock());  // left free
}

TEST(RWMutex, WritersExcludeEveryoneAndReadersSeeWholePairs) {
    // Three writers keep a == b; two readers must never see them differ.
    struct Shared {
        sys::RWMutex mutex;
        long a = 0, b = 0;
        std::atomic<int> writersDone{0};
        std::atomic<long> torn{0}, reads{0};
    } shared;
    runOnPool(4, &shared, 5, [](unsigned index, void* data, unsigned) {
        Shared& s = *static_cast<Shared*>(data);
        if (index >= 3) {
            do {
                sys::RWMutexLock lock(s.mutex, sys::RWMutexRead);
                if (s.a != s.b) s.torn.fetch_add(1);
                s.reads.fetch_add(1, std::memory_order_relaxed);
            } while (s.writersDone.load() < 3);
            return;
        }
        // The last writer uses an out-of-range lock type, which must still exclude.
        const auto type = index == 2 ? static_cast<sys::RWMutexLockType>(7) : sys::RWMutexWrite;
        for (int i = 0; i < 5000; ++i) {
            sys::RWMutexLock lock(s.mutex, type);
            const long next = s.a + 1;
            s.a = next;
            if (i % 64 == 0) std::this_thread::yield();  // widen the window a reader could hit
            s.b = next;
        }
        s.writersDone.fetch_add(1);
    });
    EXPECT_EQ(shared.a, 3 * 5000L);
    EXPECT_EQ(shared.b, 3 * 5000L);
    EXPECT_EQ(shared.torn.load(), 0);
    EXPECT_GE(shared.reads.load(), 2);
}

TEST(RWMutex, ReadersShare) {
    // Two readers inside at once: each holds its read lock while waiting for the other.
    struct Readers {
        sys::RWMutex mutex;
        std::atomic<int> arrived{0}, met{0};
    } readers;
    runOnPool(2, &readers, 2, [](unsigned, void* data, unsigned) {
        Readers& r = *static_cast<Readers*>(data);
        sys::RWMutexLock lock(r.mutex, sys::RWMutexRead);
        if (rendezvous(r.arrived, 2)) r.met.fetch_add(1);
    });
    EXPECT_EQ(readers.met.load(), 2);
}

TEST(RWMutex, AWaitingWriterIsNotStarvedByReaders) {
    // Cache inserts must get through while other threads keep looking up. Two readers hand the
    // read lock over so that it is never free: each lets go only once the other has taken it
    // again, or after a short wait when the other cannot get in.
    struct Overlapping {
        sys::RWMutex mutex;
        std::atomic<long> taken{0};
        std::atomic<bool> writerIn{false};
    } o;
    std::thread writer([&] {
        while (o.taken.load() < 10) std::this_thread::yield();
        sys::RWMutexLock lock(o.mutex, sys::RWMutexWrite);
        o.writerIn = true;
    });
    const auto start = std::chrono::steady_clock::now();
    runOnPool(2, &o, 2, [](unsigned, void* data, unsigned) {
        Overlapping& o = *static_cast<Overlapping*>(data);
        const auto deadline = std::chrono::steady_clock::now() + meetTimeout;
        while (!o.writerIn.load() && std::chrono::steady_clock::now() < deadline) {
            sys::RWMutexLock lock(o.mutex, sys::RWMutexRead);
            const long ticket = o.taken.fetch_add(1) + 1;
            waitUntil([&] { return o.taken.load() != ticket; }, std::chrono::milliseconds(20));
        }
    });
    writer.join();
    EXPECT_TRUE(o.writerIn.load());
    // The readers stopped because the writer got in, not because they gave up.
    EXPECT_LT(std::chrono::steady_clock::now() - start, meetTimeout);
}
