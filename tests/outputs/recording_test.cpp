#include "outputs/recording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <thread>

#include "outputs/table.h"
#include "platform/clock.h"
#include "support/test_support.h"

namespace vordel {
namespace {

// A panic from another thread (memory ran out): the note playing ends, every channel hears All
// Notes Off, and it is on disk when Panic returns; what the tick sends afterwards never is.
TEST(RecordFileOutput, APanicEndsTheNotesBeforeItReturns) {
  const std::string path = testing::TempPath("panic.txt");
  std::string error;
  std::unique_ptr<RecordFileOutput> rec = RecordFileOutput::Open(path, &error);
  ASSERT_TRUE(rec) << error;
  rec->Send(Lane::kPlayer, NoteMessage(2, 64, 90), MonotonicNanos());
  rec->Commit(Lane::kPlayer);
  for (int i = 0; i < 500 && testing::ReadFile(path).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // until the note plays
  }
  std::thread([&] { rec->Panic(); }).join();
  rec->Send(Lane::kPlayer, NoteMessage(2, 65, 90), MonotonicNanos());
  rec->Commit(Lane::kPlayer);
  const std::string written = testing::ReadFile(path);
  rec->Close();
  EXPECT_NE(written.find(" 91 40 5a\n"), std::string::npos) << written.substr(0, 200);
  const std::size_t off = written.find(" 81 40 00\n");
  ASSERT_NE(off, std::string::npos);
  EXPECT_GT(off, written.find(" 91 40 5a\n"));
  for (const char* all_off : {" b0 7b 00\n", " b3 7b 00\n", " bf 7b 00\n"}) {
    EXPECT_GT(written.find(all_off), off) << all_off;
  }
  EXPECT_EQ(testing::ReadFile(path).find(" 91 41 5a"), std::string::npos);
  std::remove(path.c_str());
}

TEST(RecordFileOutput, WritesBothLanesAsTheyComeAndSaysWhatWentWrong) {
  const std::string path = testing::TempPath("recording.txt");
  OutputRequest request;
  request.choice = "recording";
  request.record_file = path;
  OpenedOutput opened = OpenOutput(request);  // a row of the output table like any other
  ASSERT_TRUE(opened.output);
  MidiOutput& rec = *opened.output;
  std::thread tick([&] {
    for (int i = 0; i < 1000; ++i) {
      rec.Send(Lane::kPlayer, NoteMessage(1, 60, 90), 1'000'000'000 + i * 1'000'000LL);
      rec.Commit(Lane::kPlayer);
    }
  });
  for (int i = 0; i < 1000; ++i) {
    rec.Send(Lane::kControl, ControlMessage(1, 7, 100), 1'000'000'000);
  }
  rec.Commit(Lane::kControl);
  tick.join();
  // On disk before the output closes: a process that is killed keeps what it played.
  auto lines_in = [&] {
    std::ifstream in(path);
    return static_cast<int>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
  };
  for (int i = 0; i < 500 && lines_in() < 2000; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(lines_in(), 2000);
  rec.Close();
  EXPECT_EQ(rec.Failure(), "");
  // One line per message: due time in ms since the first, then the bytes.
  std::ifstream in(path);
  std::string line;
  double latest_note = -1;
  while (std::getline(in, line)) {
    if (line.find(" 90 3c 5a") != std::string::npos) {
      latest_note = std::max(latest_note, std::stod(line));
    }
  }
  EXPECT_DOUBLE_EQ(latest_note, 999.0);
  std::remove(path.c_str());

  // A file that cannot be opened is an error of the request; one that fills up is a failure.
  request.record_file = "/nonexistent/x.txt";
  opened = OpenOutput(request);
  EXPECT_FALSE(opened.output);
  EXPECT_TRUE(opened.bad_request);
  EXPECT_NE(opened.error.find("/nonexistent/x.txt"), std::string::npos);
  request.record_file = "/dev/full";
  opened = OpenOutput(request);
  ASSERT_TRUE(opened.output);
  opened.output->Send(Lane::kPlayer, NoteMessage(1, 60, 90), 1);
  opened.output->Commit(Lane::kPlayer);
  opened.output->Close();
  EXPECT_NE(opened.output->Failure().find("No space left"), std::string::npos);
  EXPECT_NE(opened.output->Status(), kMidiOk);
}

TEST(RecordingOutput, AFullBufferDropsAndCounts) {
  RecordingOutput rec(2);
  rec.Send(Lane::kPlayer, NoteMessage(1, 60, 90), 1);
  rec.Send(Lane::kPlayer, NoteMessage(1, 60, 0), 2);
  EXPECT_EQ(rec.Send(Lane::kPlayer, NoteMessage(1, 61, 90), 3), kMidiErrorNotReady);
  EXPECT_EQ(rec.Dropped(), 1u);
  EXPECT_EQ(rec.Bytes(), (std::vector<std::vector<int>>{{0x90, 60, 90}, {0x80, 60, 0}}));
}

}  // namespace
}  // namespace vordel
