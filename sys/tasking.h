// Tasking services: a persistent worker pool, a spinning mutex, a reader/writer mutex and a
// per-thread number. The render loop runs one task per worker and the GI caches use the locks.
#pragma once

#include <atomic>
#include <cstdint>
#include <pthread.h>

namespace sys {

// Logical processors of this machine, at least 1.
int getNumberOfLogicalThreads();

// A number private to the calling thread, 0 until set. Render tasks set it to their task index so
// the shading code can pick a per-thread slot.
void setThreadID(unsigned id);
unsigned getThreadID();

class TaskScheduler {
  public:
    typedef void (*TaskFunction)(unsigned index, void* data, unsigned count);
    // Receives the task's count and its own data pointer.
    typedef void (*CompletionFunction)(unsigned count, void* data);

    // -1 or 0 (or any negative value) asks for one worker per logical thread; n > 0 for n workers.
    // Waits until no go() is running, then rebuilds the pool if the count changes. Called from
    // inside a task, the change is applied when the running go() has finished.
    static void init(int threads);
    // The process-wide scheduler; made with one worker per logical thread if init was not called.
    static TaskScheduler* getInstance();

    unsigned getNumThreads() const;

    // Queues run(i, data, count) for every i in 0..count-1, then complete(count, completeData)
    // once all of them have returned (complete may be null). A null run is ignored.
    void addTask(TaskFunction run, void* data, unsigned count, CompletionFunction complete,
                 void* completeData);
    // Runs everything queued since the last go() on the workers and returns when all of it,
    // completions included, has finished. The calling thread only waits. Called from inside a
    // task it runs the tasks queued by that same thread inline instead of deadlocking the pool.
    // Concurrent calls from several threads take turns. The first exception thrown by a task is
    // rethrown here after the rest has finished.
    void go();

    TaskScheduler(const TaskScheduler&) = delete;
    TaskScheduler& operator=(const TaskScheduler&) = delete;

  private:
    struct Pool;
    static TaskScheduler* instance(int threads, bool resize);
    explicit TaskScheduler(Pool* pool) : pool(pool) {}
    // The scheduler is never destroyed: its workers are joined at exit and any later use runs
    // inline, so static destructors elsewhere may still call it safely.
    ~TaskScheduler() = default;

    Pool* pool;
};

// A one-word lock for short critical sections: 0 when free, 1 when held.
class ActiveMutex {
  public:
    ActiveMutex(uint32_t value = 0) : word(value) {}
    ActiveMutex(const ActiveMutex&) = delete;
    ActiveMutex& operator=(const ActiveMutex&) = delete;

    // Returns once the caller holds the lock: spins briefly, then yields the processor.
    void lock() {
        if (!tryLock()) lockContended();
    }
    bool tryLock() {
        uint32_t expected = 0;
        return word.load(std::memory_order_relaxed) == 0 &&
               word.compare_exchange_strong(expected, 1, std::memory_order_acquire,
                                            std::memory_order_relaxed);
    }
    void unlock() { word.store(0, std::memory_order_release); }

  private:
    void lockContended();

    std::atomic<uint32_t> word;
};

enum RWMutexLockType { RWMutexRead = 0, RWMutexWrite = 1 };

// Many readers or one writer. A waiting writer holds back new readers, so an insertion gets
// through while other threads keep reading; a thread must therefore not take the read lock twice.
class RWMutex {
  public:
    RWMutex();
    ~RWMutex();
    RWMutex(const RWMutex&) = delete;
    RWMutex& operator=(const RWMutex&) = delete;

    void lockRead();
    void unlockRead();
    void lockWrite();
    void unlockWrite();

  private:
    pthread_rwlock_t lock;
};

// Holds an RWMutex for its lifetime. Any type other than RWMutexRead locks exclusively: a bad
// value then costs concurrency, never correctness.
class RWMutexLock {
  public:
    RWMutexLock(RWMutex& mutex, RWMutexLockType type) : mutex(mutex), write(type != RWMutexRead) {
        if (write)
            mutex.lockWrite();
        else
            mutex.lockRead();
    }
    ~RWMutexLock() {
        if (write)
            mutex.unlockWrite();
        else
            mutex.unlockRead();
    }
    RWMutexLock(const RWMutexLock&) = delete;
    RWMutexLock& operator=(const RWMutexLock&) = delete;

  private:
    RWMutex& mutex;
    bool write;
};

}  // namespace sys
