#include "platform/instance.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace vordel {
namespace {

TEST(Instance, EachClaimTakesTheNextFreeNumberAndName) {
  char folder[] = "/tmp/vordel-instance-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  setenv("XDG_RUNTIME_DIR", folder, 1);
  // Locks belong to open files, so claims in one process conflict just as in two.
  const int first = ClaimInstanceNumber();
  const int second = ClaimInstanceNumber();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 2);
  EXPECT_EQ(InstanceName(first), "vordel");
  EXPECT_EQ(InstanceName(second), "vordel-2");
  unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace vordel
