// The instance semaphore: a named, process-visible object that exists while
// any holder lives. Windows: the named semaphore. Linux: an abstract-
// namespace Unix socket bound to the name, released when the holder closes
// it or dies.
#pragma once

#include <memory>
#include <string>

namespace Tamber {

class SharedMutex {
public:
    static constexpr const char* kName = "TAMBER_VANTOR_MUTEX";

    // Creates the named object. When another process already holds it, this
    // holder holds nothing and the caller carries on.
    static std::shared_ptr<SharedMutex> Create(const char* name = kName);
    ~SharedMutex();
    SharedMutex(const SharedMutex&) = delete;
    SharedMutex& operator=(const SharedMutex&) = delete;

    // True when this holder created the object (it owns the name).
    bool Holds() const { return handle_ != kNoHandle; }
    const std::string& Name() const { return name_; }

private:
    SharedMutex() = default;
    static constexpr long long kNoHandle = -1;
    long long handle_ = kNoHandle;  // semaphore handle or descriptor
    bool held_ = false;             // the create call returned a handle
    std::string name_;
};

}  // namespace Tamber
