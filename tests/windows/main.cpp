// The Windows tests are linked with -municode, so the C runtime starts them through
// wmain (gtest_main's main is never called).

#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
