#include "control/journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "support/test_support.h"

namespace vordel {
namespace {

TEST(Journal, ALineAPlaybackRotatedPastTenMegabytes) {
  setenv("TZ", "UTC", 1);
  tzset();
  char folder_template[] = "/tmp/vordel-journal-XXXXXX";
  const std::string folder = mkdtemp(folder_template);
  const std::string path = folder + "/state/vordel/played.log";  // the folders are made
  Journal journal(path);
  std::string error;
  ASSERT_TRUE(
      journal.Append(86400 * 365, 12.34, "end", "vordel-compose --clock 5 --dump '1'", &error))
      << error;
  ASSERT_TRUE(
      journal.Append(86400 * 365 + 13, 2, "stop", "vordel-compose --clock 6 --dump '2'", &error));
  EXPECT_EQ(testing::ReadFile(path),
            "1971-01-01T00:00:00+00:00\t12.3\tend\tvordel-compose --clock 5 --dump '1'\n"
            "1971-01-01T00:00:13+00:00\t2.0\tstop\tvordel-compose --clock 6 --dump '2'\n");
  // Past its size the file moves aside whole, and a new one begins.
  std::ofstream(path, std::ios::app) << std::string(Journal::kRotateBytes, 'x');
  ASSERT_TRUE(journal.Append(0, 1, "quit", "c", &error));
  EXPECT_EQ(testing::ReadFile(path), "1970-01-01T00:00:00+00:00\t1.0\tquit\tc\n");
  struct stat older {};
  ASSERT_EQ(stat((path + ".1").c_str(), &older), 0);
  EXPECT_GT(older.st_size, Journal::kRotateBytes);
  // A file that cannot move aside (a folder of that name is in the way) is an error.
  std::remove((path + ".1").c_str());
  ASSERT_EQ(mkdir((path + ".1").c_str(), 0700), 0);
  std::ofstream(path + ".1/in-the-way") << "x";
  std::ofstream(path, std::ios::app) << std::string(Journal::kRotateBytes, 'x');
  EXPECT_FALSE(journal.Append(0, 1, "quit", "c", &error));
  EXPECT_NE(error.find("cannot rotate the journal " + path), std::string::npos) << error;
  std::remove((path + ".1/in-the-way").c_str());
  rmdir((path + ".1").c_str());
  // No journal at all, and one that cannot be written.
  EXPECT_TRUE(Journal("").Append(0, 1, "end", "c", &error));
  Journal blocked(path + "/under-a-file");
  EXPECT_FALSE(blocked.Append(0, 1, "end", "c", &error));
  EXPECT_NE(error.find("cannot write the journal"), std::string::npos);
  setenv("XDG_STATE_HOME", "/var/tmp/state", 1);
  EXPECT_EQ(Journal::DefaultPath(), "/var/tmp/state/vordel/played.log");
  unsetenv("XDG_STATE_HOME");
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(Journal::DefaultPath(), "/home/someone/.local/state/vordel/played.log");
  std::remove((path + ".1").c_str());
  std::remove(path.c_str());
  unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace vordel
