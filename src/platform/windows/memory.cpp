#include "platform/memory.h"

#include <cstdlib>
#include <new>

namespace tessiva::platform {

// Large pages on Windows need a privilege that users do not hold, so a large buffer is
// heap memory like any other.
LargeBuffer::LargeBuffer(std::size_t size) : size_(size) {
  data_ = static_cast<char*>(std::malloc(size == 0 ? 1 : size));
  if (data_ == nullptr) throw std::bad_alloc();
}

void LargeBuffer::release() noexcept {
  std::free(data_);
  data_ = nullptr;
  size_ = 0;
}

}  // namespace tessiva::platform
