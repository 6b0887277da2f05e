#pragma once
/// Memory for large buffers that live long and are touched whole, such as the request
/// frame buffer.

#include <cstddef>

namespace tessiva::platform {

/// A block of `size` bytes, not initialised. Move-only; frees the block when destroyed.
///
/// On Linux a block of 2 MiB or more is mapped on its own, aligned to 2 MiB, and its whole
/// 2 MiB blocks are offered to the kernel's transparent huge pages. A 16 MiB chunk frame
/// then takes 8 page faults instead of 4,096, and reading, scanning and decoding it
/// miss the TLB far less often. The tail that does not fill 2 MiB keeps small pages, so
/// the block's resident memory is no more than what is touched. Where huge pages are
/// off (or on Windows) the block is ordinary memory.
class LargeBuffer {
 public:
  LargeBuffer() noexcept = default;
  /// Throws std::bad_alloc when the memory cannot be had.
  explicit LargeBuffer(std::size_t size);
  LargeBuffer(LargeBuffer&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }
  LargeBuffer& operator=(LargeBuffer&& other) noexcept {
    if (this != &other) {
      release();
      data_ = other.data_;
      size_ = other.size_;
      other.data_ = nullptr;
      other.size_ = 0;
    }
    return *this;
  }
  LargeBuffer(const LargeBuffer&) = delete;
  LargeBuffer& operator=(const LargeBuffer&) = delete;
  ~LargeBuffer() { release(); }

  [[nodiscard]] char* data() const noexcept { return data_; }
  [[nodiscard]] std::size_t size() const noexcept { return size_; }

 private:
  void release() noexcept;

  char* data_ = nullptr;
  /// Also tells how the block was taken (from the heap or mapped on its own).
  std::size_t size_ = 0;
};

}  // namespace tessiva::platform
