#include <gtest/gtest.h>

#include "platform/Services.h"

int main(int argc, char** argv) {
  // The binding linked into this executable is the one every test runs on.
  pel::InstallPlatformBinding();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
