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
// keeps no descriptor of the ones it tried; a folder that cannot hold them gives number 1.
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
  char tmp[] = "/tmp/vordel-tmpdir-XXXXXX";
  ASSERT_NE(mkdtemp(tmp), nullptr);
  setenv("TMPDIR", tmp, 1);  // NOLINT(concurrency-mt-unsafe)
  const std::string own = std::string(tmp) + "/vordel-" + std::to_string(getuid());
  const std::string lock = own + "/vordel-1.lock";
  // Made by the claim: private, and it holds the locks. Opened to others, or a link to a
  // private folder elsewhere: not trusted, number 1 and no lock written there.
  EXPECT_EQ(ClaimInstanceNumber(), 1);
  struct stat st {};
  ASSERT_EQ(lstat(own.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(access(lock.c_str(), F_OK), 0);
  unlink(lock.c_str());
  chmod(own.c_str(), 0777);  // NOLINT(hicpp-signed-bitwise)
  EXPECT_EQ(ClaimInstanceNumber(), 1);
  EXPECT_NE(access(lock.c_str(), F_OK), 0);
  rmdir(own.c_str());
  ASSERT_EQ(symlink(tmp, own.c_str()), 0);
  EXPECT_EQ(ClaimInstanceNumber(), 1);
  EXPECT_NE(access((std::string(tmp) + "/vordel-1.lock").c_str(), F_OK), 0);
  unlink(own.c_str());
  rmdir(tmp);
  unsetenv("TMPDIR");  // NOLINT(concurrency-mt-unsafe)
}

}  // namespace
}  // namespace vordel
