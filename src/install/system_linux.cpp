// Linux has no per-user installation of the host yet: the installer and the uninstaller
// refuse with one line that says so, instead of touching anything.

#include "install/system.h"

#include <cstdio>

#include "install/environment.h"

namespace tessiva::install {
namespace {

int unavailable(const char* what) {
  std::fprintf(stderr, "tessiva: %s for the current user is not available on Linux yet\n", what);
  return EXIT_FAILED;
}

}  // namespace

int install_for_user(bool) { return unavailable("installation"); }

int uninstall_for_user(bool) { return unavailable("uninstallation"); }

}  // namespace tessiva::install
