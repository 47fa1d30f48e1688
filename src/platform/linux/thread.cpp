#include "platform/thread.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Tamber {

struct Thread::Native {
    pthread_t handle;
};

namespace {

void* Trampoline(void* argument) {
    Thread::Run(static_cast<Thread*>(argument));
    return nullptr;
}

}  // namespace

bool Thread::StartNative(Thread* thread) {
    auto* native = new Native();
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    // Detached: Join waits for the start function, and nothing reaps the thread later.
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    const int result = pthread_create(&native->handle, &attributes, Trampoline, thread);
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        delete native;
        return false;
    }
    thread->native_ = native;
    return true;
}

void Thread::ReleaseNative(Thread* thread) {
    delete thread->native_;
    thread->native_ = nullptr;
}

// Asked twice for every message sent (the send lock checks its owner): the
// system call is made once per thread.
uint32_t CurrentThreadId() {
    thread_local const uint32_t id = static_cast<uint32_t>(syscall(SYS_gettid));
    return id;
}

}  // namespace Tamber
