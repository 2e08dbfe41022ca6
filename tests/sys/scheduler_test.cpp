#include "sys/tasking.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/sys/rendezvous.h"

using sys::TaskScheduler;

namespace {

// Per-index bookkeeping of one task.
struct Coverage {
    explicit Coverage(unsigned count) : count(count), hits(count), written(count, 0) {}

    static void run(unsigned index, void* data, unsigned count) {
        Coverage& c = *static_cast<Coverage*>(data);
        if (count != c.count || index >= c.count) {
            c.bad.fetch_add(1);
            return;
        }
        c.hits[index].fetch_add(1);
        c.written[index] = 3 * index + 1;  // plain store: go() must publish it
        c.finished.fetch_add(1);
    }

    // Every index ran exactly once and its plain write is visible.
    ::testing::AssertionResult exact() const {
        if (bad.load()) return ::testing::AssertionFailure() << bad.load() << " bad calls";
        for (unsigned i = 0; i < count; ++i) {
            if (hits[i].load() != 1)
                return ::testing::AssertionFailure()
                       << "index " << i << " ran " << hits[i].load() << " times of " << count;
            if (written[i] != 3 * i + 1)
                return ::testing::AssertionFailure() << "index " << i << " write not visible";
        }
        return ::testing::AssertionSuccess();
    }

    unsigned count;
    std::vector<std::atomic<int>> hits;
    std::vector<unsigned> written;
    std::atomic<unsigned> finished{0};
    std::atomic<int> bad{0};
};

// Which threads ran tasks, to count the pool's distinct workers.
struct ThreadLog {
    static void run(unsigned, void* data, unsigned) {
        ThreadLog& log = *static_cast<ThreadLog*>(data);
        std::lock_guard<std::mutex> lock(log.mutex);
        log.ids.insert(std::this_thread::get_id());
    }
    std::mutex mutex;
    std::set<std::thread::id> ids;
};

struct Completion {
    static void done(unsigned count, void* data) {
        Completion& c = *static_cast<Completion*>(data);
        c.calls.fetch_add(1);
        c.argument = count;
        c.finishedSeen = c.coverage ? c.coverage->finished.load() : 0;
    }
    Coverage* coverage = nullptr;
    std::atomic<int> calls{0};
    unsigned argument = ~0u;
    unsigned finishedSeen = 0;
};

unsigned logicalThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

}  // namespace

// init() sets the worker count (the logical threads for 0 or less) on the one pool, which then
// runs every index of a task exactly once on its own threads, whatever the count.
TEST(TaskScheduler, RunsEveryIndexExactlyOnceOnThePoolsThreads) {
    const unsigned logical = logicalThreads();
    EXPECT_EQ(sys::getNumberOfLogicalThreads(), int(logical));
    TaskScheduler* scheduler = TaskScheduler::getInstance();
    const std::pair<int, unsigned> inits[] = {{1, 1},        {2, 2},       {3, 3},
                                              {-1, logical}, {0, logical}, {-7, logical}};
    for (const auto& [requested, expected] : inits) {
        TaskScheduler::init(requested);
        EXPECT_EQ(TaskScheduler::getInstance(), scheduler);
        ASSERT_EQ(scheduler->getNumThreads(), expected) << "init(" << requested << ")";
        ThreadLog log;
        for (unsigned count :
             {1u, expected - 1, expected, expected + 1, 7 * expected + 3, 100000u}) {
            if (count == 0) continue;
            Coverage coverage(count);
            scheduler->addTask(Coverage::run, &coverage, count, nullptr, nullptr);
            scheduler->addTask(ThreadLog::run, &log, 50, nullptr, nullptr);
            scheduler->go();
            EXPECT_TRUE(coverage.exact()) << "init(" << requested << "), count " << count;
        }
        EXPECT_LE(log.ids.size(), expected) << "init(" << requested << ")";
        EXPECT_EQ(log.ids.count(std::this_thread::get_id()), 0u);
    }
}

// Several tasks in one go(), each with its completion, which runs once after all its indices
// have returned; go() with nothing queued, tasks without a function and tasks of no indices.
TEST(TaskScheduler, SeveralTasksAndTheirCompletions) {
    TaskScheduler::init(2);
    TaskScheduler* scheduler = TaskScheduler::getInstance();
    scheduler->go();  // nothing queued: returns at once

    Coverage big(5000), small(2), one(1);
    Completion bigDone, smallDone, emptyDone, ignored;
    bigDone.coverage = &big;
    smallDone.coverage = &small;
    scheduler->addTask(Coverage::run, &big, big.count, Completion::done, &bigDone);
    scheduler->addTask(Coverage::run, &small, small.count, Completion::done, &smallDone);
    scheduler->addTask(Coverage::run, &one, one.count, nullptr, nullptr);
    scheduler->addTask(Coverage::run, nullptr, 0, Completion::done, &emptyDone);
    scheduler->addTask(nullptr, nullptr, 5, Completion::done, &ignored);  // ignored, completion too
    scheduler->go();

    EXPECT_TRUE(big.exact());
    EXPECT_TRUE(small.exact());
    EXPECT_TRUE(one.exact());
    EXPECT_EQ(bigDone.calls.load(), 1);
    EXPECT_EQ(bigDone.argument, 5000u);
    EXPECT_EQ(bigDone.finishedSeen, 5000u);  // every index had returned when it ran
    EXPECT_EQ(smallDone.finishedSeen, 2u);
    // A task of no indices is complete at once.
    EXPECT_EQ(emptyDone.calls.load(), 1);
    EXPECT_EQ(ignored.calls.load(), 0);

    // Tasks and completions were consumed: a second go() runs nothing again.
    scheduler->go();
    EXPECT_TRUE(big.exact());
    EXPECT_EQ(bigDone.calls.load(), 1);
}

namespace {
struct IdCheck {
    static void run(unsigned index, void* data, unsigned count) {
        IdCheck& c = *static_cast<IdCheck*>(data);
        sys::setThreadID(index + 100);
        // With two tasks both have set their id before either reads it back.
        if (count == 2 && !ovotest::rendezvous(c.arrived, 2)) c.missed.fetch_add(1);
        for (int i = 0; i < 200; ++i) {
            if (sys::getThreadID() != index + 100) c.wrong.fetch_add(1);
            if (i % 50 == 0) std::this_thread::yield();
        }
    }
    std::atomic<int> arrived{0};
    std::atomic<int> wrong{0};
    std::atomic<int> missed{0};
};
}  // namespace

TEST(TaskScheduler, ThreadIdsStayPerThread) {
    EXPECT_EQ(sys::getThreadID(), 0u);
    unsigned fresh = 1;
    std::thread([&] { fresh = sys::getThreadID(); }).join();
    EXPECT_EQ(fresh, 0u);

    TaskScheduler::init(2);
    TaskScheduler* scheduler = TaskScheduler::getInstance();
    sys::setThreadID(7);

    IdCheck pair;
    scheduler->addTask(IdCheck::run, &pair, 2, nullptr, nullptr);
    scheduler->go();
    EXPECT_EQ(pair.missed.load(), 0);
    EXPECT_EQ(pair.wrong.load(), 0);

    // The tasks' ids did not leak into the caller.
    EXPECT_EQ(sys::getThreadID(), 7u);
    sys::setThreadID(0);
}

namespace {
struct Nested {
    static void outer(unsigned index, void* data, unsigned) {
        Nested& n = *static_cast<Nested*>(data);
        Coverage& inner = *n.inner[index];
        TaskScheduler* scheduler = TaskScheduler::getInstance();
        scheduler->addTask(Coverage::run, &inner, inner.count, nullptr, nullptr);
        scheduler->go();
        // go() inside a task returns only when what this task queued has run.
        if (!inner.exact()) n.early.fetch_add(1);
    }
    std::vector<std::unique_ptr<Coverage>> inner;
    std::atomic<int> early{0};
};

struct Thrower {
    static void run(unsigned index, void* data, unsigned count) {
        Coverage::run(index, data, count);
        if (index == 13) throw std::runtime_error("task 13 failed");
    }
};

// Two tasks queue work at the same time; each one's go() must run its own queue. Inner task 1
// only proceeds on the thread of outer task 1 (or once that task has looked), so a go() that
// took the neighbour's work would leave it unfinished when the neighbour's go() returns.
struct OwnQueues {
    static void inner0(unsigned, void* data, unsigned) {
        static_cast<OwnQueues*>(data)->inner0Ran = true;
    }
    static void inner1(unsigned, void* data, unsigned) {
        OwnQueues& q = *static_cast<OwnQueues*>(data);
        if (std::this_thread::get_id() != q.outer1Thread.load()) {
            const auto deadline = std::chrono::steady_clock::now() + ovotest::meetTimeout;
            while (!q.checked.load() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
        }
        q.inner1Ran = true;
    }
    static void outer(unsigned index, void* data, unsigned) {
        OwnQueues& q = *static_cast<OwnQueues*>(data);
        TaskScheduler* scheduler = TaskScheduler::getInstance();
        if (index == 1) q.outer1Thread = std::this_thread::get_id();
        scheduler->addTask(index == 0 ? inner0 : inner1, data, 1, nullptr, nullptr);
        if (!ovotest::rendezvous(q.arrived, 2)) q.missed = true;
        if (index == 1) {
            // Let task 0's go() start first.
            const auto deadline = std::chrono::steady_clock::now() + ovotest::meetTimeout;
            while (!q.inner0Ran.load() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
        }
        scheduler->go();
        if (index == 1) {
            q.inner1DoneAtReturn = q.inner1Ran.load();
            q.checked = true;
        }
    }
    std::atomic<int> arrived{0};
    std::atomic<std::thread::id> outer1Thread{};
    std::atomic<bool> inner0Ran{false}, inner1Ran{false}, checked{false};
    bool missed = false;
    bool inner1DoneAtReturn = false;
};

// A go() inside a task reports the failures of what it ran to that task.
struct NestedThrow {
    static void outer(unsigned, void* data, unsigned) {
        NestedThrow& n = *static_cast<NestedThrow*>(data);
        TaskScheduler* scheduler = TaskScheduler::getInstance();
        scheduler->addTask(Thrower::run, &n.inner, n.inner.count, nullptr, nullptr);
        try {
            scheduler->go();
        } catch (const std::runtime_error&) {
            n.caught = true;
        }
    }
    Coverage inner{20};
    bool caught = false;
};

struct Resizer {
    static void run(unsigned index, void* data, unsigned count) {
        if (index == 0) TaskScheduler::init(1);
        Coverage::run(index, data, count);
    }
};

}  // namespace

TEST(TaskScheduler, GoAndInitFromInsideATaskDoNotDeadlock) {
    for (int threads : {2, 1}) {
        TaskScheduler::init(threads);
        TaskScheduler* scheduler = TaskScheduler::getInstance();
        Nested nested;
        for (int i = 0; i < 8; ++i) nested.inner.emplace_back(new Coverage(40 + i));
        scheduler->addTask(Nested::outer, &nested, 8, nullptr, nullptr);
        scheduler->go();
        EXPECT_EQ(nested.early.load(), 0) << threads << " workers";
        for (auto& inner : nested.inner) EXPECT_TRUE(inner->exact());
    }

    TaskScheduler::init(2);
    OwnQueues queues;
    TaskScheduler::getInstance()->addTask(OwnQueues::outer, &queues, 2, nullptr, nullptr);
    TaskScheduler::getInstance()->go();
    EXPECT_FALSE(queues.missed);
    EXPECT_TRUE(queues.inner1DoneAtReturn);

    NestedThrow nestedThrow;
    TaskScheduler::getInstance()->addTask(NestedThrow::outer, &nestedThrow, 1, nullptr, nullptr);
    TaskScheduler::getInstance()->go();
    EXPECT_TRUE(nestedThrow.caught);
    EXPECT_TRUE(nestedThrow.inner.exact());

    // init from a task waits for the running go() and then applies.
    TaskScheduler::init(2);
    TaskScheduler* scheduler = TaskScheduler::getInstance();
    Coverage coverage(200);
    scheduler->addTask(Resizer::run, &coverage, coverage.count, nullptr, nullptr);
    scheduler->go();
    EXPECT_TRUE(coverage.exact());
    EXPECT_EQ(scheduler->getNumThreads(), 1u);
    ThreadLog log;
    scheduler->addTask(ThreadLog::run, &log, 30, nullptr, nullptr);
    scheduler->go();
    EXPECT_EQ(log.ids.size(), 1u);
}

TEST(TaskScheduler, ExceptionReachesGoAfterTheOtherIndices) {
    TaskScheduler::init(2);
    TaskScheduler* scheduler = TaskScheduler::getInstance();
    Coverage coverage(100);
    Completion done;
    done.coverage = &coverage;
    scheduler->addTask(Thrower::run, &coverage, coverage.count, Completion::done, &done);
    try {
        scheduler->go();
        ADD_FAILURE() << "go() swallowed the exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "task 13 failed");
    }
    EXPECT_TRUE(coverage.exact());
    EXPECT_EQ(done.calls.load(), 1);
}

TEST(TaskScheduler, GoFromSeveralThreadsWaitsForEachCallersTasks) {
    TaskScheduler::init(2);
    TaskScheduler* scheduler = TaskScheduler::getInstance();
    constexpr int hosts = 4, rounds = 40;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int h = 0; h < hosts; ++h) {
        threads.emplace_back([&, h] {
            for (int r = 0; r < rounds; ++r) {
                Coverage coverage(17 + unsigned(h));
                scheduler->addTask(Coverage::run, &coverage, coverage.count, nullptr, nullptr);
                scheduler->go();
                if (!coverage.exact()) failures.fetch_add(1);
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
}

namespace {
// Made before the scheduler, so destroyed after its workers were joined at exit.
struct LateUser {
    ~LateUser() {
        Coverage coverage(64);
        ThreadLog log;
        TaskScheduler* scheduler = TaskScheduler::getInstance();
        scheduler->addTask(Coverage::run, &coverage, coverage.count, nullptr, nullptr);
        scheduler->addTask(ThreadLog::run, &log, 8, nullptr, nullptr);
        scheduler->go();
        // The workers are gone, so the work ran here; the count the caches sized for stays.
        const bool inlineHere = log.ids.size() == 1 && log.ids.count(std::this_thread::get_id());
        std::_Exit(coverage.exact() && inlineHere && scheduler->getNumThreads() == 2 ? 0 : 3);
    }
};
}  // namespace

TEST(TaskSchedulerDeathTest, AtExitThePoolStopsAndLaterUseRunsInline) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static LateUser user;
            TaskScheduler::init(2);
            Coverage coverage(10);
            TaskScheduler::getInstance()->addTask(Coverage::run, &coverage, 10, nullptr, nullptr);
            TaskScheduler::getInstance()->go();
            std::exit(coverage.exact() ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "");
}
