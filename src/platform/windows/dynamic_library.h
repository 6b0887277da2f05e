#pragma once
/// System libraries that are loaded on first use instead of being imported at load
/// time. Importing shell32 and ole32 roughly doubles the host's start-up time, and most
/// runs of the host never need them.
///
///   static LazyFunction<decltype(::SHGetKnownFolderPath)> get_path{shell32, "SHGetKnownFolderPath"};
///   if (auto* f = get_path.get()) f(...);
///
/// `decltype` of the declaration keeps the call type-checked without referring to the
/// import itself.

#include "platform/windows/windows.h"

namespace tessiva::platform {

/// A library of the system folder, loaded the first time it is asked for and kept
/// loaded until the process ends (its functions stay valid for as long).
class DynamicLibrary {
 public:
  explicit constexpr DynamicLibrary(const wchar_t* name) noexcept : name_(name) {}
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  /// The module, or null when it cannot be loaded (then GetLastError tells why; the
  /// next call tries again).
  [[nodiscard]] HMODULE module() noexcept;
  /// The address of an export, or null when the library or the export is missing.
  [[nodiscard]] FARPROC address(const char* function) noexcept;

 private:
  const wchar_t* name_;
  HMODULE module_ = nullptr;
};

[[nodiscard]] DynamicLibrary& shell32() noexcept;
[[nodiscard]] DynamicLibrary& ole32() noexcept;

/// One function of a lazily loaded library, looked up on the first call of `get`.
/// `F` is the function's type, usually `decltype(::Name)`. Not synchronised: the
/// program calls the platform from its main thread only.
template <class F>
class LazyFunction {
 public:
  constexpr LazyFunction(DynamicLibrary& (*library)() noexcept, const char* name) noexcept
      : library_(library), name_(name) {}

  /// The function, or null when it cannot be found.
  [[nodiscard]] F* get() noexcept {
    if (!resolved_) {
      // The round trip through void* keeps -Wcast-function-type quiet: FARPROC is
      // declared with no parameters, which is never the real type.
      function_ = reinterpret_cast<F*>(reinterpret_cast<void*>(library_().address(name_)));
      resolved_ = true;
    }
    return function_;
  }

 private:
  DynamicLibrary& (*library_)() noexcept;
  const char* name_;
  F* function_ = nullptr;
  bool resolved_ = false;
};

/// CoTaskMemFree from ole32; does nothing for null.
void co_task_mem_free(void* memory) noexcept;

}  // namespace tessiva::platform
