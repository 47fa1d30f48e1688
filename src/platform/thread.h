// Threads and the owner-checking mutex. Objects live on the heap behind
// std::shared_ptr (atomic counts); whoever drops the last owner cleans up.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <tuple>

#include "platform/wait.h"

namespace Tamber {

uint32_t CurrentThreadId();

class Thread {
public:
    using StartFunction = uint32_t (*)(void* argument);

    // A running thread, or an empty pointer when it could not start. The thread
    // holds its own reference until startFunction returns, so the record outlives
    // every outside owner while it runs.
    static std::shared_ptr<Thread> Create(StartFunction startFunction, void* startArgument);

    // Waits up to ms milliseconds (kWaitForever: no limit) for the start function
    // to return: kDone when it has, otherwise kTimedOut.
    WaitOutcome Join(uint32_t ms);
    // True on the thread itself: a wait for its own end would never finish.
    bool IsCurrent() const { return id_.load() == CurrentThreadId(); }
    // The owner stops waiting for the thread (it is the caller, or did not end
    // in time): WaitForAbandonedThreads waits for it instead.
    void Abandon();

    // The new thread's entry point, called by the platform part on that thread.
    static void Run(Thread* thread);

    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

private:
    Thread() = default;
    struct Native;  // the platform's thread handle

    // Platform part: start a thread that calls Run(thread); false when it failed.
    static bool StartNative(Thread* thread);
    static void ReleaseNative(Thread* thread);

    StartFunction startFunction_ = nullptr;
    void* startArgument_ = nullptr;
    std::atomic<uint32_t> id_{0};
    std::atomic<bool> finished_{false};
    bool abandoned_ = false;  // under finishedLock_
    std::mutex finishedLock_;
    std::condition_variable finishedSignal_;
    Native* native_ = nullptr;
    std::shared_ptr<Thread> self_;
};

// Waits without limit until every abandoned thread but the caller has returned
// from its start function: after that no other such thread runs the library's
// code but for its last return.
void WaitForAbandonedThreads();

// Not re-entrant. Locking a mutex the thread already holds, or unlocking one it
// does not hold, prints one line to stderr and aborts the process at once.
class Mutex {
public:
    static std::shared_ptr<Mutex> Create();
    void Lock();
    void Unlock();
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

private:
    std::atomic<uint32_t> owner_{0};
    std::mutex section_;
};

// Locks for its lifetime. Holds a plain reference: the caller keeps the mutex alive.
class ScopedLock {
public:
    explicit ScopedLock(const std::shared_ptr<Mutex>& mutex) : mutex_(*mutex) { mutex_.Lock(); }
    ~ScopedLock() { mutex_.Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Mutex& mutex_;
};

// Copies values (a host callback and its user data) under lock, so that the
// caller uses them without the lock: a callback may then block or set
// callbacks without holding up the threads that set or call others.
template <class... Values>
std::tuple<Values...> CopyUnderLock(std::mutex& lock, const Values&... values) {
    std::lock_guard<std::mutex> guard(lock);
    return std::tuple<Values...>(values...);
}

// Called on a fatal misuse of a Mutex: prints the line and aborts.
[[noreturn]] void FatalLockMisuse(const char* what);

}  // namespace Tamber
