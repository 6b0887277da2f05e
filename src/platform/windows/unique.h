#pragma once
/// Owners of Windows resources. `Unique<Traits>` holds one value and releases it when
/// it goes out of scope; the traits name the value that means "nothing" and how the
/// value is released. Functions outside kernel32 are bound on first use (see
/// dynamic_library.h).

#include <utility>

#include "platform/windows/dynamic_library.h"
#include "platform/windows/windows.h"

#include <shtypes.h>

namespace tessiva::platform {

template <class Traits>
class Unique {
 public:
  using Value = typename Traits::Value;

  Unique() noexcept = default;
  explicit Unique(Value value) noexcept : value_(value) {}
  Unique(Unique&& other) noexcept : value_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  ~Unique() { reset(); }

  [[nodiscard]] Value get() const noexcept { return value_; }
  [[nodiscard]] bool is_valid() const noexcept { return value_ != Traits::invalid(); }
  explicit operator bool() const noexcept { return is_valid(); }

  /// Gives up ownership without releasing the value.
  [[nodiscard]] Value release() noexcept { return std::exchange(value_, Traits::invalid()); }

  /// Releases the value held (if any) and takes `value`.
  void reset(Value value = Traits::invalid()) noexcept {
    const Value old = std::exchange(value_, value);
    if (old != Traits::invalid()) Traits::close(old);
  }

  /// Releases the value held and returns its address, for functions that hand a new
  /// value back through an out parameter.
  [[nodiscard]] Value* put() noexcept {
    reset();
    return &value_;
  }

 private:
  Value value_ = Traits::invalid();
};

/// A handle from CreateFileW and friends, which fail with INVALID_HANDLE_VALUE.
struct FileHandleTraits {
  using Value = HANDLE;
  static Value invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(Value v) noexcept { ::CloseHandle(v); }
};

/// A handle from CreateProcessW, OpenProcess, CreateEventW and friends, which fail
/// with NULL, not INVALID_HANDLE_VALUE.
struct KernelHandleTraits {
  using Value = HANDLE;
  static Value invalid() noexcept { return nullptr; }
  static void close(Value v) noexcept { ::CloseHandle(v); }
};

/// A search handle from FindFirstFileExW (closed with FindClose).
struct FindHandleTraits {
  using Value = HANDLE;
  static Value invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(Value v) noexcept { ::FindClose(v); }
};

struct RegistryKeyTraits {
  using Value = HKEY;
  static Value invalid() noexcept { return nullptr; }
  static void close(Value v) noexcept { close_registry_key(v); }
};

struct IconTraits {
  using Value = HICON;
  static Value invalid() noexcept { return nullptr; }
  static void close(Value v) noexcept { destroy_icon(v); }
};

struct BitmapTraits {
  using Value = HBITMAP;
  static Value invalid() noexcept { return nullptr; }
  static void close(Value v) noexcept { delete_gdi_object(v); }
};

/// The screen's device context from GetDC(nullptr) (given back with ReleaseDC).
struct ScreenDeviceContextTraits {
  using Value = HDC;
  static Value invalid() noexcept { return nullptr; }
  static void close(Value v) noexcept { release_screen_dc(v); }
};

/// Memory from CoTaskMemAlloc, as the shell hands out strings and item id lists.
template <class T>
struct CoTaskMemTraits {
  using Value = T*;
  static Value invalid() noexcept { return nullptr; }
  static void close(Value v) noexcept { co_task_mem_free(v); }
};

using UniqueFileHandle = Unique<FileHandleTraits>;
using UniqueHandle = Unique<KernelHandleTraits>;
using UniqueFindHandle = Unique<FindHandleTraits>;
using UniqueKey = Unique<RegistryKeyTraits>;
using UniqueIcon = Unique<IconTraits>;
using UniqueBitmap = Unique<BitmapTraits>;
using UniqueScreenDc = Unique<ScreenDeviceContextTraits>;
using UniqueCoTaskMemString = Unique<CoTaskMemTraits<wchar_t>>;
/// An item id list (PIDLIST_ABSOLUTE and friends), freed like ILFree does.
using UniquePidl = Unique<CoTaskMemTraits<ITEMIDLIST_ABSOLUTE>>;

}  // namespace tessiva::platform
