#include "control/journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

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
  // A FIFO nobody reads is refused at once rather than waited on.
  const std::string fifo = folder + "/fifo.log";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(Journal(fifo).Append(0, 1, "end", "c", &error));
  EXPECT_EQ(error, "cannot write the journal " + fifo + ": it is not a regular file");
  unlink(fifo.c_str());
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

// The window's history reads the journal's last lines back: whole lines of four fields only,
// the newest kept when there are more, a line still being written (no newline yet) left out.
TEST(Journal, ItsLastLinesAreReadBack) {
  struct Row {
    const char* text;
    std::size_t most;
    std::vector<std::string> reproduce;  // of the entries read, oldest first
  };
  const std::string a =
      "2026-01-01T10:00:00+00:00\t12.0\tend\tvordel-compose --clock 5 '1 2 3 4 5'\n";
  const std::string b =
      "2026-01-01T10:01:00+00:00\t3.5\tstop\tvordel-compose --clock 6 '0 1 2 3 4'\n";
  const Row rows[] = {
      {"", 10, {}},          {"not a journal line\n", 10, {}},
      {"a\tb\tc\n", 10, {}}, {"a\tb\tc\t\n", 10, {}},
      {"", 0, {}},
  };
  const std::string path = testing::TempPath("tail.log");
  for (const Row& row : rows) {
    std::ofstream(path) << row.text;
    std::vector<std::string> got;
    for (const JournalEntry& e : ReadJournalTail(path, row.most)) {
      got.push_back(e.reproduce);
    }
    EXPECT_EQ(got, row.reproduce) << row.text;
  }
  std::ofstream(path) << a << "cut short\n" << b << "2026-01-01T10:02:00+00:00\t1.0\tend\tvordel";
  std::vector<JournalEntry> got = ReadJournalTail(path, 10);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].start, "2026-01-01T10:00:00+00:00");
  EXPECT_EQ(got[0].how, "end");
  EXPECT_EQ(got[0].reproduce, "vordel-compose --clock 5 '1 2 3 4 5'");
  EXPECT_EQ(got[1].how, "stop");
  got = ReadJournalTail(path, 1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].how, "stop");
  // A long journal: only its end is read, from the first whole line there.
  {
    std::ofstream out(path);
    for (int i = 0; i < 20000; ++i) {
      out << "2026-01-01T10:00:00+00:00\t1.0\tend\tvordel-compose --clock " << i << " '1'\n";
    }
  }
  got = ReadJournalTail(path, 100000);
  ASSERT_GT(got.size(), 1000u);
  ASSERT_LT(got.size(), 20000u);
  EXPECT_EQ(got.back().reproduce, "vordel-compose --clock 19999 '1'");
  EXPECT_EQ(got.front().start, "2026-01-01T10:00:00+00:00");
  EXPECT_TRUE(ReadJournalTail(path + ".missing", 10).empty());
  EXPECT_TRUE(ReadJournalTail("/tmp", 10).empty());  // a folder
  std::remove(path.c_str());
}

// Four programs keep one journal and move it aside once between them: every line of each is in
// the journal or in the older one, none lost, none twice, none cut.
TEST(Journal, FourWritersAtOnceLoseNoLineWhenItMovesAside) {
  char folder_template[] = "/tmp/vordel-journal-XXXXXX";
  const std::string folder = mkdtemp(folder_template);
  const std::string path = folder + "/played.log";
  setenv("TZ", "UTC", 1);
  tzset();
  constexpr int kWriters = 4;
  constexpr int kLines = 250;
  constexpr std::int64_t kRotate = 30000;  // about 650 lines: the 1000 move aside once
  std::vector<std::thread> writers;
  std::atomic<int> failures{0};
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      Journal journal(path, kRotate);
      for (int i = 0; i < kLines; ++i) {
        std::string error;
        const std::string piece = "w" + std::to_string(w) + "-" + std::to_string(i);
        if (!journal.Append(0, 1, "end", piece, &error)) {
          ++failures;
        }
      }
    });
  }
  for (std::thread& t : writers) {
    t.join();
  }
  EXPECT_EQ(failures.load(), 0);
  std::multiset<std::string> seen;
  for (const std::string& file : {path + ".1", path}) {
    std::istringstream in(testing::ReadFile(file));
    std::string line;
    while (std::getline(in, line)) {
      seen.insert(line.substr(line.rfind('\t') + 1));
      EXPECT_EQ(line.rfind("1970-01-01T00:00:00+00:00\t1.0\tend\tw", 0), 0u) << line;
    }
  }
  std::multiset<std::string> wanted;
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kLines; ++i) {
      wanted.insert("w" + std::to_string(w) + "-" + std::to_string(i));
    }
  }
  EXPECT_EQ(seen, wanted);
  struct stat older {};
  EXPECT_EQ(stat((path + ".1").c_str(), &older), 0);  // it did move aside
  std::remove((path + ".1").c_str());
  std::remove(path.c_str());
  rmdir(folder.c_str());
  unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace vordel
