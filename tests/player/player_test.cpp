#include "player/composition_player.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "composer/piece_builder.h"
#include "test_support.h"

namespace vordel {
namespace {

using Bytes = std::vector<int>;

class TestPlayer : public CompositionPlayer {
 public:
  TestPlayer(std::unique_ptr<MidiOutput> out, TimerService& timer)
      : CompositionPlayer("test", "", "", std::move(out), kMidiOk, timer) {}
  std::vector<std::string> statuses;
  using CompositionPlayer::wTimerRes;

 protected:
  void ShowTimerStatus(const char* text) override { statuses.emplace_back(text); }
};

struct Note {
  int ch, key;
  std::int64_t vel, time;
};

class Player : public ::testing::Test {
 protected:
  Player() {
    STOP_PLAYING.store(0);
    Global_Data.PlayedEvents.store(0);
    auto out = std::make_unique<RecordingOutput>(1 << 16);
    rec_ = out.get();
    player_ = std::make_unique<TestPlayer>(std::move(out), timer_);
  }
  ~Player() override { player_->StopPlaybackAndWait(); }

  // Adds an object holding exactly these events (in this order).
  void AddObject(const std::vector<Note>& events) {
    player_->AddMusicalObject(0, 50, 50, 50, 10);
    MusicalObject& obj = *player_->object_list.back();
    for (const Note& n : events) {
      obj.event_list.push_back(
          std::make_unique<Event>(n.ch, n.key, n.vel, n.time, 0, n.vel != 0 ? 2 : 0));
    }
  }
  void Ready() {
    player_->ResetIters();
    player_->SetPosition(1);
    rec_->Clear();
  }
  // Messages other than the closing ones.
  std::vector<Bytes> Sent() const {
    std::vector<Bytes> v;
    for (const auto& r : rec_->Records()) {
      v.emplace_back(r.message.bytes, r.message.bytes + r.message.size);
    }
    return v;
  }
  static bool IsAllNotesOff(const Bytes& b) { return (b[0] & 0xF0) == 0xB0 && b[1] == 123; }
  int AllNotesOffCount() const {
    int n = 0;
    for (const auto& b : Sent())
      n += IsAllNotesOff(b);
    return n;
  }

  testing::CoutCapture quiet_;
  ManualTimerService timer_;
  RecordingOutput* rec_;
  std::unique_ptr<TestPlayer> player_;
};

TEST_F(Player, EmptyCompositionArmsNoTimer) {
  Global_Data.PlayedEvents.store(7);
  EXPECT_FALSE(player_->PlayMusicalObject());
  EXPECT_EQ(Global_Data.PlayedEvents.load(), 0);
  EXPECT_TRUE(player_->statuses.empty());
  EXPECT_FALSE(timer_.Tick());
}

TEST_F(Player, DueEventsAreSentInTheirTick) {
  AddObject({{1, 60, 90, 0}, {2, 62, 80, 0}, {1, 60, 0, 5}, {2, 62, 0, 5}});
  Ready();
  ASSERT_TRUE(player_->PlayMusicalObject());
  player_->SetPlayStatus();
  EXPECT_EQ(player_->statuses, (std::vector<std::string>{"Timer OK (1)"}));
  EXPECT_EQ(player_->wTimerRes, 1u);
  ASSERT_TRUE(timer_.Tick());  // tick counter 0
  EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x90, 60, 90}, {0x91, 62, 80}}));
  EXPECT_EQ(Global_Data.LastTimeSetEvID.load(), 1u);
  for (int i = 0; i < 4; ++i)
    ASSERT_TRUE(timer_.Tick());
  EXPECT_EQ(Sent().size(), 2u);
  ASSERT_TRUE(timer_.Tick());  // the sixth tick sends the events at 5 and ends the piece
  const auto sent = Sent();
  ASSERT_GE(sent.size(), 4u);
  EXPECT_EQ(sent[2], (Bytes{0x80, 60, 0}));
  EXPECT_EQ(sent[3], (Bytes{0x81, 62, 0}));
  EXPECT_EQ(sent.size(), 4u + 16u);  // nothing left sounding: only All Notes Off follows
  EXPECT_EQ(AllNotesOffCount(), 16);
  EXPECT_EQ(player_->GetPlayStatus(), 0);
  EXPECT_FALSE(timer_.Tick());  // the callback stopped its own timer
  EXPECT_EQ(timer_.periods_ended, 1);
  EXPECT_EQ(Global_Data.PlayedEvents.load(), 4);  // starts and ends alike
  EXPECT_TRUE(player_->obj_iter == player_->object_list.begin());
}

TEST_F(Player, ChannelsThreeAndUpSoundAnOctaveLower) {
  AddObject({{3, 64, 90, 0}, {3, 64, 0, 1}, {4, 70, 90, 1}, {4, 70, 0, 2}});
  Ready();
  player_->PlayMusicalObject();
  timer_.RunUntilStopped(100);
  const auto sent = Sent();
  EXPECT_EQ(sent[0], (Bytes{0x92, 52, 90}));
  EXPECT_EQ(sent[1], (Bytes{0x82, 52, 0}));
  EXPECT_EQ(sent[2], (Bytes{0x93, 58, 90}));
  EXPECT_EQ(sent[3], (Bytes{0x83, 58, 0}));
}

TEST_F(Player, VelocitiesOfNoteStartsStayAudible) {
  AddObject({{1, 60, 300, 0},
             {1, 61, -5, 0},
             {1, 62, 256, 0},
             {1, 60, 0, 1},
             {1, 61, 0, 1},
             {1, 62, 0, 1}});
  Ready();
  player_->PlayMusicalObject();
  timer_.RunUntilStopped(10);
  const auto sent = Sent();
  EXPECT_EQ(sent[0], (Bytes{0x90, 60, 127}));
  EXPECT_EQ(sent[1], (Bytes{0x90, 61, 1}));
  EXPECT_EQ(sent[2], (Bytes{0x90, 62, 127}));
  EXPECT_EQ(sent[3], (Bytes{0x80, 60, 0}));
}

TEST_F(Player, StopMidPieceReleasesSoundingNotes) {
  AddObject({{1, 60, 90, 0}, {2, 64, 90, 0}, {1, 60, 0, 50}, {2, 64, 0, 50}});
  Ready();
  player_->PlayMusicalObject();
  player_->SetPlayStatus();
  timer_.Tick();
  timer_.Tick();
  STOP_PLAYING.store(1);
  rec_->Clear();
  ASSERT_TRUE(timer_.Tick());
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 2u + 16u);
  EXPECT_EQ(sent[0], (Bytes{0x80, 60, 0}));  // released before All Notes Off
  EXPECT_EQ(sent[1], (Bytes{0x81, 64, 0}));
  EXPECT_TRUE(IsAllNotesOff(sent[2]));
  EXPECT_EQ(player_->GetPlayStatus(), 0);
  EXPECT_FALSE(timer_.Active(player_->GetTimerID()));
  EXPECT_TRUE(player_->obj_iter == player_->object_list.begin());
}

TEST_F(Player, StartWhileStopIsRaisedEndsAtTheFirstTick) {
  AddObject({{1, 60, 90, 0}, {1, 60, 0, 5}});
  Ready();
  STOP_PLAYING.store(1);
  player_->PlayMusicalObject();
  EXPECT_EQ(timer_.RunUntilStopped(100), 1);
  EXPECT_EQ(Sent().size(), 16u);
  EXPECT_EQ(AllNotesOffCount(), 16);
}

TEST_F(Player, EmptyObjectsArePassedInOneTickAndTimeRunsOn) {
  AddObject({{1, 60, 90, 0}, {1, 60, 0, 2}});
  AddObject({});
  AddObject({{1, 61, 90, 4}, {1, 61, 0, 6}});
  Ready();
  player_->PlayMusicalObject();
  EXPECT_EQ(timer_.RunUntilStopped(100), 3 + 1 + 3);
  const auto sent = Sent();
  EXPECT_EQ(sent[2], (Bytes{0x90, 61, 90}));
  EXPECT_EQ(Global_Data.PlayedEvents.load(), 4);
}

TEST_F(Player, LateEventsOfTheNextObjectGoAtOnce) {
  AddObject({{1, 60, 90, 0}, {1, 60, 0, 9}});
  AddObject({{1, 61, 90, 3}, {1, 61, 0, 4}});  // already due when the object becomes current
  Ready();
  player_->PlayMusicalObject();
  EXPECT_EQ(timer_.RunUntilStopped(100), 10 + 1);
  EXPECT_EQ(Global_Data.PlayedEvents.load(), 4);
}

TEST_F(Player, NextPlaybackStartsAtTheFirstObjectAndOffset) {
  AddObject({{1, 60, 90, 0}, {1, 60, 0, 1}});
  AddObject({{1, 61, 90, 2}, {1, 61, 0, 3}});
  Ready();
  player_->PlayMusicalObject();
  const int first = timer_.RunUntilStopped(100);
  rec_->Clear();
  player_->PlayMusicalObject();
  EXPECT_EQ(player_->statuses.back(), "Timer OK (2)");
  EXPECT_EQ(timer_.RunUntilStopped(100), first);
  EXPECT_EQ(Sent()[0], (Bytes{0x90, 60, 90}));
}

TEST_F(Player, StartingAgainEndsTheRunningPlaybackFirst) {
  AddObject({{1, 60, 90, 0}, {1, 60, 0, 1000}});
  Ready();
  player_->PlayMusicalObject();
  timer_.Tick();
  const unsigned first_id = player_->GetTimerID();
  player_->PlayMusicalObject();  // the first timer is stopped, not lost
  EXPECT_NE(player_->GetTimerID(), first_id);
  EXPECT_FALSE(timer_.Active(first_id));
  EXPECT_EQ(AllNotesOffCount(), 16);
  EXPECT_EQ(timer_.kills, 1);
}

TEST_F(Player, TimerFailuresShowInTheStatus) {
  AddObject({{1, 60, 90, 0}});
  Ready();
  timer_.fail_caps = true;
  EXPECT_FALSE(player_->PlayMusicalObject());
  EXPECT_EQ(player_->statuses.back(), "Timer ERROR (0)");
  timer_.fail_caps = false;
  timer_.fail_arm = true;
  EXPECT_FALSE(player_->PlayMusicalObject());
  EXPECT_EQ(player_->statuses,
            (std::vector<std::string>{"Timer ERROR (0)", "Timer OK (1)", "Timer ERROR (1)"}));
}

TEST_F(Player, NewCompositionReloadsTheObjectCount) {
  AddObject({{1, 60, 90, 0}, {1, 60, 0, 1}});
  Ready();
  player_->PlayMusicalObject();
  timer_.RunUntilStopped(100);
  testing::FreshComposer fresh(0);
  ASSERT_EQ(BuildPiece(*player_, "0 80 40 30 25 1 50 30 23 20", std::cout), BuildResult::kBuilt);
  rec_->Clear();
  player_->PlayMusicalObject();
  const int ticks = timer_.RunUntilStopped(1 << 20);
  EXPECT_GT(ticks, 60000);  // the whole start-up piece, both objects
  std::size_t events = 0;
  for (auto& o : player_->object_list)
    events += o->event_list.size();
  EXPECT_EQ(Global_Data.PlayedEvents.load(), static_cast<int>(events));
  EXPECT_EQ(player_->SoundingNotes(), 0);
}

TEST_F(Player, PrepareEnsembleSendsProgramPanVolumePerChannel) {
  player_->PrepareEnsemble();
  EXPECT_EQ(Sent(), (std::vector<Bytes>{{0xC0, 60},
                                        {0xB0, 10, 30},
                                        {0xB0, 7, 100},
                                        {0xC1, 71},
                                        {0xB1, 10, 55},
                                        {0xB1, 7, 100},
                                        {0xC2, 68},
                                        {0xB2, 10, 70},
                                        {0xB2, 7, 100},
                                        {0xC3, 45},
                                        {0xB3, 10, 90},
                                        {0xB3, 7, 100}}));
}

}  // namespace
}  // namespace vordel
