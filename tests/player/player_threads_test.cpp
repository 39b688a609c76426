// The player on the real timer thread while the window thread stops, starts and rebuilds, and
// other threads read the counters and send controllers. Run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "composer/piece_builder.h"
#include "player/composition_player.h"
#include "test_support.h"

namespace vordel {
namespace {

class ThreadedPlayer : public CompositionPlayer {
 public:
  ThreadedPlayer(std::unique_ptr<MidiOutput> out, TimerService& timer)
      : CompositionPlayer("threads", "", "", std::move(out), kMidiOk, timer) {}
};

TEST(PlayerThreads, StopStartRebuildWhileTicksRun) {
  testing::CoutCapture quiet;
  ScopedClockPin pin(3);
  ThreadTimerService timer;
  auto out = std::make_unique<RecordingOutput>(1 << 20);
  RecordingOutput* rec = out.get();
  ThreadedPlayer player(std::move(out), timer);
  ASSERT_EQ(BuildPiece(player, "0 50 40 1 0", std::cout), BuildResult::kBuilt);

  std::atomic<bool> done{false};
  // Painting: reads the shared counters and takes repaint requests.
  std::thread painter([&] {
    long sum = 0;
    while (!done.load()) {
      sum +=
          Global_Data.PlayedEvents.load() + static_cast<long>(Global_Data.LastTimeSetEvID.load());
      player.TakeRepaintRequest();
      sum += player.GetPlayStatus() + player.PlayingObjectNumber();
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    EXPECT_GE(sum, 0);
  });
  // Mouse movement: volume controllers from another thread while notes are sent.
  std::thread mouse([&] {
    int v = 0;
    while (!done.load()) {
      for (unsigned char ch = 1; ch <= 4; ++ch)
        player.ControlChange(ch, 7, static_cast<unsigned char>(v++ % 127));
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });

  const char* pieces[] = {"0 50 40 1 0", "3 60 60 1 0 0 50 40 1 0", "1 50 30 1 0"};
  for (int round = 0; round < 12; ++round) {
    STOP_PLAYING.store(0);
    player.ResetIters();
    ASSERT_TRUE(player.PlayMusicalObject());
    player.SetPlayStatus();
    std::this_thread::sleep_for(std::chrono::milliseconds(3 + round % 4));
    if (round % 3 == 0) {
      // Start again while playing: the running playback ends first.
      ASSERT_TRUE(player.PlayMusicalObject());
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // The stop command: raise the flag, fall idle, silence; then wait before rebuilding.
    STOP_PLAYING.store(1);
    player.ResetPlayStatus();
    player.AllNotesOff();
    player.WaitForPlayerIdle();
    EXPECT_FALSE(player.TimerActive());
    ASSERT_EQ(BuildPiece(player, pieces[round % 3], std::cout), BuildResult::kBuilt);
  }
  done.store(true);
  painter.join();
  mouse.join();
  EXPECT_EQ(player.SoundingNotes(), 0);
  EXPECT_GT(rec->Count(), 0u);
  EXPECT_EQ(rec->Dropped(), 0u);
}

}  // namespace
}  // namespace vordel
