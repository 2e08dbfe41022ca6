#include "sys/tasking.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace sys {

namespace {

thread_local unsigned threadID = 0;
// True on pool workers, and on any thread while it runs tasks inline. Such a thread must not
// wait for the pool, which may be waiting for it.
thread_local bool runningTasks = false;
// Its address names the calling thread among queued tasks.
thread_local char threadToken;

// Far beyond any useful render thread count; keeps a typo from exhausting the process.
constexpr unsigned maxWorkers = 1024;

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}

unsigned workerCount(int threads) {
    if (threads <= 0) return unsigned(getNumberOfLogicalThreads());
    return std::min(unsigned(threads), maxWorkers);
}

struct TaskEntry {
    TaskScheduler::TaskFunction run;
    void* data;
    unsigned count;
    TaskScheduler::CompletionFunction complete;
    void* completeData;
    const void* owner;  // the thread that queued it
    uint64_t end;       // one past this task's last item in the batch's flat numbering
};

// The tasks of one go(). Items are numbered 0..total-1 across all tasks and claimed in chunks
// from `next`, so uneven task lengths balance themselves.
struct Batch {
    const TaskEntry* tasks = nullptr;
    std::atomic<unsigned>* remaining = nullptr;  // per task: items not yet returned
    uint64_t total = 0;
    // Items claimed at once: 1 while there are few (a render task runs for seconds), larger for
    // many tiny items so the workers do not queue on `next`; about eight claims per worker.
    uint64_t chunk = 1;
    std::atomic<uint64_t> next{0};
    unsigned attached = 0;  // workers inside run(); guarded by the pool mutex

    std::mutex errorMutex;
    std::exception_ptr error;

    void fail() {
        std::lock_guard<std::mutex> lock(errorMutex);
        if (!error) error = std::current_exception();
    }

    void complete(const TaskEntry& task) {
        if (!task.complete) return;
        try {
            task.complete(task.count, task.completeData);
        } catch (...) {
            fail();
        }
    }

    void run() {
        size_t t = 0;  // chunks are claimed in increasing order, so the task cursor only advances
        for (;;) {
            const uint64_t first = next.fetch_add(chunk, std::memory_order_relaxed);
            if (first >= total) return;
            const uint64_t last = std::min(first + chunk, total);
            for (uint64_t item = first; item < last;) {
                while (item >= tasks[t].end) ++t;
                const TaskEntry& task = tasks[t];
                const uint64_t stop = std::min(last, task.end);
                const unsigned ran = unsigned(stop - item);
                for (; item < stop; ++item) {
                    try {
                        task.run(unsigned(item - (task.end - task.count)), task.data, task.count);
                    } catch (...) {
                        fail();
                    }
                }
                // acq_rel: the last finisher sees every other item's effects before completing.
                if (remaining[t].fetch_sub(ran, std::memory_order_acq_rel) == ran) complete(task);
            }
        }
    }

    void runInline() {
        const bool was = runningTasks;
        runningTasks = true;
        run();
        runningTasks = was;
    }
};

}  // namespace

struct TaskScheduler::Pool {
    explicit Pool(unsigned threads) { start(threads); }

    unsigned numThreads() const { return threads.load(std::memory_order_acquire); }

    void add(const TaskEntry& task) {
        std::lock_guard<std::mutex> lock(mutex);
        pending.push_back(task);
    }

    void go() {
        if (runningTasks) {
            // A task waiting for the pool it occupies would deadlock: run inline.
            rethrow(runQueued(true));
            return;
        }
        std::lock_guard<std::mutex> serial(goMutex);
        std::exception_ptr error = runQueued(false);
        unsigned deferred;
        {
            std::lock_guard<std::mutex> lock(mutex);
            deferred = deferredThreads;
            deferredThreads = 0;
        }
        if (deferred) resize(deferred);
        rethrow(error);
    }

    void requestThreads(unsigned n) {
        if (runningTasks) {
            std::lock_guard<std::mutex> lock(mutex);
            deferredThreads = n;
            return;
        }
        std::lock_guard<std::mutex> serial(goMutex);
        resize(n);
    }

    // Joins the workers at process exit; later calls run inline.
    void shutdown() {
        // exit() called from a task: a worker cannot join itself, so leave the pool to the
        // process teardown.
        if (runningTasks) return;
        std::lock_guard<std::mutex> serial(goMutex);
        stop();
        closed = true;
    }

  private:
    static void rethrow(const std::exception_ptr& error) {
        if (error) std::rethrow_exception(error);
    }

    std::exception_ptr runQueued(bool inlineOnly) {
        std::vector<TaskEntry> tasks;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!inlineOnly) {
                tasks.swap(pending);
            } else {
                // A task's go() runs what that task queued; its neighbours run their own.
                auto mine = std::stable_partition(
                    pending.begin(), pending.end(),
                    [](const TaskEntry& task) { return task.owner != &threadToken; });
                tasks.assign(mine, pending.end());
                pending.erase(mine, pending.end());
            }
        }
        if (tasks.empty()) return nullptr;

        Batch batch;
        std::unique_ptr<std::atomic<unsigned>[]> remaining(new std::atomic<unsigned>[tasks.size()]);
        for (size_t i = 0; i < tasks.size(); ++i) {
            batch.total += tasks[i].count;
            tasks[i].end = batch.total;
            remaining[i].store(tasks[i].count, std::memory_order_relaxed);
        }
        batch.chunk = std::max<uint64_t>(1, batch.total / (8 * uint64_t(numThreads())));
        batch.tasks = tasks.data();
        batch.remaining = remaining.get();

        // A task with no items is finished as soon as it starts.
        for (const TaskEntry& task : tasks)
            if (task.count == 0) batch.complete(task);

        if (batch.total > 0) {
            if (inlineOnly || workers.empty())
                batch.runInline();
            else
                dispatch(batch);
        }
        return batch.error;
    }

    void dispatch(Batch& batch) {
        std::unique_lock<std::mutex> lock(mutex);
        current = &batch;
        ++generation;
        wake.notify_all();
        // A worker leaves the batch only after failing to claim an item, so once none is inside
        // and every item is claimed, every item has returned.
        done.wait(lock, [&] {
            return batch.attached == 0 && batch.next.load(std::memory_order_relaxed) >= batch.total;
        });
        current = nullptr;
    }

    void workerLoop(uint64_t seen) {
        runningTasks = true;
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return stopping || generation != seen; });
            if (stopping) return;
            seen = generation;
            Batch* batch = current;
            if (!batch) continue;  // woke after that batch had already finished
            ++batch->attached;
            lock.unlock();
            batch->run();
            lock.lock();
            if (--batch->attached == 0) done.notify_all();
        }
    }

    // The caller holds goMutex, so no batch is running.
    void resize(unsigned n) {
        if (n == numThreads() && (closed || workers.size() == n)) return;
        stop();
        start(n);
    }

    void start(unsigned n) {
        if (closed) {
            threads.store(n, std::memory_order_release);
            return;
        }
        uint64_t seen;
        {
            std::lock_guard<std::mutex> lock(mutex);
            seen = generation;
        }
        workers.reserve(n);
        for (unsigned i = 0; i < n; ++i) {
            try {
                workers.emplace_back(&Pool::workerLoop, this, seen);
            } catch (const std::system_error&) {
                break;  // out of threads: run with what we got
            }
        }
        // With no worker at all go() runs inline, which is one thread's worth of work.
        threads.store(workers.empty() ? 1u : unsigned(workers.size()), std::memory_order_release);
    }

    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        for (std::thread& worker : workers) worker.join();
        workers.clear();
        std::lock_guard<std::mutex> lock(mutex);
        stopping = false;
    }

    std::mutex goMutex;  // one go(), init or shutdown at a time; also guards workers and closed
    std::vector<std::thread> workers;
    bool closed = false;
    std::atomic<unsigned> threads{0};

    std::mutex mutex;  // guards everything below
    std::condition_variable wake;
    std::condition_variable done;
    std::vector<TaskEntry> pending;
    Batch* current = nullptr;
    uint64_t generation = 0;
    bool stopping = false;
    unsigned deferredThreads = 0;  // a count asked for from inside a task; 0 for none
};

namespace {
std::atomic<TaskScheduler*> theScheduler{nullptr};
std::mutex schedulerMutex;
}  // namespace

TaskScheduler* TaskScheduler::instance(int threads, bool resize) {
    TaskScheduler* scheduler = theScheduler.load(std::memory_order_acquire);
    if (!scheduler) {
        std::lock_guard<std::mutex> lock(schedulerMutex);
        scheduler = theScheduler.load(std::memory_order_relaxed);
        if (!scheduler) {
            scheduler = new TaskScheduler(new Pool(workerCount(threads)));
            theScheduler.store(scheduler, std::memory_order_release);
            // Made after the scheduler, so destroyed before anything that existed earlier and
            // may still use it from its own destructor (which then runs inline).
            struct Reaper {
                ~Reaper() { theScheduler.load(std::memory_order_acquire)->pool->shutdown(); }
            };
            static Reaper reaper;
            return scheduler;
        }
    }
    if (resize) scheduler->pool->requestThreads(workerCount(threads));
    return scheduler;
}

void TaskScheduler::init(int threads) { instance(threads, true); }

TaskScheduler* TaskScheduler::getInstance() { return instance(-1, false); }

unsigned TaskScheduler::getNumThreads() const { return pool->numThreads(); }

void TaskScheduler::addTask(TaskFunction run, void* data, unsigned count,
                            CompletionFunction complete, void* completeData) {
    if (!run) return;
    pool->add(TaskEntry{run, data, count, complete, completeData, &threadToken, 0});
}

void TaskScheduler::go() { pool->go(); }

int getNumberOfLogicalThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : int(std::min(n, unsigned(INT_MAX)));
}

void setThreadID(unsigned id) { threadID = id; }

unsigned getThreadID() { return threadID; }

void ActiveMutex::lockContended() {
    // Critical sections are a few list operations: spin a little, then give the core away so a
    // preempted holder can finish (the machine may have fewer cores than workers).
    for (unsigned spins = 0;; ++spins) {
        if (tryLock()) return;
        if (spins < 64)
            cpuRelax();
        else
            std::this_thread::yield();
    }
}

RWMutex::RWMutex() {
    pthread_rwlockattr_t attributes;
    pthread_rwlockattr_init(&attributes);
    // The default kind prefers readers, and constant lookups can then starve an insertion.
    pthread_rwlockattr_setkind_np(&attributes, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
    pthread_rwlock_init(&lock, &attributes);
    pthread_rwlockattr_destroy(&attributes);
}

RWMutex::~RWMutex() { pthread_rwlock_destroy(&lock); }

void RWMutex::lockRead() { pthread_rwlock_rdlock(&lock); }

void RWMutex::unlockRead() { pthread_rwlock_unlock(&lock); }

void RWMutex::lockWrite() { pthread_rwlock_wrlock(&lock); }

void RWMutex::unlockWrite() { pthread_rwlock_unlock(&lock); }

}  // namespace sys
