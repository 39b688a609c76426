#include "platform/pending_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <fstream>

#include "support/test_support.h"

namespace vordel {
namespace {

// The names in a folder, to see what a write leaves behind.
int Entries(const std::string& folder) {
  int n = 0;
  if (DIR* d = opendir(folder.c_str())) {
    while (const dirent* e = readdir(d)) {
      n += std::string(e->d_name) != "." && std::string(e->d_name) != ".." ? 1 : 0;
    }
    closedir(d);
  }
  return n;
}

TEST(PendingFile, AppearsCompleteOrNotAtAll) {
  char folder_template[] = "/tmp/vordel-pending-XXXXXX";
  const std::string folder = mkdtemp(folder_template);
  const std::string target = folder + "/piece.mid";
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(target, "first", &error)) << error;
  EXPECT_EQ(testing::ReadFile(target), "first");
  {
    // Abandoned (a failure, a signal): nothing beside it, the old content stays.
    PendingFile pending(target);
    ASSERT_FALSE(pending.path().empty());
    EXPECT_NE(pending.path(), target);
    std::ofstream(pending.path()) << "half";
    EXPECT_EQ(Entries(folder), 2);
  }
  EXPECT_EQ(testing::ReadFile(target), "first");
  EXPECT_EQ(Entries(folder), 1);
  ASSERT_TRUE(WriteFileAtomically(target, "second", &error)) << error;
  EXPECT_EQ(testing::ReadFile(target), "second");
  EXPECT_EQ(Entries(folder), 1);
  // A folder that is not there: a reason, nothing written.
  EXPECT_FALSE(WriteFileAtomically(folder + "/no/such.mid", "x", &error));
  EXPECT_NE(error.find("cannot write " + folder + "/no/such.mid"), std::string::npos);
  // A FIFO (or a device) is written directly, not replaced by a file.
  const std::string fifo = folder + "/pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  PendingFile direct(fifo);
  EXPECT_EQ(direct.path(), fifo);
  EXPECT_TRUE(direct.Commit());
  EXPECT_FALSE(direct.Commit());    // once
  { PendingFile abandoned(fifo); }  // and abandoned, it stays where it is
  struct stat st {};
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  ASSERT_TRUE(S_ISFIFO(st.st_mode));  // before the devices below are written
  EXPECT_TRUE(WriteFileAtomically("/dev/null", "gone", &error)) << error;
  EXPECT_FALSE(WriteFileAtomically("/dev/full", "full", &error));
  unlink(fifo.c_str());
  unlink(target.c_str());
  rmdir(folder.c_str());
}

}  // namespace
}  // namespace vordel
