#pragma once
/// System libraries that are loaded on first use instead of being imported at load
/// time. The executable imports only kernel32 (and the C runtime): every library it
/// imports is loaded and initialised before the first reply, and the user interface,
/// graphics and registry libraries alone make start-up under Wine 1.7 times slower,
/// while most runs of the host never call them. A test reads the import table of the
/// executable and fails on any other library.
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
[[nodiscard]] DynamicLibrary& shlwapi() noexcept;
[[nodiscard]] DynamicLibrary& version_library() noexcept;
[[nodiscard]] DynamicLibrary& advapi32() noexcept;
[[nodiscard]] DynamicLibrary& user32() noexcept;
[[nodiscard]] DynamicLibrary& gdi32() noexcept;

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

/// The error to report when a lazily loaded function is missing: why the load or the
/// look-up failed, or ERROR_PROC_NOT_FOUND when the system says nothing.
[[nodiscard]] DWORD missing_function_error() noexcept;

/// The releasing functions of the owners in unique.h, bound on first use. Each does
/// nothing for null: a value to release can only come from its library, so that
/// library is loaded by then.
void co_task_mem_free(void* memory) noexcept;     ///< CoTaskMemFree (ole32)
void close_registry_key(HKEY key) noexcept;       ///< RegCloseKey (advapi32)
void destroy_icon(HICON icon) noexcept;           ///< DestroyIcon (user32)
void release_screen_dc(HDC dc) noexcept;          ///< ReleaseDC(nullptr, dc) (user32)
void delete_gdi_object(HGDIOBJ object) noexcept;  ///< DeleteObject (gdi32)

}  // namespace tessiva::platform
