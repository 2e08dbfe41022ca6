#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

#include "tests/sys/rendezvous.h"

using sys::TaskScheduler;
using namespace ovotest;

namespace {

// Per-index bookkeeping of one task.
struct Coverage {
    explicit Coverage(unsigned count) : count(count), hits(count), written(count, 0), by(count) {}
    static void run(unsigned index, void* data, unsigned count) {
        Coverage& c = *static_cast<Coverage*>(data);
        if (count != c.count || index >= c.count) return void(c.bad = true);
        c.hits[index].fetch_add(1);
        c.written[index] = 3 * index + 1;  // plain stores: go() must publish them
        c.by[index] = std::this_thread::get_id();
        c.finished.fetch_add(1);
    }
    // Every index ran exactly once and its plain write is visible.
    bool exact() const {
        for (unsigned i = 0; i < count; ++i)
            if (hits[i].load() != 1 || written[i] != 3 * i + 1) return false;
        return !bad;
    }
    // The distinct threads that ran it.
    std::set<std::thread::id> threads() const { return {by.begin(), by.end()}; }
    unsigned count;
    std::vector<std::atomic<int>> hits;
    std::vector<unsigned> written;
    std::vector<std::thread::id> by;
    std::atomic<unsigned> finished{0};
    std::atomic<bool> bad{false};
};

struct Completion {
    explicit Completion(Coverage* coverage = nullptr) : coverage(coverage) {}
    static void done(unsigned count, void* data) {
        Completion& c = *static_cast<Completion*>(data);
        c.calls.fetch_add(1);
        c.argument = count;
        c.finishedSeen = c.coverage ? c.coverage->finished.load() : 0;
    }
    Coverage* coverage;
    std::atomic<int> calls{0};
    unsigned argument = ~0u, finishedSeen = 0;
};

void throwAt13(unsigned index, void* data, unsigned count) {
    Coverage::run(index, data, count);
    if (index == 13) throw std::runtime_error("task 13 failed");
}

void queue(TaskScheduler::TaskFunction run, void* data, unsigned count) {
    TaskScheduler::getInstance()->addTask(run, data, count, nullptr, nullptr);
}

}  // namespace

// init() sets the worker count (the logical threads for 0 or less) on the one pool, which then
// runs every index of a task exactly once on its own threads, whatever the count.
TEST(TaskScheduler, RunsEveryIndexExactlyOnceOnThePoolsThreads) {
    const unsigned logical = std::max(1u, std::thread::hardware_concurrency());
    EXPECT_EQ(sys::getNumberOfLogicalThreads(), int(logical));
    TaskScheduler* scheduler = TaskScheduler::getInstance();
    const std::pair<int, unsigned> inits[] = {{1, 1},        {2, 2},       {3, 3},
                                              {-1, logical}, {0, logical}, {-7, logical}};
    for (const auto& [requested, expected] : inits) {
        SCOPED_TRACE(::testing::Message() << "init(" << requested << ")");
        TaskScheduler::init(requested);
        EXPECT_EQ(TaskScheduler::getInstance(), scheduler);
        ASSERT_EQ(scheduler->getNumThreads(), expected);
        std::set<std::thread::id> ids;
        for (unsigned count :
             {1u, expected - 1, expected, expected + 1, 7 * expected + 3, 100000u}) {
            if (count == 0) continue;
            Coverage coverage(count);
            queue(Coverage::run, &coverage, count);
            scheduler->go();
            EXPECT_TRUE(coverage.exact()) << "count " << count;
            for (std::thread::id id : coverage.by) ids.insert(id);
        }
        EXPECT_LE(ids.size(), expected);
        EXPECT_EQ(ids.count(std::this_thread::get_id()), 0u);
    }
}

// Several tasks in one go(), each with its completion, which runs once after all its indices
// have returned; go() with nothing queued, tasks without a function and tasks of no indices.
TEST(TaskScheduler, SeveralTasksAndTheirCompletions) {
    TaskScheduler::init(2);
    TaskScheduler* scheduler = TaskScheduler::getInstance();
    scheduler->go();  // nothing queued: returns at once
    Coverage big(5000), small(2), one(1);
    Completion bigDone(&big), smallDone(&small), emptyDone, ignored;
    scheduler->addTask(Coverage::run, &big, big.count, Completion::done, &bigDone);
    scheduler->addTask(Coverage::run, &small, small.count, Completion::done, &smallDone);
    queue(Coverage::run, &one, one.count);
    scheduler->addTask(Coverage::run, nullptr, 0, Completion::done, &emptyDone);
    scheduler->addTask(nullptr, nullptr, 5, Completion::done, &ignored);  // ignored, completion too
    scheduler->go();
    EXPECT_TRUE(big.exact() && small.exact() && one.exact());
    EXPECT_EQ(bigDone.calls.load(), 1);
    EXPECT_EQ(bigDone.argument, 5000u);
    EXPECT_EQ(bigDone.finishedSeen, 5000u);  // every index had returned when it ran
    EXPECT_EQ(smallDone.finishedSeen, 2u);
    EXPECT_EQ(emptyDone.calls.load(), 1);  // a task of no indices is complete at once
    EXPECT_EQ(ignored.calls.load(), 0);
    // Tasks and completions were consumed: a second go() runs nothing again.
    scheduler->go();
    EXPECT_TRUE(big.exact());
    EXPECT_EQ(bigDone.calls.load(), 1);
}

TEST(TaskScheduler, ThreadIdsStayPerThread) {
    EXPECT_EQ(sys::getThreadID(), 0u);
    unsigned fresh = 1;
    std::thread([&] { fresh = sys::getThreadID(); }).join();
    EXPECT_EQ(fresh, 0u);
    sys::setThreadID(7);
    struct Ids {
        std::atomic<int> arrived{0}, wrong{0};
    } ids;
    runOnPool(2, &ids, 2, [](unsigned index, void* data, unsigned) {
        Ids& c = *static_cast<Ids*>(data);
        sys::setThreadID(index + 100);
        // Both tasks have set their id before either reads it back.
        if (!rendezvous(c.arrived, 2)) c.wrong.fetch_add(1);
        for (int i = 0; i < 200; ++i) {
            if (sys::getThreadID() != index + 100) c.wrong.fetch_add(1);
            if (i % 50 == 0) std::this_thread::yield();
        }
    });
    EXPECT_EQ(ids.wrong.load(), 0);
    EXPECT_EQ(sys::getThreadID(), 7u);  // the tasks' ids did not leak into the caller
    sys::setThreadID(0);
}

namespace {
// Two tasks queue work at the same time; each one's go() must run its own queue. Inner task 1
// only proceeds on the thread of outer task 1 (or once that task has looked), so a go() that
// took the neighbour's work would leave it unfinished when the neighbour's go() returns.
struct OwnQueues {
    static void inner0(unsigned, void* data, unsigned) {
        static_cast<OwnQueues*>(data)->inner0Ran = true;
    }
    static void inner1(unsigned, void* data, unsigned) {
        OwnQueues& q = *static_cast<OwnQueues*>(data);
        if (std::this_thread::get_id() != q.outer1Thread.load())
            waitUntil([&] { return q.checked.load(); });
        q.inner1Ran = true;
    }
    static void outer(unsigned index, void* data, unsigned) {
        OwnQueues& q = *static_cast<OwnQueues*>(data);
        if (index == 1) q.outer1Thread = std::this_thread::get_id();
        queue(index == 0 ? inner0 : inner1, data, 1);
        if (!rendezvous(q.arrived, 2)) q.missed = true;
        if (index == 1) waitUntil([&] { return q.inner0Ran.load(); });  // task 0's go() first
        TaskScheduler::getInstance()->go();
        if (index == 1) {
            q.inner1DoneAtReturn = q.inner1Ran.load();
            q.checked = true;
        }
    }
    std::atomic<int> arrived{0};
    std::atomic<std::thread::id> outer1Thread{};
    std::atomic<bool> inner0Ran{false}, inner1Ran{false}, checked{false};
    bool missed = false, inner1DoneAtReturn = false;
};
}  // namespace

TEST(TaskScheduler, GoAndInitFromInsideATaskDoNotDeadlock) {
    // go() inside a task returns only when what this task queued has run.
    struct Nested {
        std::vector<std::unique_ptr<Coverage>> inner;
        std::atomic<int> early{0};
    };
    for (int threads : {2, 1}) {
        Nested nested;
        for (int i = 0; i < 8; ++i) nested.inner.emplace_back(new Coverage(40 + i));
        runOnPool(threads, &nested, 8, [](unsigned index, void* data, unsigned) {
            Nested& n = *static_cast<Nested*>(data);
            queue(Coverage::run, n.inner[index].get(), n.inner[index]->count);
            TaskScheduler::getInstance()->go();
            if (!n.inner[index]->exact()) n.early.fetch_add(1);
        });
        EXPECT_EQ(nested.early.load(), 0) << threads << " workers";
        for (auto& inner : nested.inner) EXPECT_TRUE(inner->exact());
    }

    OwnQueues queues;
    runOnPool(2, &queues, 2, OwnQueues::outer);
    EXPECT_FALSE(queues.missed);
    EXPECT_TRUE(queues.inner1DoneAtReturn);

    // init from a task waits for the running go() and then applies.
    Coverage coverage(200);
    runOnPool(2, &coverage, coverage.count, [](unsigned index, void* data, unsigned count) {
        if (index == 0) TaskScheduler::init(1);
        Coverage::run(index, data, count);
    });
    EXPECT_TRUE(coverage.exact());
    EXPECT_EQ(TaskScheduler::getInstance()->getNumThreads(), 1u);
    Coverage after(30);
    queue(Coverage::run, &after, after.count);
    TaskScheduler::getInstance()->go();
    EXPECT_TRUE(after.exact());
    EXPECT_EQ(after.threads().size(), 1u);
}

TEST(TaskScheduler, ExceptionReachesGoAfterTheOtherIndices) {
    TaskScheduler::init(2);
    Coverage coverage(100);
    Completion done(&coverage);
    TaskScheduler::getInstance()->addTask(throwAt13, &coverage, 100, Completion::done, &done);
    try {
        TaskScheduler::getInstance()->go();
        ADD_FAILURE() << "go() swallowed the exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "task 13 failed");
    }
    EXPECT_TRUE(coverage.exact());
    EXPECT_EQ(done.calls.load(), 1);

    // A go() inside a task reports the failures of what it ran to that task.
    struct NestedThrow {
        Coverage inner{20};
        bool caught = false;
    } nestedThrow;
    runOnPool(2, &nestedThrow, 1, [](unsigned, void* data, unsigned) {
        NestedThrow& n = *static_cast<NestedThrow*>(data);
        queue(throwAt13, &n.inner, n.inner.count);
        try {
            TaskScheduler::getInstance()->go();
        } catch (const std::runtime_error&) {
            n.caught = true;
        }
    });
    EXPECT_TRUE(nestedThrow.caught);
    EXPECT_TRUE(nestedThrow.inner.exact());
}

TEST(TaskScheduler, GoFromSeveralThreadsWaitsForEachCallersTasks) {
    TaskScheduler::init(2);
    std::atomic<int> failures{0};
    std::vector<std::thread> hosts;
    for (unsigned h = 0; h < 4; ++h) {
        hosts.emplace_back([&, h] {
            for (int round = 0; round < 40; ++round) {
                Coverage coverage(17 + h);
                queue(Coverage::run, &coverage, coverage.count);
                TaskScheduler::getInstance()->go();
                if (!coverage.exact()) failures.fetch_add(1);
            }
        });
    }
    for (std::thread& t : hosts) t.join();
    EXPECT_EQ(failures.load(), 0);
}

namespace {
// Made before the scheduler, so destroyed after its workers were joined at exit.
struct LateUser {
    ~LateUser() {
        Coverage coverage(64);
        queue(Coverage::run, &coverage, coverage.count);
        TaskScheduler::getInstance()->go();
        // The workers are gone, so the work ran here; the count the caches sized for stays.
        const bool inlineHere = coverage.threads() == std::set{std::this_thread::get_id()};
        const bool kept = TaskScheduler::getInstance()->getNumThreads() == 2;
        std::_Exit(coverage.exact() && inlineHere && kept ? 0 : 3);
    }
};
}  // namespace

TEST(TaskSchedulerDeathTest, AtExitThePoolStopsAndLaterUseRunsInline) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static LateUser user;
            Coverage coverage(10);
            runOnPool(2, &coverage, 10, Coverage::run);
            std::exit(coverage.exact() ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "");
}
