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

void co_task_mem_free(void* memory) noexcept {
  if (!memory) return;
  static LazyFunction<decltype(::CoTaskMemFree)> free_memory{ole32, "CoTaskMemFree"};
  if (auto* f = free_memory.get()) f(memory);
}

}  // namespace tessiva::platform
