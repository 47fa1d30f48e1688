#include "platform/exclusion.h"

#include "platform/thread.h"

namespace Tamber {

bool TeardownExclusion::Enter(bool insideCallback) {
    const uint32_t self = CurrentThreadId();
    std::unique_lock<std::mutex> lock(lock_);
    if (owner_ == self) {
        ++depth_;
        return true;
    }
    if (owner_ != 0) {
        if (insideCallback) return false;
        released_.wait(lock, [this] { return owner_ == 0; });
    }
    owner_ = self;
    depth_ = 1;
    keptPastCallback_ = false;
    return true;
}

void TeardownExclusion::Leave(bool insideCallback) {
    std::unique_lock<std::mutex> lock(lock_);
    if (--depth_ > 0) return;
    if (insideCallback)
        keptPastCallback_ = true;
    else
        Release(lock);
}

void TeardownExclusion::CallbacksLeft() {
    std::unique_lock<std::mutex> lock(lock_);
    if (owner_ == CurrentThreadId() && depth_ == 0 && keptPastCallback_) Release(lock);
}

void TeardownExclusion::Release(std::unique_lock<std::mutex>& lock) {
    owner_ = 0;
    keptPastCallback_ = false;
    lock.unlock();
    released_.notify_all();
}

}  // namespace Tamber
