#include "platform/windows/dynamic_library.h"

#include <objbase.h>

namespace tessiva::platform {

HMODULE DynamicLibrary::module() noexcept {
  if (!module_) {
    // Only the system folder is searched, so that a DLL of the same name beside the
    // executable or in the current folder is never picked up.
    module_ = ::LoadLibraryExW(name_, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  return module_;
}

FARPROC DynamicLibrary::address(const char* function) noexcept {
  const HMODULE m = module();
  return m ? ::GetProcAddress(m, function) : nullptr;
}

DynamicLibrary& shell32() noexcept {
  static DynamicLibrary library(L"shell32.dll");
  return library;
}

DynamicLibrary& ole32() noexcept {
  static DynamicLibrary library(L"ole32.dll");
  return library;
}

DynamicLibrary& shlwapi() noexcept {
  static DynamicLibrary library(L"shlwapi.dll");
  return library;
}

DynamicLibrary& version_library() noexcept {
  static DynamicLibrary library(L"version.dll");
  return library;
}

DynamicLibrary& advapi32() noexcept {
  static DynamicLibrary library(L"advapi32.dll");
  return library;
}

DynamicLibrary& user32() noexcept {
  static DynamicLibrary library(L"user32.dll");
  return library;
}

DynamicLibrary& gdi32() noexcept {
  static DynamicLibrary library(L"gdi32.dll");
  return library;
}

DWORD missing_function_error() noexcept {
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? error : ERROR_PROC_NOT_FOUND;
}

void co_task_mem_free(void* memory) noexcept {
  if (!memory) return;
  static LazyFunction<decltype(::CoTaskMemFree)> free_memory{ole32, "CoTaskMemFree"};
  if (auto* f = free_memory.get()) f(memory);
}

void close_registry_key(HKEY key) noexcept {
  if (!key) return;
  static LazyFunction<decltype(::RegCloseKey)> close_key{advapi32, "RegCloseKey"};
  if (auto* f = close_key.get()) f(key);
}

void destroy_icon(HICON icon) noexcept {
  if (!icon) return;
  static LazyFunction<decltype(::DestroyIcon)> destroy{user32, "DestroyIcon"};
  if (auto* f = destroy.get()) f(icon);
}

void release_screen_dc(HDC dc) noexcept {
  if (!dc) return;
  static LazyFunction<decltype(::ReleaseDC)> release{user32, "ReleaseDC"};
  if (auto* f = release.get()) f(nullptr, dc);
}

void delete_gdi_object(HGDIOBJ object) noexcept {
  if (!object) return;
  static LazyFunction<decltype(::DeleteObject)> delete_object{gdi32, "DeleteObject"};
  if (auto* f = delete_object.get()) f(object);
}

}  // namespace tessiva::platform
