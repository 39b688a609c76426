#include "platform/timestamps.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <sstream>
#include <string>

namespace vordel {
namespace {

// Every line begins with the stamp of when its first character came, lines written in pieces
// included; nothing else changes.
TEST(Timestamps, EveryLineIsStamped) {
  std::ostringstream target;
  int calls = 0;
  TimestampedBuffer buffer(target.rdbuf(), [&] {
    ++calls;
    return std::chrono::system_clock::from_time_t(0);
  });
  std::ostream out(&buffer);
  out << "one\n"
      << "tw" << 'o' << "\nthree\nfour" << std::flush;
  const std::string stamp = IsoTimestamp(std::chrono::system_clock::from_time_t(0)) + " ";
  EXPECT_EQ(target.str(), stamp + "one\n" + stamp + "two\n" + stamp + "three\n" + stamp + "four");
  EXPECT_EQ(calls, 4);
}

TEST(Timestamps, TheJournalIsKnownByItsDeviceAndInode) {
  struct stat st {};
  ASSERT_EQ(fstat(STDIN_FILENO, &st), 0);
  const std::string mine = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  EXPECT_TRUE(IsJournalStream(STDIN_FILENO, mine.c_str()));
  EXPECT_FALSE(IsJournalStream(STDIN_FILENO, (mine + "1").c_str()));
  EXPECT_FALSE(IsJournalStream(STDIN_FILENO, ""));
  EXPECT_FALSE(IsJournalStream(STDIN_FILENO, nullptr));
  EXPECT_FALSE(IsJournalStream(STDIN_FILENO, "journal"));
}

}  // namespace
}  // namespace vordel
