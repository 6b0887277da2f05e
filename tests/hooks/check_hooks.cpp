// Linked only into the test build of the program (tessiva_test_host): gives the
// self-check its test settings from the environment before main runs. The shipped
// program has none of this, so no variable of the environment changes what its check
// reads or starts.
//   TESSIVA_CHECK_ROOT     a folder put before every system path the check reads
//   TESSIVA_CHECK_AS_ROOT  "1" or "0": taken instead of whether the process runs as root

#include "check/check.h"
#include "platform/linux/installation.h"

namespace {

const bool hooks_set = [] {
  tessiva::check::CheckTestHooks hooks;
  hooks.system_root = tessiva::platform::environment_variable("TESSIVA_CHECK_ROOT").value_or("");
  if (const auto as_root = tessiva::platform::environment_variable("TESSIVA_CHECK_AS_ROOT"))
    hooks.as_root = *as_root == "1";
  tessiva::check::set_check_test_hooks(std::move(hooks));
  return true;
}();

}  // namespace
