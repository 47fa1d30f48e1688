#include "platform/thread.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace Tamber {

namespace {

// Abandoned threads that have not yet returned from their start functions;
// each record lives until its thread has taken itself off this list.
std::mutex g_abandonedLock;
std::condition_variable g_abandonedGone;
std::vector<const Thread*> g_abandoned;

}  // namespace

std::shared_ptr<Thread> Thread::Create(StartFunction startFunction, void* startArgument) {
    std::shared_ptr<Thread> thread(new Thread());
    thread->startFunction_ = startFunction;
    thread->startArgument_ = startArgument;
    // The running thread keeps its own record alive until its function returns.
    thread->self_ = thread;
    if (!StartNative(thread.get())) {
        thread->self_.reset();
        return nullptr;
    }
    return thread;
}

void Thread::Run(Thread* thread) {
    thread->id_.store(CurrentThreadId());
    thread->startFunction_(thread->startArgument_);
    // Take the self reference out first: the record may die with it, after
    // the joiners have been told.
    std::shared_ptr<Thread> self = std::move(thread->self_);
    bool abandoned = false;
    {
        std::lock_guard<std::mutex> guard(thread->finishedLock_);
        thread->finished_.store(true);
        abandoned = thread->abandoned_;
    }
    thread->finishedSignal_.notify_all();
    if (abandoned) {
        std::lock_guard<std::mutex> guard(g_abandonedLock);
        g_abandoned.erase(std::find(g_abandoned.begin(), g_abandoned.end(), thread));
        g_abandonedGone.notify_all();
    }
}

void Thread::Abandon() {
    std::lock_guard<std::mutex> guard(finishedLock_);
    if (finished_.load() || abandoned_) return;
    abandoned_ = true;
    std::lock_guard<std::mutex> listed(g_abandonedLock);
    g_abandoned.push_back(this);
}

void WaitForAbandonedThreads() {
    std::unique_lock<std::mutex> lock(g_abandonedLock);
    // The caller may be one of them (a callback that removed its owner, then
    // the library): it cannot wait for its own return.
    g_abandonedGone.wait(lock, [] {
        return std::all_of(g_abandoned.begin(), g_abandoned.end(), [](const Thread* t) { return t->IsCurrent(); });
    });
}

WaitOutcome Thread::Join(uint32_t ms) {
    std::unique_lock<std::mutex> lock(finishedLock_);
    auto done = [this] { return finished_.load(); };
    if (ms == kWaitForever)
        finishedSignal_.wait(lock, done);
    else
        finishedSignal_.wait_for(lock, std::chrono::milliseconds(ms), done);
    return finished_.load() ? WaitOutcome::kDone : WaitOutcome::kTimedOut;
}

Thread::~Thread() { ReleaseNative(this); }

std::shared_ptr<Mutex> Mutex::Create() { return std::make_shared<Mutex>(); }

void Mutex::Lock() {
    const uint32_t self = CurrentThreadId();
    if (owner_.load() == self) FatalLockMisuse("Tamber::Mutex locked twice by the same thread");
    section_.lock();
    owner_.store(self);
}

void Mutex::Unlock() {
    if (owner_.load() != CurrentThreadId()) FatalLockMisuse("Tamber::Mutex released by a thread that does not hold it");
    owner_.exchange(0);
    section_.unlock();
}

void FatalLockMisuse(const char* what) {
    std::fprintf(stderr, "fatal: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

}  // namespace Tamber
