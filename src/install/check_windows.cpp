// The self-check on Windows is not written yet: the registry lookup it needs is still
// to come. The command says so instead of reporting every browser as fine.

#include "install/check.h"
#include "platform/installation.h"

namespace tessiva::install {

CheckReport run_check(const CheckOptions& options) {
  CheckReport report;
  report.caller = options.caller;
  return report;
}

int check_for_user(bool) {
  platform::write_standard_error("tessiva --check is not available on Windows yet.\n");
  return 1;
}

}  // namespace tessiva::install
