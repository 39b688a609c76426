#include "platform/instance.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace vordel {
namespace {

// Locks belong to open files, so claims in one process conflict just as in two: each claim
// takes the next free number and keeps its lock, and a claim that finds every number taken
// keeps no descriptor of the ones it tried. Without a runtime folder the locks go to a folder
// of the user's own under /tmp; a folder that cannot hold them gives number 1.
TEST(Instance, EachClaimTakesTheNextFreeNumberAndName) {
  char folder[] = "/tmp/vordel-instance-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  setenv("XDG_RUNTIME_DIR", folder, 1);  // NOLINT(concurrency-mt-unsafe)
  EXPECT_EQ(ClaimInstanceNumber(), 1);
  EXPECT_EQ(ClaimInstanceNumber(), 2);
  const int before = testing::OpenDescriptors();
  for (int n = 3; n <= 99; ++n) {
    ClaimInstanceNumber();
  }
  EXPECT_EQ(testing::OpenDescriptors(), before + 97);
  EXPECT_EQ(ClaimInstanceNumber(), 1);  // all taken
  EXPECT_EQ(testing::OpenDescriptors(), before + 97);
  EXPECT_EQ(InstanceName(1), "vordel");
  EXPECT_EQ(InstanceName(2), "vordel-2");
  setenv("XDG_RUNTIME_DIR", "/nonexistent/run", 1);  // NOLINT(concurrency-mt-unsafe)
  EXPECT_EQ(ClaimInstanceNumber(), 1);
  unsetenv("XDG_RUNTIME_DIR");  // NOLINT(concurrency-mt-unsafe)
  EXPECT_GE(ClaimInstanceNumber(), 1);
  struct stat st {};
  ASSERT_EQ(stat(("/tmp/vordel-" + std::to_string(getuid())).c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

}  // namespace
}  // namespace vordel
