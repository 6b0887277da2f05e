#include "platform/windows/com.h"

#include <objbase.h>

#include "platform/windows/dynamic_library.h"

namespace tessiva::platform {

void enter_com_apartment() noexcept {
  static LazyFunction<decltype(::CoInitializeEx)> initialize{ole32, "CoInitializeEx"};
  if (auto* f = initialize.get()) (void)f(nullptr, COINIT_APARTMENTTHREADED);
}

}  // namespace tessiva::platform
