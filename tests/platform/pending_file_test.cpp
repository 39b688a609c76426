#include "platform/pending_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <fcntl.h>
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
    ASSERT_GE(pending.fd(), 0);
    ASSERT_EQ(write(pending.fd(), "half", 4), 4);
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
  // A FIFO (or a device) named by the user is written in place, not replaced by a file; where
  // only regular files may be written it is refused at once, without opening it (nobody reads
  // this one: an open would wait for ever).
  const std::string fifo = folder + "/pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  PendingFile refused(fifo, PendingFile::Target::kRegularOnly);
  EXPECT_EQ(refused.fd(), -1);
  EXPECT_EQ(refused.error(), "cannot write " + fifo + ": it is not a regular file");
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  PendingFile direct(fifo);
  EXPECT_GE(direct.fd(), 0);
  EXPECT_TRUE(direct.Commit());
  EXPECT_FALSE(direct.Commit());    // once
  { PendingFile abandoned(fifo); }  // and abandoned, it stays where it is
  close(reader);
  struct stat st {};
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  ASSERT_TRUE(S_ISFIFO(st.st_mode));  // before the devices below are written
  EXPECT_TRUE(WriteFileAtomically("/dev/null", "gone", &error)) << error;
  EXPECT_FALSE(WriteFileAtomically("/dev/full", "full", &error));
  unlink(fifo.c_str());
  unlink(target.c_str());
  rmdir(folder.c_str());
}

// Inside a folder held open (a name another program sent): only a regular file is replaced, a
// symbolic link is refused rather than followed or replaced, and what was there keeps its mode.
TEST(PendingFile, InAFolderReplacesOnlyARegularFile) {
  char folder_template[] = "/tmp/vordel-pending-XXXXXX";
  const std::string folder = mkdtemp(folder_template);
  const int dir = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dir, 0);
  std::ofstream(folder + "/elsewhere.xml") << "theirs";
  ASSERT_EQ(symlink("elsewhere.xml", (folder + "/link.xml").c_str()), 0);
  std::string error;
  PendingFile link(dir, "link.xml", "link.xml");
  EXPECT_FALSE(WriteFileAtomically(
      link, [](const ByteSink& s) { return s("x", 1); }, &error));
  EXPECT_EQ(error, "cannot write link.xml: it is not a regular file");
  EXPECT_EQ(testing::ReadFile(folder + "/elsewhere.xml"), "theirs");
  std::ofstream(folder + "/score.xml") << "old";
  ASSERT_EQ(chmod((folder + "/score.xml").c_str(), 0640), 0);
  PendingFile score(dir, "score.xml", folder + "/score.xml");
  ASSERT_TRUE(WriteFileAtomically(
      score, [](const ByteSink& s) { return s("new", 3); }, &error))
      << error;
  EXPECT_EQ(testing::ReadFile(folder + "/score.xml"), "new");
  struct stat st {};
  ASSERT_EQ(stat((folder + "/score.xml").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Entries(folder), 3);
  close(dir);
  for (const char* name : {"/elsewhere.xml", "/link.xml", "/score.xml"}) {
    unlink((folder + name).c_str());
  }
  rmdir(folder.c_str());
}

}  // namespace
}  // namespace vordel
