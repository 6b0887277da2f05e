#include "platform/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace tessiva::platform {
namespace {

/// The size of a transparent huge page on x86-64 and of the blocks that are offered as
/// such; on systems with other sizes the advice still applies to what fits.
constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;

/// `size` rounded up to whole pages of the system.
std::size_t whole_pages(std::size_t size) noexcept {
  static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return (size + page - 1) / page * page;
}

}  // namespace

LargeBuffer::LargeBuffer(std::size_t size) : size_(size) {
  if (size < HUGE_PAGE) {
    // Too small to hold a huge page: heap memory, which a small request reuses.
    data_ = static_cast<char*>(std::malloc(size == 0 ? 1 : size));
    if (data_ == nullptr) throw std::bad_alloc();
    return;
  }
  // Map a huge page more than needed, keep the aligned part and unmap the rest, which
  // would cost no memory untouched but would stay in the address space.
  const std::size_t length = whole_pages(size);
  void* const base = ::mmap(nullptr, length + HUGE_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(base);
  const std::uintptr_t aligned = (start + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
  if (aligned > start) ::munmap(base, aligned - start);
  const std::size_t after = start + length + HUGE_PAGE - (aligned + length);
  if (after > 0) ::munmap(reinterpret_cast<void*>(aligned + length), after);
  data_ = reinterpret_cast<char*>(aligned);
  // Advice only: where huge pages are off the call fails and small pages serve. The
  // tail past the last whole huge page keeps small pages, so that a frame of 16 MiB and
  // a few bytes does not hold a whole huge page for those bytes.
  (void)::madvise(data_, size / HUGE_PAGE * HUGE_PAGE, MADV_HUGEPAGE);
}

void LargeBuffer::release() noexcept {
  if (data_ == nullptr) return;
  // The size tells how the block was taken, as in the constructor.
  if (size_ >= HUGE_PAGE)
    ::munmap(data_, whole_pages(size_));
  else
    std::free(data_);
  data_ = nullptr;
  size_ = 0;
}

}  // namespace tessiva::platform
