#include "platform/mutex.h"

namespace vn {

void ReleaseInstanceMutex(std::optional<InstanceMutex>& handle) {
  handle.reset();
}

InstanceMutex::InstanceMutex(InstanceMutex&& other) noexcept
    : handle_(other.handle_), file_(std::move(other.file_)) {
  other.handle_ = -1;
}

InstanceMutex& InstanceMutex::operator=(InstanceMutex&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = other.handle_;
    file_ = std::move(other.file_);
    other.handle_ = -1;
  }
  return *this;
}

InstanceMutex::~InstanceMutex() {
  Release();
}

}  // namespace vn
