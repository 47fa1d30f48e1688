// The portable part of ProcessHandle: ownership moves, and the handle closes
// with its object. Opening, waiting and ending are the platform's.
#include "platform/process.h"

namespace Tamber {

ProcessHandle::~ProcessHandle() { Close(); }

ProcessHandle::ProcessHandle(ProcessHandle&& other) noexcept : native_(other.native_), id_(other.id_) {
    other.native_ = kNone;
    other.id_ = 0;
}

ProcessHandle& ProcessHandle::operator=(ProcessHandle&& other) noexcept {
    if (this != &other) {
        Close();
        native_ = other.native_;
        id_ = other.id_;
        other.native_ = kNone;
        other.id_ = 0;
    }
    return *this;
}

}  // namespace Tamber
