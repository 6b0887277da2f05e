#pragma once
/// Where Wine behaves unlike Windows, tests check Wine's behaviour under Wine.

#include "platform/windows/windows.h"

namespace tessiva::test {

inline bool running_under_wine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

}  // namespace tessiva::test
