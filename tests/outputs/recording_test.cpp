#include "outputs/recording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

#include "outputs/table.h"

namespace vordel {
namespace {

TEST(RecordingOutput, KeepsBothLanesAndWritesItsFileWhenClosing) {
  const std::string path = ::testing::TempDir() + "/vordel-recording.txt";
  OutputRequest request;
  request.choice = "recording";
  request.record_file = path;
  OpenedOutput opened = OpenOutput(request);  // a row of the output table like any other
  ASSERT_TRUE(opened.output);
  auto* rec = dynamic_cast<RecordingOutput*>(opened.output.get());
  ASSERT_NE(rec, nullptr);
  std::thread tick([&] {
    for (int i = 0; i < 1000; ++i) {
      rec->Send(Lane::kPlayer, NoteMessage(1, 60, 90), 1'000'000'000 + i * 1'000'000LL);
    }
  });
  for (int i = 0; i < 1000; ++i) {
    rec->Send(Lane::kControl, ControlMessage(1, 7, 100), 1'000'000'000);
  }
  tick.join();
  EXPECT_EQ(rec->Count(), 2000u);
  rec->Close();
  // One line per message: due time in ms since the first, then the bytes.
  std::ifstream in(path);
  std::string line;
  int lines = 0;
  double latest_note = -1;
  while (std::getline(in, line)) {
    ++lines;
    if (line.find(" 90 3c 5a") != std::string::npos) {
      latest_note = std::max(latest_note, std::stod(line));
    }
  }
  EXPECT_EQ(lines, 2000);
  EXPECT_DOUBLE_EQ(latest_note, 999.0);
  std::remove(path.c_str());
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
